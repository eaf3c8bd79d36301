// Vertex-set methods: neighbourhoods, balls, contraction, subgraphs and
// components. Arguments convert in declaration order, after access is taken,
// so a conversion failure never reaches the graph.
#include "binding/argument_set.h"
#include "binding/collector_pause.h"
#include "binding/conversions.h"
#include "binding/results.h"
#include "graph/components.h"
#include "graph/contraction.h"
#include "graph/neighbourhood.h"
#include "graph/subgraph.h"
#include "pygraph/graph_object.h"
#include "pygraph/methods.h"

namespace quiverlane::methods {

PyRef neighbourhood(const Graph& graph, PyObject* c) {
  const ArgumentSet members = to_argument_set(c);
  return distinct_ids_to_python(quiverlane::neighbourhood(graph, members));
}

PyRef closed_neighbourhood(const Graph& graph, PyObject* c) {
  const ArgumentSet members = to_argument_set(c);
  return distinct_ids_to_python(quiverlane::closed_neighbourhood(graph, members));
}

PyRef r_neighbours(const Graph& graph, PyObject* u_arg, PyObject* r_arg) {
  const Vertex u = to_vertex(u_arg);
  const std::uint32_t r = to_radius(r_arg);
  return distinct_ids_to_python(quiverlane::r_neighbours(graph, u, r));
}

PyRef contract(Graph& graph, PyObject* vertices_arg) {
  const ArgumentSet vertices = to_argument_set(vertices_arg);
  return vertex_to_python(quiverlane::contract(graph, vertices));
}

PyRef contract_into(Graph& graph, PyObject* center_arg, PyObject* vertices_arg) {
  const Vertex center = to_vertex(center_arg);
  const ArgumentSet vertices = to_argument_set(vertices_arg);
  quiverlane::contract_into(graph, center, vertices);
  return none_to_python();
}

PyRef subgraph(const Graph& graph, PyObject* vertices_arg) {
  const ArgumentSet vertices = to_argument_set(vertices_arg);
  return wrap_graph(quiverlane::subgraph(graph, vertices));
}

PyRef components(const Graph& graph) {
  const VertexGroups parts = quiverlane::components(graph);
  const CollectorPause pause;
  return groups_to_python(parts);
}

}  // namespace quiverlane::methods
