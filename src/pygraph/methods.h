// Entry points of the Graph methods, in registration order, and the
// parameter lists they match against.
#pragma once

#include <Python.h>

#include <array>

#include "binding/arguments.h"

namespace quiverlane::methods {

inline constexpr std::array<ParamDescription, 2> kParamsUV{{{"u", false, false}, {"v", false, false}}};
inline constexpr std::array<ParamDescription, 1> kParamsU{{{"u", false, false}}};
inline constexpr std::array<ParamDescription, 1> kParamsC{{{"c", false, false}}};
inline constexpr std::array<ParamDescription, 2> kParamsUR{{{"u", false, false}, {"r", false, false}}};
inline constexpr std::array<ParamDescription, 1> kParamsVertices{{{"vertices", false, false}}};
inline constexpr std::array<ParamDescription, 2> kParamsCenterVertices{
    {{"center", false, false}, {"vertices", false, false}}};
inline constexpr std::array<ParamDescription, 1> kParamsFilename{{{"filename", false, false}}};

// Methods with parameters use the vectorcall convention:
//   (self, positional+keyword values, positional count, keyword names).
#define QUIVERLANE_FAST_METHOD(name) \
  PyObject* name(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames)
// Parameterless methods: (self, unused).
#define QUIVERLANE_NOARGS_METHOD(name) PyObject* name(PyObject* self, PyObject* unused)

QUIVERLANE_FAST_METHOD(from_file);
QUIVERLANE_NOARGS_METHOD(num_vertices);
QUIVERLANE_NOARGS_METHOD(num_edges);
QUIVERLANE_FAST_METHOD(adjacent);
QUIVERLANE_FAST_METHOD(degree);
QUIVERLANE_FAST_METHOD(contains);
QUIVERLANE_NOARGS_METHOD(vertices);
QUIVERLANE_NOARGS_METHOD(edges);
QUIVERLANE_FAST_METHOD(neighbours);
QUIVERLANE_FAST_METHOD(neighbourhood);
QUIVERLANE_FAST_METHOD(closed_neighbourhood);
QUIVERLANE_FAST_METHOD(r_neighbours);
QUIVERLANE_FAST_METHOD(add_vertex);
QUIVERLANE_FAST_METHOD(add_edge);
QUIVERLANE_FAST_METHOD(remove_edge);
QUIVERLANE_FAST_METHOD(remove_vertex);
QUIVERLANE_NOARGS_METHOD(remove_loops);
QUIVERLANE_NOARGS_METHOD(remove_isolates);
QUIVERLANE_FAST_METHOD(contract);
QUIVERLANE_FAST_METHOD(contract_into);
QUIVERLANE_NOARGS_METHOD(copy);
QUIVERLANE_FAST_METHOD(subgraph);
QUIVERLANE_NOARGS_METHOD(components);

}  // namespace quiverlane::methods
