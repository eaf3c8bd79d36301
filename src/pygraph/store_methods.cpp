// The store's methods: counts, membership, adjacency, degree, listing,
// editing and copying.
#include <vector>

#include "binding/conversions.h"
#include "binding/guard.h"
#include "binding/results.h"
#include "pygraph/graph_object.h"
#include "pygraph/methods.h"
#include "support/interrupt.h"

namespace quiverlane::methods {

QUIVERLANE_NOARGS_METHOD(num_vertices) {
  (void)unused;
  return guarded([&] { return count_to_python(SharedAccess(self).graph().num_vertices()); });
}

QUIVERLANE_NOARGS_METHOD(num_edges) {
  (void)unused;
  return guarded([&] { return count_to_python(SharedAccess(self).graph().num_edges()); });
}

QUIVERLANE_ARGS_METHOD(adjacent) {
  return guarded([&] {
    SharedAccess access(self);
    const auto [u_arg, v_arg] = match_arguments("PyGraph.adjacent()", kParamsUV, {args, kwargs});
    const Vertex u = to_vertex(u_arg);
    const Vertex v = to_vertex(v_arg);
    return bool_to_python(access.graph().adjacent(u, v));
  });
}

QUIVERLANE_ARGS_METHOD(degree) {
  return guarded([&] {
    SharedAccess access(self);
    const auto [u] = match_arguments("PyGraph.degree()", kParamsU, {args, kwargs});
    return vertex_to_python(access.graph().degree(to_vertex(u)));
  });
}

// Only reads, but takes exclusive access like the editing methods.
QUIVERLANE_ARGS_METHOD(contains) {
  return guarded([&] {
    ExclusiveAccess access(self);
    const auto [u] = match_arguments("PyGraph.contains()", kParamsU, {args, kwargs});
    return bool_to_python(access.graph().contains(to_vertex(u)));
  });
}

QUIVERLANE_NOARGS_METHOD(vertices) {
  (void)unused;
  return guarded([&] {
    SharedAccess access(self);
    // The keys straight into an array, not into a set of our own first: the
    // new Python set is the only one needed.
    const Graph& graph = access.graph();
    std::vector<Vertex> all;
    all.reserve(graph.num_vertices());
    InterruptPoll poll;
    graph.for_each_vertex([&](Vertex v) {
      poll.tick();
      all.push_back(v);
    });
    return distinct_ids_to_python(all);
  });
}

QUIVERLANE_NOARGS_METHOD(edges) {
  (void)unused;
  return guarded([&] {
    SharedAccess access(self);
    return edges_to_python(access.graph());
  });
}

QUIVERLANE_ARGS_METHOD(neighbours) {
  return guarded([&] {
    SharedAccess access(self);
    const auto [u] = match_arguments("PyGraph.neighbours()", kParamsU, {args, kwargs});
    const Vertex v = to_vertex(u);
    const Graph& graph = access.graph();
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
  });
}

QUIVERLANE_ARGS_METHOD(add_vertex) {
  return guarded([&] {
    ExclusiveAccess access(self);
    const auto [u] = match_arguments("PyGraph.add_vertex()", kParamsU, {args, kwargs});
    access.graph().add_vertex(to_vertex(u));
    return none_to_python();
  });
}

QUIVERLANE_ARGS_METHOD(add_edge) {
  return guarded([&] {
    ExclusiveAccess access(self);
    const auto [u_arg, v_arg] = match_arguments("PyGraph.add_edge()", kParamsUV, {args, kwargs});
    const Vertex u = to_vertex(u_arg);
    const Vertex v = to_vertex(v_arg);
    return bool_to_python(access.graph().add_edge(u, v));
  });
}

QUIVERLANE_ARGS_METHOD(remove_edge) {
  return guarded([&] {
    ExclusiveAccess access(self);
    const auto [u_arg, v_arg] = match_arguments("PyGraph.remove_edge()", kParamsUV, {args, kwargs});
    const Vertex u = to_vertex(u_arg);
    const Vertex v = to_vertex(v_arg);
    return bool_to_python(access.graph().remove_edge(u, v));
  });
}

QUIVERLANE_ARGS_METHOD(remove_vertex) {
  return guarded([&] {
    ExclusiveAccess access(self);
    const auto [u] = match_arguments("PyGraph.remove_vertex()", kParamsU, {args, kwargs});
    return bool_to_python(access.graph().remove_vertex(to_vertex(u)));
  });
}

QUIVERLANE_NOARGS_METHOD(remove_loops) {
  (void)unused;
  return guarded([&] { return count_to_python(ExclusiveAccess(self).graph().remove_loops()); });
}

QUIVERLANE_NOARGS_METHOD(remove_isolates) {
  (void)unused;
  return guarded([&] { return count_to_python(ExclusiveAccess(self).graph().remove_isolates()); });
}

QUIVERLANE_NOARGS_METHOD(copy) {
  (void)unused;
  return guarded([&] {
    SharedAccess access(self);
    return wrap_graph(access.graph().copy());
  });
}

}  // namespace quiverlane::methods
