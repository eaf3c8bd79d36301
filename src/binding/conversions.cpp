#include "binding/conversions.h"

#include "binding/py_ref.h"

namespace quiverlane {

namespace detail {

void vertex_out_of_range() { throw PendingError(PyExc_OverflowError); }

Vertex to_vertex_slow(PyObject* object) {
  // __index__ may run arbitrary Python code, including calls back into us.
  PyRef index = PyRef::steal(PyNumber_Index(object));
  if (!index) throw_python_error();
  const long value = PyLong_AsLong(index.get());
  if (value == -1 && PyErr_Occurred()) throw_python_error();
  return checked_vertex(value);
}

}  // namespace detail

std::string_view to_file_name(PyObject* object) {
  if (!PyUnicode_Check(object)) throw PendingError(PyExc_TypeError);
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(object, &size);
  if (data == nullptr) throw_python_error();
  return {data, static_cast<std::size_t>(size)};
}

}  // namespace quiverlane
