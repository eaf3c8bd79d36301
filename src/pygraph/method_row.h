// Rows of the registration table, and the entry points made from them.
//
// A row names each fact about a method once: its kind, its Python name, the
// function that does its work and the names of its parameters. The flags,
// the parameter descriptions, the label that starts every argument error
// ("PyGraph.add_edge()") and the entry point the interpreter calls all
// follow from it at compile time. The generated entry point does what each
// method used to spell out by hand, and no more: the label and the
// parameter descriptions are constants that only the matcher's slow path
// reads.
//
// The work function takes the graph (shared access: const Graph&,
// exclusive: Graph&; the static method: none) followed by one borrowed
// object per parameter, converts those itself in declaration order, and
// returns the result. Access is taken before the arguments are matched, so a
// conversion that runs Python code finds the graph already in use.
//
// The entry points are flattened: the guard, the access, the matcher's fast
// path and (when its definition is in sight, as store_methods.h puts the
// per-call methods) the work itself become one function, as when each
// method was written out by hand. Left to its own limits the compiler keeps
// the guard apart once the work is inlined into it, costing a call frame on
// every call.
#pragma once

#include <Python.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include "binding/arguments.h"
#include "binding/guard.h"
#include "binding/pending_error.h"
#include "binding/py_ref.h"
#include "pygraph/descriptor_calls.h"
#include "pygraph/graph_object.h"
#include "pygraph/method_table.h"

namespace quiverlane {

// A string literal that can be a template argument.
template <std::size_t N>
struct FixedName {
  // Implicit, so that a row can write "add_edge" where a name is expected.
  constexpr FixedName(const char (&literal)[N]) { std::copy_n(literal, N, text); }
  static constexpr std::size_t kLength = N - 1;
  char text[N];
};

namespace method_row {

// "PyGraph." + name + "()": the native class name, not the Python one.
template <FixedName Name>
inline constexpr auto kLabel = [] {
  constexpr std::string_view prefix = "PyGraph.";
  constexpr std::string_view suffix = "()";
  std::array<char, prefix.size() + Name.kLength + suffix.size() + 1> label{};
  char* end = std::copy(prefix.begin(), prefix.end(), label.data());
  end = std::copy_n(Name.text, Name.kLength, end);
  std::copy(suffix.begin(), suffix.end(), end);
  return label;
}();

// Every parameter is required and may be given by position or by keyword.
template <FixedName... Names>
inline constexpr std::array<ParamDescription, sizeof...(Names)> kParams{{{Names.text, false, false}...}};

template <MethodKind Kind>
using AccessFor = std::conditional_t<Kind == MethodKind::kExclusive, ExclusiveAccess, SharedAccess>;

// (self, positional tuple, keyword dictionary or null).
template <MethodKind Kind, FixedName Name, auto Work, FixedName... Params>
[[gnu::flatten]] PyObject* with_parameters(PyObject* self, PyObject* args, PyObject* kwargs) {
  return guarded([&] {
    if constexpr (Kind == MethodKind::kStatic) {
      (void)self;  // no graph is accessed
      const auto slots = match_arguments(kLabel<Name>.data(), kParams<Params...>, {args, kwargs});
      return std::apply(Work, slots);
    } else {
      AccessFor<Kind> access(self);
      const auto slots = match_arguments(kLabel<Name>.data(), kParams<Params...>, {args, kwargs});
      return std::apply([&](auto... arg) { return Work(access.graph(), arg...); }, slots);
    }
  });
}

// (descriptor, self and the arguments, their count, keyword names or null):
// see descriptor_calls.h. Takes only the call the interpreter's entry would
// pass on to with_parameters() as (self, a tuple of exactly the parameters'
// number, no keywords), with the same recursion check around it.
template <MethodKind Kind, FixedName Name, auto Work, FixedName... Params>
[[gnu::flatten]] PyObject* through_descriptor(PyObject* descriptor, PyObject* const* args, std::size_t nargsf,
                                              PyObject* kwnames) {
  constexpr Py_ssize_t kGiven = 1 + static_cast<Py_ssize_t>(sizeof...(Params));
  // The class allows no subclasses, so the descriptor's own check of self
  // is a check of its exact type.
  if (kwnames != nullptr || PyVectorcall_NARGS(nargsf) != kGiven ||
      Py_TYPE(args[0]) != reinterpret_cast<PyDescrObject*>(descriptor)->d_type) [[unlikely]]
    return interpreter_descriptor_call(descriptor, args, nargsf, kwnames);
  if (Py_EnterRecursiveCall(" while calling a Python object")) return nullptr;
  PyObject* result = guarded([&] {
    AccessFor<Kind> access(args[0]);
    return [&]<std::size_t... I>(std::index_sequence<I...>) {
      return Work(access.graph(), args[1 + I]...);
    }(std::index_sequence_for<decltype(Params)...>{});
  });
  Py_LeaveRecursiveCall();
  return result;
}

// (self, unused): the interpreter refuses any argument before the call.
template <MethodKind Kind, auto Work>
[[gnu::flatten]] PyObject* without_parameters(PyObject* self, PyObject* unused) {
  (void)unused;
  return guarded([&] {
    AccessFor<Kind> access(self);
    return Work(access.graph());
  });
}

template <auto Work>
[[gnu::flatten]] PyObject* constructing(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  (void)kwargs;  // the constructor ignores its arguments
  return guarded([&] {
    if (args == nullptr) python_api_call_failed();
    return Work(type);
  });
}

// Methods taking keywords are stored as PyCFunction, as the C API requires;
// the flags tell the interpreter their real signature.
template <class F>
PyCFunction as_cfunction(F* function) {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

}  // namespace method_row

template <MethodKind Kind, FixedName Name, auto Work, FixedName... Params>
RegistrationEntry method() {
  static_assert(Kind != MethodKind::kConstructor, "the constructor has a row of its own");
  if constexpr (sizeof...(Params) == 0) {
    static_assert(Kind != MethodKind::kStatic, "no static method is without parameters");
    return {Kind, Name.text, METH_NOARGS, method_row::as_cfunction(method_row::without_parameters<Kind, Work>),
            nullptr};
  } else {
    constexpr int flags = METH_VARARGS | METH_KEYWORDS | (Kind == MethodKind::kStatic ? METH_STATIC : 0);
    vectorcallfunc descriptor_call = nullptr;
    if constexpr (Kind != MethodKind::kStatic) descriptor_call = method_row::through_descriptor<Kind, Name, Work, Params...>;
    return {Kind, Name.text, flags,
            method_row::as_cfunction(method_row::with_parameters<Kind, Name, Work, Params...>), nullptr,
            descriptor_call};
  }
}

// The constructor's arguments are declared nowhere and examined by nobody.
template <auto Work>
RegistrationEntry constructor() {
  return {MethodKind::kConstructor, "__new__", METH_VARARGS | METH_KEYWORDS, nullptr,
          method_row::constructing<Work>};
}

}  // namespace quiverlane
