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

// After an interpreter call failed: if it failed because memory ran out
// (its pending error is a MemoryError), throws that error as it stands, so
// the call raises MemoryError, quietly, like a failed native allocation.
// Otherwise returns with the error still pending, for the caller's fault.
// Every failure path of result building goes through here first.
void throw_if_out_of_memory();

// For an interpreter call whose result must not be missing: a MemoryError
// is raised as such (throw_if_out_of_memory); anything else is printed and
// becomes the fault "Python API call failed".
[[noreturn]] void python_api_call_failed();

// A short description of the pending Python error (repr of the exception),
// clearing it: used in fault messages.
std::string describe_and_clear_python_error();

}  // namespace quiverlane
