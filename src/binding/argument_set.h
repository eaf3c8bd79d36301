// ArgumentSet: the vertex set a call receives from a Python `set`.
//
// A WorkingSet whose order is deliberately its own. Each one hashes with a
// key derived from a per-thread random pair (drawn once from the operating
// system) that moves on by one for every new set, so the order in which
// members come out, and with it the member `contract` picks as its center,
// differs between sets, calls and runs. Nobody may come to rely on an order
// that happens to be stable.
#pragma once

#include <Python.h>

#include "graph/working_set.h"

namespace quiverlane {

// The key for the next argument set made on this thread.
WorkingSetKey next_argument_set_key() noexcept;

class ArgumentSet : public WorkingSet {
 public:
  ArgumentSet() noexcept : WorkingSet(next_argument_set_key()) {}
};

// A `set` or an instance of a subclass (not frozenset, nor any other
// iterable) converted member by member in the set's own order; the first
// member that fails the vertex conversion fails the call with its error.
// Anything else is a TypeError without a message.
ArgumentSet to_argument_set(PyObject* object);

}  // namespace quiverlane
