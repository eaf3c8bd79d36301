// The functions that do the work of the Graph methods, grouped by the file
// that defines them; the store's methods are defined inline in
// store_methods.h. Each is named after its method and takes what the
// method's row in the registration table promises: the graph under the
// access the row names, then the method's arguments as borrowed objects in
// declaration order, still to be converted.
#pragma once

#include <Python.h>

#include "binding/py_ref.h"
#include "graph/graph.h"

namespace quiverlane::methods {

// graph_type.cpp: a new, empty Graph.
PyRef construct(PyTypeObject* type);

// file_methods.cpp
PyRef from_file(PyObject* name_arg);

// set_methods.cpp
PyRef neighbourhood(const Graph& graph, PyObject* c);
PyRef closed_neighbourhood(const Graph& graph, PyObject* c);
PyRef r_neighbours(const Graph& graph, PyObject* u_arg, PyObject* r_arg);
PyRef contract(Graph& graph, PyObject* vertices_arg);
PyRef contract_into(Graph& graph, PyObject* center_arg, PyObject* vertices_arg);
PyRef subgraph(const Graph& graph, PyObject* vertices_arg);
PyRef components(const Graph& graph);

}  // namespace quiverlane::methods
