// Converting Python arguments into the values the graph core takes.
#pragma once

#include <Python.h>

#include <cstdint>
#include <string_view>

#include "binding/pending_error.h"
#include "graph/vertex.h"

namespace quiverlane {

namespace detail {
[[noreturn]] void vertex_out_of_range();
Vertex to_vertex_slow(PyObject* object);

inline Vertex checked_vertex(long value) {
  // Any of the upper 32 bits set (every negative value included).
  if ((static_cast<unsigned long>(value) >> 32) != 0) vertex_out_of_range();
  return static_cast<Vertex>(value);
}
}  // namespace detail

// int, bool or any object with __index__, in 0..4294967295. Values outside
// that range but inside the signed 64-bit range raise a bare OverflowError;
// anything else raises the interpreter's own error.
inline Vertex to_vertex(PyObject* object) {
  if (PyLong_CheckExact(object)) {
    // An exact int is its own index: no Python code can run here.
    const long value = PyLong_AsLong(object);
    if (value == -1 && PyErr_Occurred()) throw_python_error();
    return detail::checked_vertex(value);
  }
  return detail::to_vertex_slow(object);
}

// A str (or subclass) as UTF-8 text owned by the string, valid for the call.
std::string_view to_file_name(PyObject* object);

}  // namespace quiverlane
