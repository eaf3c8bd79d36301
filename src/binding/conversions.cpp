#include "binding/conversions.h"

#include <string>

#include "binding/py_ref.h"

namespace quiverlane {

namespace detail {

void out_of_range(long long value, IntegerRole role) {
  std::string note = role == IntegerRole::kRadius ? "radii" : "vertex ids";
  note += " are integers from 0 to 4294967295 (got " + std::to_string(value) + ")";
  throw PendingError::with_note(PyExc_OverflowError, std::move(note));
}

Vertex to_vertex_slow(PyObject* object, IntegerRole role) {
  // __index__ may run arbitrary Python code, including calls back into us.
  PyRef index = PyRef::steal(PyNumber_Index(object));
  if (!index) throw_python_error();
  const long value = PyLong_AsLong(index.get());
  if (value == -1 && PyErr_Occurred()) throw_python_error();
  return checked_vertex(value, role);
}

}  // namespace detail

std::string_view to_file_name(PyObject* object) {
  if (!PyUnicode_Check(object)) {
    throw PendingError::with_note(
        PyExc_TypeError, std::string("file names must be given as a str (got ") + Py_TYPE(object)->tp_name + ")");
  }
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(object, &size);
  if (data == nullptr) throw_python_error();
  return {data, static_cast<std::size_t>(size)};
}

}  // namespace quiverlane
