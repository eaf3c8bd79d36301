// Calls through the class's method descriptor: `g.degree(u)` written out.
//
// The interpreter calls such a method through the descriptor that the class
// holds for it, not through a bound method. For a method registered
// METH_VARARGS | METH_KEYWORDS the descriptor's own entry packs the
// positional arguments into a new tuple on every call, which costs a third
// of a call that does nothing. The registration stays as it is, since the
// keyword handling of the bound methods (keys that are not str reach our
// matcher) depends on it, but the descriptors of the instance methods with
// parameters are given an entry that takes the common call, every argument
// positional and as many as the method has, straight from the caller's
// stack; every other call goes on to the interpreter's entry, as before.
// Nothing a caller can see changes: the descriptor, the bound methods, the
// results, the errors and their order are the same.
#pragma once

#include <Python.h>

namespace quiverlane {

// The interpreter's entry for a METH_VARARGS | METH_KEYWORDS method
// descriptor, found when the entries are installed.
inline vectorcallfunc interpreter_descriptor_call = nullptr;

// Gives each method descriptor of `type` whose registration row has a
// descriptor entry that entry, if the descriptor is the interpreter's kind
// and still has the interpreter's entry; leaves the others alone.
void install_descriptor_calls(PyTypeObject* type) noexcept;

}  // namespace quiverlane
