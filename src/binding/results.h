// Turning the graph core's results into new Python objects.
#pragma once

#include <Python.h>

#include <cstdint>

#include "binding/py_ref.h"
#include "binding/python_sets.h"
#include "graph/graph.h"

namespace quiverlane {

PyRef bool_to_python(bool value) noexcept;
PyRef none_to_python() noexcept;
PyRef count_to_python(std::uint64_t count);
// A vertex id or a degree: never negative.
PyRef vertex_to_python(std::uint32_t value);
// Every edge (a, b), a <= b, as a list of 2-tuples sized up front.
PyRef edges_to_python(const Graph& graph);

}  // namespace quiverlane
