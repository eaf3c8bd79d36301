// Matching a call's arguments to a method's declared parameters.
//
// Methods with parameters are called with a positional tuple and a keyword
// dictionary (or none). Positional values are borrowed from the tuple, which
// outlives the call. The common case, all arguments positional and none
// missing, costs two comparisons; every other case goes through the full
// matcher, which works on a copy of the keyword dictionary, finds each
// parameter there by a dictionary lookup under its name, and runs its checks
// in a fixed order: per parameter a repeated value, then a missing one; then
// an unexpected keyword; then surplus positional arguments.
#pragma once

#include <Python.h>

#include <array>
#include <cstddef>

namespace quiverlane {

struct ParamDescription {
  const char* name;
  bool optional;
  bool keyword_only;
};

struct CallArguments {
  PyObject* args;    // the positional tuple, never null
  PyObject* kwargs;  // the keyword dictionary, or nullptr
};

// The interpreter always passes a tuple; its absence is a fault.
[[noreturn]] void missing_argument_tuple();

// Fills slots[i] for each parameter; throws PendingError(TypeError) with the
// composed message on a mismatch. label is e.g. "PyGraph.add_edge()".
void match_arguments_slow(const char* label, const ParamDescription* params, std::size_t count,
                          const CallArguments& call, PyObject** slots);

template <std::size_t N>
inline std::array<PyObject*, N> match_arguments(const char* label,
                                                const std::array<ParamDescription, N>& params,
                                                const CallArguments& call) {
  if (call.args == nullptr) [[unlikely]]
    missing_argument_tuple();
  std::array<PyObject*, N> slots;
  if (call.kwargs == nullptr && PyTuple_GET_SIZE(call.args) == static_cast<Py_ssize_t>(N)) {
    for (std::size_t i = 0; i < N; ++i) slots[i] = PyTuple_GET_ITEM(call.args, i);
  } else {
    match_arguments_slow(label, params.data(), N, call, slots.data());
  }
  return slots;
}

}  // namespace quiverlane
