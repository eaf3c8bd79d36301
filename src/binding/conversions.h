// Converting Python arguments into the values the graph core takes.
#pragma once

#include <Python.h>

#include <cstdint>
#include <string_view>

#include "binding/pending_error.h"
#include "graph/vertex.h"

namespace quiverlane {

// What an integer argument stands for; it only changes the note of the
// error for a value out of range.
enum class IntegerRole { kVertex, kRadius };

namespace detail {
[[noreturn]] void out_of_range(long long value, IntegerRole role);
Vertex to_vertex_slow(PyObject* object, IntegerRole role);

// Reads a non-negative exact int of at most 60 bits straight from its
// digits, sparing a call per argument on the hottest path. False for
// anything else (negative, wider), which takes the general route.
inline bool small_int_value(PyObject* object, std::uint64_t& value) {
#if PY_VERSION_HEX >= 0x030C0000
  if (!PyUnstable_Long_IsCompact(reinterpret_cast<PyLongObject*>(object))) return false;
  const Py_ssize_t compact = PyUnstable_Long_CompactValue(reinterpret_cast<PyLongObject*>(object));
  if (compact < 0) return false;
  value = static_cast<std::uint64_t>(compact);
  return true;
#else
  static_assert(PyLong_SHIFT == 30, "two digits hold any 32-bit value");
  const Py_ssize_t size = Py_SIZE(object);
  const digit* digits = reinterpret_cast<PyLongObject*>(object)->ob_digit;
  if (size == 0 || size == 1) {
    value = size == 0 ? 0 : digits[0];
    return true;
  }
  if (size == 2) {
    value = digits[0] | (static_cast<std::uint64_t>(digits[1]) << PyLong_SHIFT);
    return true;
  }
  return false;
#endif
}

inline Vertex checked_vertex(long value, IntegerRole role) {
  // Any of the upper 32 bits set (every negative value included).
  if ((static_cast<unsigned long>(value) >> 32) != 0) out_of_range(value, role);
  return static_cast<Vertex>(value);
}
}  // namespace detail

// int, bool or any object with __index__, in 0..4294967295. Values outside
// that range but inside the signed 64-bit range raise an OverflowError
// without arguments (with a note saying the range); anything else raises
// the interpreter's own error.
inline Vertex to_vertex(PyObject* object, IntegerRole role = IntegerRole::kVertex) {
  if (PyLong_CheckExact(object)) {
    // An exact int is its own index: no Python code can run here.
    std::uint64_t value;
    if (detail::small_int_value(object, value)) {
      if ((value >> 32) != 0) detail::out_of_range(static_cast<long long>(value), role);
      return static_cast<Vertex>(value);
    }
    const long wide = PyLong_AsLong(object);
    if (wide == -1 && PyErr_Occurred()) throw_python_error();
    return detail::checked_vertex(wide, role);
  }
  return detail::to_vertex_slow(object, role);
}

// A radius: converted exactly as a vertex is.
inline std::uint32_t to_radius(PyObject* object) { return to_vertex(object, IntegerRole::kRadius); }

// A str (or subclass) as UTF-8 text owned by the string, valid for the call;
// anything else is a TypeError without arguments (with a note).
std::string_view to_file_name(PyObject* object);

}  // namespace quiverlane
