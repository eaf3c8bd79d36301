// The store's methods: counts, membership, adjacency, degree, listing,
// editing and copying.
//
// Defined here rather than in a source file of their own: these are the
// calls made millions of times in a loop, and only the file that generates
// their entry points (method_table.cpp) includes this one, so each entry
// point compiles into a single function with no call in between.
#pragma once

#include <Python.h>

#include <vector>

#include "binding/conversions.h"
#include "binding/py_ref.h"
#include "binding/results.h"
#include "graph/graph.h"
#include "pygraph/graph_object.h"
#include "support/interrupt.h"

namespace quiverlane::methods {

inline PyRef num_vertices(const Graph& graph) { return count_to_python(graph.num_vertices()); }

inline PyRef num_edges(const Graph& graph) { return count_to_python(graph.num_edges()); }

inline PyRef adjacent(const Graph& graph, PyObject* u_arg, PyObject* v_arg) {
  const Vertex u = to_vertex(u_arg);
  const Vertex v = to_vertex(v_arg);
  return bool_to_python(graph.adjacent(u, v));
}

inline PyRef degree(const Graph& graph, PyObject* u) { return vertex_to_python(graph.degree(to_vertex(u))); }

inline PyRef contains(Graph& graph, PyObject* u) { return bool_to_python(graph.contains(to_vertex(u))); }

inline PyRef vertices(const Graph& graph) {
  // The keys straight into an array, not into a set of our own first: the
  // new Python set is the only one needed.
  std::vector<Vertex> all;
  all.reserve(graph.num_vertices());
  InterruptPoll poll;
  graph.for_each_vertex([&](Vertex v) {
    poll.tick();
    all.push_back(v);
  });
  return distinct_ids_to_python(all);
}

inline PyRef edges(const Graph& graph) { return edges_to_python(graph); }

inline PyRef neighbours(const Graph& graph, PyObject* u) {
  const Vertex v = to_vertex(u);
  // In a large graph u's entry, and then its neighbour table, come from
  // memory: the empty set is made while the entry loads, and the table
  // starts loading as soon as its address is known.
  graph.prefetch(v);
  PyRef set = new_python_set();
  const VertexSet& members = graph.neighbours(v);
  members.prefetch_table();
  // Read straight from the stored set: nothing can change the graph while
  // this call holds shared access, and the new set shares nothing with it.
  add_members(set.get(), members);
  return set;
}

inline PyRef add_vertex(Graph& graph, PyObject* u) {
  graph.add_vertex(to_vertex(u));
  return none_to_python();
}

inline PyRef add_edge(Graph& graph, PyObject* u_arg, PyObject* v_arg) {
  const Vertex u = to_vertex(u_arg);
  const Vertex v = to_vertex(v_arg);
  return bool_to_python(graph.add_edge(u, v));
}

inline PyRef remove_edge(Graph& graph, PyObject* u_arg, PyObject* v_arg) {
  const Vertex u = to_vertex(u_arg);
  const Vertex v = to_vertex(v_arg);
  return bool_to_python(graph.remove_edge(u, v));
}

inline PyRef remove_vertex(Graph& graph, PyObject* u) { return bool_to_python(graph.remove_vertex(to_vertex(u))); }

inline PyRef remove_loops(Graph& graph) { return count_to_python(graph.remove_loops()); }

inline PyRef remove_isolates(Graph& graph) { return count_to_python(graph.remove_isolates()); }

inline PyRef copy(const Graph& graph) { return wrap_graph(graph.copy()); }

}  // namespace quiverlane::methods
