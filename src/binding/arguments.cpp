#include "binding/arguments.h"

#include <string>

#include "binding/pending_error.h"

namespace quiverlane {

namespace {

[[noreturn]] void mismatch(const char* label, const char* what, const char* name) {
  std::string message = label;
  message += what;
  message += name;
  throw PendingError(PyExc_TypeError, std::move(message));
}

// Index of the keyword named `name`, or -1.
Py_ssize_t find_keyword(PyObject* kwnames, const char* name) {
  if (kwnames == nullptr) return -1;
  const Py_ssize_t count = PyTuple_GET_SIZE(kwnames);
  for (Py_ssize_t j = 0; j < count; ++j)
    if (PyUnicode_CompareWithASCIIString(PyTuple_GET_ITEM(kwnames, j), name) == 0) return j;
  return -1;
}

[[noreturn]] void unexpected_keyword(const char* label, PyObject* key) {
  PyObject* message = PyUnicode_FromFormat("%s got an unexpected keyword argument: %S", label, key);
  if (message == nullptr) throw_python_error();
  throw PendingError(PyExc_TypeError, PyRef::steal(message));
}

[[noreturn]] void too_many_positional(const char* label, std::size_t used, Py_ssize_t given) {
  std::string message = label;
  message += " takes at most " + std::to_string(used) + " positional argument";
  if (used != 1) message += 's';
  message += " (" + std::to_string(given) + " given)";
  throw PendingError(PyExc_TypeError, std::move(message));
}

}  // namespace

void match_arguments_slow(const char* label, const ParamDescription* params, std::size_t count,
                          const CallArguments& call, PyObject** slots) {
  const Py_ssize_t keyword_count = call.kwnames == nullptr ? 0 : PyTuple_GET_SIZE(call.kwnames);
  std::size_t keywords_used = 0;
  std::size_t positional_used = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const ParamDescription& param = params[i];
    slots[i] = nullptr;
    const Py_ssize_t j = find_keyword(call.kwnames, param.name);
    if (j >= 0) {
      if (static_cast<Py_ssize_t>(i) < call.nargs)
        mismatch(label, " got multiple values for argument: ", param.name);
      slots[i] = call.args[call.nargs + j];
      ++keywords_used;
    } else if (param.keyword_only) {
      if (!param.optional) mismatch(label, " missing required keyword-only argument: ", param.name);
    } else if (static_cast<Py_ssize_t>(i) < call.nargs) {
      slots[i] = call.args[i];
      ++positional_used;
    } else if (!param.optional) {
      mismatch(label, " missing required positional argument: ", param.name);
    }
  }
  if (keywords_used < static_cast<std::size_t>(keyword_count)) {
    // The first keyword, in the caller's order, that matched no parameter.
    for (Py_ssize_t j = 0; j < keyword_count; ++j) {
      PyObject* key = PyTuple_GET_ITEM(call.kwnames, j);
      bool matched = false;
      for (std::size_t i = 0; i < count && !matched; ++i)
        matched = PyUnicode_CompareWithASCIIString(key, params[i].name) == 0;
      if (!matched) unexpected_keyword(label, key);
    }
  }
  if (static_cast<Py_ssize_t>(positional_used) < call.nargs)
    too_many_positional(label, positional_used, call.nargs);
}

}  // namespace quiverlane
