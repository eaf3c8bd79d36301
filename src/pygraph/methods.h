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

// Methods with parameters: (self, positional tuple, keyword dict or null).
#define QUIVERLANE_ARGS_METHOD(name) PyObject* name(PyObject* self, PyObject* args, PyObject* kwargs)
// Parameterless methods: (self, unused).
#define QUIVERLANE_NOARGS_METHOD(name) PyObject* name(PyObject* self, PyObject* unused)

QUIVERLANE_ARGS_METHOD(from_file);
QUIVERLANE_NOARGS_METHOD(num_vertices);
QUIVERLANE_NOARGS_METHOD(num_edges);
QUIVERLANE_ARGS_METHOD(adjacent);
QUIVERLANE_ARGS_METHOD(degree);
QUIVERLANE_ARGS_METHOD(contains);
QUIVERLANE_NOARGS_METHOD(vertices);
QUIVERLANE_NOARGS_METHOD(edges);
QUIVERLANE_ARGS_METHOD(neighbours);
QUIVERLANE_ARGS_METHOD(neighbourhood);
QUIVERLANE_ARGS_METHOD(closed_neighbourhood);
QUIVERLANE_ARGS_METHOD(r_neighbours);
QUIVERLANE_ARGS_METHOD(add_vertex);
QUIVERLANE_ARGS_METHOD(add_edge);
QUIVERLANE_ARGS_METHOD(remove_edge);
QUIVERLANE_ARGS_METHOD(remove_vertex);
QUIVERLANE_NOARGS_METHOD(remove_loops);
QUIVERLANE_NOARGS_METHOD(remove_isolates);
QUIVERLANE_ARGS_METHOD(contract);
QUIVERLANE_ARGS_METHOD(contract_into);
QUIVERLANE_NOARGS_METHOD(copy);
QUIVERLANE_ARGS_METHOD(subgraph);
QUIVERLANE_NOARGS_METHOD(components);

}  // namespace quiverlane::methods
