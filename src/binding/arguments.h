// Matching a call's arguments to a method's declared parameters.
//
// Methods take the vectorcall convention (positional values, then keyword
// values named by kwnames). Positional and keyword values are borrowed from
// the interpreter's argument array, which outlives the call. The common case,
// all arguments positional and none missing, costs one comparison; every
// other case goes through the full matcher, whose checks and messages run in
// a fixed order: per parameter a repeated value, then a missing one; then an
// unexpected keyword; then surplus positional arguments.
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
  PyObject* const* args;
  Py_ssize_t nargs;
  PyObject* kwnames;  // tuple of keyword names, or nullptr
};

// Fills slots[i] for each parameter; throws PendingError(TypeError) with the
// composed message on a mismatch. label is e.g. "PyGraph.add_edge()".
void match_arguments_slow(const char* label, const ParamDescription* params, std::size_t count,
                          const CallArguments& call, PyObject** slots);

template <std::size_t N>
inline std::array<PyObject*, N> match_arguments(const char* label,
                                                const std::array<ParamDescription, N>& params,
                                                const CallArguments& call) {
  std::array<PyObject*, N> slots;
  if (call.kwnames == nullptr && call.nargs == static_cast<Py_ssize_t>(N)) {
    for (std::size_t i = 0; i < N; ++i) slots[i] = call.args[i];
  } else {
    match_arguments_slow(label, params.data(), N, call, slots.data());
  }
  return slots;
}

}  // namespace quiverlane
