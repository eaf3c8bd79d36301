#include "binding/pending_error.h"

#include <unistd.h>

#include "binding/exceptions.h"
#include "binding/notes.h"
#include "support/fault.h"
#include "support/stderr.h"

namespace quiverlane {

namespace {

constexpr const char* kUnwrappedPanic = "Unwrapped panic from Python code";

std::string utf8_of(PyObject* text) {
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(text, &size);
  if (data == nullptr) {
    PyErr_Clear();
    return "<unprintable>";
  }
  return std::string(data, static_cast<std::size_t>(size));
}

// A PanicException that Python code let through: show its traceback, then
// carry the fault on to our own guard without a second report.
[[noreturn]] void resume_panic(PyObject* type, PyObject* value, PyObject* traceback) {
  std::string message =
      value != nullptr && PyUnicode_Check(value) ? utf8_of(value) : kUnwrappedPanic;
  write_stderr(
      "--- quiverlane is resuming a fault after fetching a PanicException from Python ---\n"
      "Python stack trace below:\n");
  PyErr_Restore(type, value, traceback);
  PyErr_PrintEx(0);
  resume_fault(std::move(message));
}

}  // namespace

PyRef PendingError::checked_type(PyObject* type) {
  if (!PyExceptionClass_Check(type)) fault("exceptions must derive from BaseException");
  return PyRef::borrow(type);
}

PendingError::PendingError(PyObject* type) : type_(checked_type(type)) {}

PendingError::PendingError(PyObject* type, std::string message)
    : type_(checked_type(type)), value_(std::move(message)) {}

PendingError::PendingError(PyObject* type, PyRef value)
    : type_(checked_type(type)), value_(std::move(value)) {}

PendingError PendingError::with_note(PyObject* type, std::string note) {
  PendingError error(type);
  error.note_ = std::move(note);
  return error;
}

PendingError PendingError::fetch() {
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
#if PY_VERSION_HEX >= 0x030C0000
  value = PyErr_GetRaisedException();
  if (value != nullptr) {
    type = Py_NewRef(reinterpret_cast<PyObject*>(Py_TYPE(value)));
    traceback = PyException_GetTraceback(value);
  }
#else
  PyErr_Fetch(&type, &value, &traceback);
#endif
  PendingError error;
  if (type == nullptr) {
    error.type_ = PyRef::borrow(PyExc_SystemError);
    error.value_ = PyRef::steal(value);
    Py_XDECREF(traceback);
    return error;
  }
  // Only the class itself is a fault coming back: a subclass that Python
  // code raised is an ordinary exception and passes through unchanged.
  PyObject* panic = panic_exception_type_if_created();
  if (panic != nullptr && type == panic) resume_panic(type, value, traceback);
  error.type_ = PyRef::steal(type);
  if (value != nullptr) error.value_ = PyRef::steal(value);
  error.traceback_ = PyRef::steal(traceback);
  return error;
}

void PendingError::restore() && {
  if (!note_.empty()) {
    // The exception is made now, without arguments, to carry the note.
    PyRef instance = PyRef::steal(PyObject_CallNoArgs(type_.get()));
    PyRef note = PyRef::steal(
        PyUnicode_DecodeUTF8(note_.data(), static_cast<Py_ssize_t>(note_.size()), "replace"));
    if (!instance || !note) return;  // that failure is now the pending error
    attach_note(instance.get(), note.get());
    value_ = std::move(instance);
  }
  PyObject* value = nullptr;
  if (auto* object = std::get_if<PyRef>(&value_)) {
    value = object->release();
  } else if (auto* message = std::get_if<std::string>(&value_)) {
    value = PyUnicode_FromStringAndSize(message->data(), static_cast<Py_ssize_t>(message->size()));
    if (value == nullptr) return;  // MemoryError is now the pending error
  }
  PyErr_Restore(type_.release(), value, traceback_.release());
}

void throw_if_out_of_memory() {
  // A MemoryError says nothing about the module: the interpreter is short
  // of memory, and the caller may free some and carry on, as after a native
  // allocation that failed. The objects built so far are dropped as the
  // error unwinds, with no error pending while they go.
  if (PyErr_ExceptionMatches(PyExc_MemoryError)) throw_python_error();
}

void python_api_call_failed() {
  throw_if_out_of_memory();
  PyErr_Print();
  fault("Python API call failed");
}

std::string describe_and_clear_python_error() {
#if PY_VERSION_HEX >= 0x030C0000
  PyRef value = PyRef::steal(PyErr_GetRaisedException());
  if (!value) return "no Python error set";
#else
  PyObject *raw_type = nullptr, *raw_value = nullptr, *raw_traceback = nullptr;
  PyErr_Fetch(&raw_type, &raw_value, &raw_traceback);
  if (raw_type == nullptr) return "no Python error set";
  PyErr_NormalizeException(&raw_type, &raw_value, &raw_traceback);
  PyRef type = PyRef::steal(raw_type), traceback = PyRef::steal(raw_traceback);
  PyRef value = PyRef::steal(raw_value);
#endif
  PyRef repr = PyRef::steal(value ? PyObject_Repr(value.get()) : nullptr);
  if (!repr) {
    PyErr_Clear();
    return "<unprintable error>";
  }
  return utf8_of(repr.get());
}

}  // namespace quiverlane
