// The module's own exception classes, each created on first use and kept for
// the life of the process. None of them is put in the module's namespace.
#pragma once

#include <Python.h>

namespace quiverlane {

// "pyo3_runtime.PanicException", derived from BaseException.
PyObject* panic_exception_type();
// The same, or nullptr if no fault has created it yet.
PyObject* panic_exception_type_if_created() noexcept;
// "pyo3_runtime.PyBorrowError" and "pyo3_runtime.PyBorrowMutError",
// derived from RuntimeError.
PyObject* borrow_error_type();
PyObject* borrow_mut_error_type();

}  // namespace quiverlane
