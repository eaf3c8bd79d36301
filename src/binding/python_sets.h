// Building Python sets of ints from the core's vertex sets and id arrays.
//
// A set of many ints spends most of its time waiting on its own hash table:
// an int hashes to itself, and members added in an arbitrary order land all
// over a table of tens of megabytes. Added in the order of the slots they
// hash to, they fill the table from one end to the other instead, which
// nearly halves the time for a set of a million members, and the freeing
// that follows walks the ints in the order they were made. So all but small
// arrays are first put in that order (see slot_order.h).
#pragma once

#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "binding/py_ref.h"
#include "graph/vertex.h"
#include "graph/vertex_groups.h"
#include "graph/vertex_set.h"

namespace quiverlane {

// A new int for a vertex id or a degree (never negative).
PyObject* new_python_int(std::uint32_t value);
// Faults with `what`, ": " and the pending Python error's description;
// a pending MemoryError is raised as itself instead.
[[noreturn]] void set_failure(const char* what);

// A new, empty set.
PyRef new_python_set();
// Adds the members to `set`, read straight from the core's set.
void add_members(PyObject* set, const VertexSet& members);
// A new set holding the members.
PyRef set_to_python(const VertexSet& members);

// A new set holding ids[0..count), which must be distinct.
PyRef distinct_ids_to_python(const Vertex* ids, std::size_t count);
inline PyRef distinct_ids_to_python(const std::vector<Vertex>& ids) {
  return distinct_ids_to_python(ids.data(), ids.size());
}

// A new list of sets, one per group, in group order. With many groups the
// caller pauses the cyclic collector (see CollectorPause).
PyRef groups_to_python(const VertexGroups& groups);

}  // namespace quiverlane
