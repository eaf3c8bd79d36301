// The registration table: the constructor and the 23 methods of Graph, in
// the order in which the class dictionary receives them.
#pragma once

#include <Python.h>

#include <cstddef>
#include <span>

namespace quiverlane {

enum class EntryKind { kConstructor, kStaticMethod, kInstanceMethod };

struct RegistrationEntry {
  EntryKind kind;
  const char* name;
  PyCFunction entry_point;  // for the constructor: unused (see graph_new)
  int flags;
};

std::span<const RegistrationEntry> registration_table();

}  // namespace quiverlane
