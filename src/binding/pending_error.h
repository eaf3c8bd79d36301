// PendingError: a Python exception on its way to being raised.
//
// Expected failures (bad arguments, refused access, Python code that raised)
// travel as a thrown PendingError to the entry point's guard, which raises it
// when the call returns. A message is kept as native text and only becomes a
// Python str when raised, so creating one allocates no Python object.
#pragma once

#include <Python.h>

#include <string>
#include <utility>
#include <variant>

#include "binding/py_ref.h"

namespace quiverlane {

class PendingError {
 public:
  // An exception class raised without arguments.
  explicit PendingError(PyObject* type);
  // An exception class raised with one str argument.
  PendingError(PyObject* type, std::string message);
  // An exception class raised with the given value (a message or instance).
  PendingError(PyObject* type, PyRef value);

  // An exception class raised without arguments, with a note (shown under
  // the traceback; see notes.h) saying what was wrong.
  static PendingError with_note(PyObject* type, std::string note);

  // Takes the interpreter's current exception. A PanicException coming back
  // from Python code is resumed as a fault instead of returned.
  static PendingError fetch();

  // Hands type, value and traceback to the interpreter (PyErr_Restore).
  void restore() &&;

 private:
  struct NoValue {};
  PendingError() = default;
  static PyRef checked_type(PyObject* type);

  PyRef type_;
  std::variant<NoValue, PyRef, std::string> value_;
  PyRef traceback_;
  std::string note_;  // empty: none
};

// Throws the interpreter's pending error as a PendingError.
[[noreturn]] inline void throw_python_error() { throw PendingError::fetch(); }

// For an interpreter call whose result must not be missing: prints the
// pending error and faults with "Python API call failed".
[[noreturn]] void python_api_call_failed();

// A short description of the pending Python error (repr of the exception),
// clearing it: used in fault messages.
std::string describe_and_clear_python_error();

}  // namespace quiverlane
