#include "binding/exceptions.h"

#include "binding/pending_error.h"

namespace quiverlane {

namespace {

// Creates the class once; a class created meanwhile by nested code wins.
PyObject* exception_class(PyObject*& slot, const char* qualified_name, PyObject* base) {
  if (slot != nullptr) return slot;
  PyObject* created = PyErr_NewException(qualified_name, base, nullptr);
  if (created == nullptr) python_api_call_failed();
  if (slot != nullptr) {
    Py_DECREF(created);
    return slot;
  }
  slot = created;
  return slot;
}

PyObject* panic_slot = nullptr;
PyObject* borrow_slot = nullptr;
PyObject* borrow_mut_slot = nullptr;

}  // namespace

PyObject* panic_exception_type() {
  return exception_class(panic_slot, "pyo3_runtime.PanicException", PyExc_BaseException);
}

PyObject* panic_exception_type_if_created() noexcept { return panic_slot; }

PyObject* borrow_error_type() {
  return exception_class(borrow_slot, "pyo3_runtime.PyBorrowError", PyExc_RuntimeError);
}

PyObject* borrow_mut_error_type() {
  return exception_class(borrow_mut_slot, "pyo3_runtime.PyBorrowMutError", PyExc_RuntimeError);
}

}  // namespace quiverlane
