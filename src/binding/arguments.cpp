#include "binding/arguments.h"

#include <string>

#include "binding/call_scope.h"
#include "binding/pending_error.h"
#include "binding/py_ref.h"

namespace quiverlane {

namespace {

[[noreturn]] void mismatch(const char* label, const char* what, const char* name) {
  std::string message = label;
  message += what;
  message += name;
  throw PendingError(PyExc_TypeError, std::move(message));
}

[[noreturn]] void unexpected_keyword(const char* label, PyObject* key) {
  // The key's str() may run Python code; our reference keeps it alive.
  PyRef held = PyRef::borrow(key);
  PyObject* message = PyUnicode_FromFormat("%s got an unexpected keyword argument: %S", label, key);
  if (message == nullptr) throw_python_error();
  throw PendingError(PyExc_TypeError, PyRef::steal(message));
}

[[noreturn]] void too_many_positional(const char* label, std::size_t used, Py_ssize_t given) {
  // Appends only: inserting in front (const char* + std::string) would bind
  // a bounds check that older libstdc++ releases lack.
  std::string message = label;
  message += " takes at most ";
  message += std::to_string(used);
  message += " positional argument";
  if (used != 1) message += 's';
  message += " (";
  message += std::to_string(given);
  message += " given)";
  throw PendingError(PyExc_TypeError, std::move(message));
}

// A copy of the caller's keywords that matching may empty, or nothing when
// none were given (an empty dictionary is the same as none).
PyRef copy_of_keywords(PyObject* kwargs) {
  if (kwargs == nullptr || PyDict_GET_SIZE(kwargs) == 0) return {};
  PyRef copy = PyRef::steal(PyDict_Copy(kwargs));
  if (!copy) throw_python_error();
  return copy;
}

// Takes the value given under `name` out of the keyword copy, or returns
// nullptr. The lookup compares with each key's own __eq__, so a key that
// merely equals the name matches it. The value is kept alive until the call
// returns, whatever Python code run later does to the caller's dictionary.
PyObject* take_keyword(PyObject* keywords, const char* label, const char* name,
                       bool given_by_position) {
  PyRef key = PyRef::steal(PyUnicode_FromString(name));
  if (!key) throw_python_error();
  // A key whose __eq__ raises is simply not this name. PyDict_GetItem would
  // swallow the error too, but from 3.13 on it also reports it on stderr.
  PyObject* value = PyDict_GetItemWithError(keywords, key.get());
  if (value == nullptr) {
    PyErr_Clear();
    return nullptr;
  }
  if (given_by_position) mismatch(label, " got multiple values for argument: ", name);
  Py_INCREF(value);
  OwnedObjectPool::register_owned(value);
  if (PyDict_DelItem(keywords, key.get()) < 0) throw_python_error();
  return value;
}

}  // namespace

void missing_argument_tuple() { python_api_call_failed(); }

void match_arguments_slow(const char* label, const ParamDescription* params, std::size_t count,
                          const CallArguments& call, PyObject** slots) {
  const Py_ssize_t given = PyTuple_GET_SIZE(call.args);
  const PyRef keywords = copy_of_keywords(call.kwargs);
  std::size_t positional_used = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const ParamDescription& param = params[i];
    const bool has_position = static_cast<Py_ssize_t>(i) < given;
    slots[i] = keywords ? take_keyword(keywords.get(), label, param.name, has_position) : nullptr;
    if (slots[i] != nullptr) continue;
    if (param.keyword_only) {
      if (!param.optional) mismatch(label, " missing required keyword-only argument: ", param.name);
    } else if (has_position) {
      slots[i] = PyTuple_GET_ITEM(call.args, static_cast<Py_ssize_t>(i));
      ++positional_used;
    } else if (!param.optional) {
      mismatch(label, " missing required positional argument: ", param.name);
    }
  }
  if (keywords && PyDict_GET_SIZE(keywords.get()) > 0) {
    // The first key left, in the order the caller wrote the keywords.
    Py_ssize_t position = 0;
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    if (PyDict_Next(keywords.get(), &position, &key, &value)) unexpected_keyword(label, key);
  }
  if (static_cast<Py_ssize_t>(positional_used) < given) too_many_positional(label, positional_used, given);
}

}  // namespace quiverlane
