// The registration table: the constructor and the 23 methods of Graph, in
// the order in which the class dictionary receives them.
#pragma once

#include <Python.h>

#include <span>

namespace quiverlane {

// What a method is called on, and so the access it takes to the graph:
// none for the constructor and the static method, shared or exclusive for
// the instance methods.
enum class MethodKind { kConstructor, kStatic, kShared, kExclusive };

struct RegistrationEntry {
  MethodKind kind;
  const char* name;     // "__new__" for the constructor
  int flags;
  PyCFunction method;   // null for the constructor
  newfunc constructor;  // null for every method
  // For an instance method with parameters: the entry for calls through
  // the class's method descriptor (see descriptor_calls.h); null otherwise.
  vectorcallfunc descriptor_call = nullptr;
};

std::span<const RegistrationEntry> registration_table();

}  // namespace quiverlane
