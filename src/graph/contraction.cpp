#include "graph/contraction.h"

#include "graph/neighbourhood.h"

namespace quiverlane {

namespace {

// Makes every allocation the edges to be added will need, so that once the
// graph starts changing nothing can fail halfway. Only the center may be
// created here; if a later allocation fails it is removed again.
void make_room(Graph& graph, Vertex center, const VertexSet& outside) {
  outside.for_each([&](Vertex w) {
    VertexSet* around = graph.adjacency.find(w);
    if (around != nullptr && !around->contains(center)) around->reserve(around->size() + 1);
  });
  const bool create = !graph.contains(center);
  if (create) {
    graph.adjacency.reserve(graph.adjacency.size() + 1);
    graph.degrees.reserve(graph.degrees.size() + 1);
  }
  graph.add_vertex(center);
  try {
    VertexSet* own = graph.adjacency.find(center);
    own->reserve(own->size() + outside.size());
  } catch (...) {
    if (create) graph.remove_vertex(center);
    throw;
  }
}

}  // namespace

// O(sum of the degrees of `merged`).
void detail::merge_into(Graph& graph, Vertex center, const VertexSet& merged) {
  // Every member is looked up here, before anything changes.
  VertexSet outside = neighbourhood(graph, merged);
  outside.erase(center);
  if (!outside.empty()) {
    make_room(graph, center, outside);
    outside.for_each([&](Vertex w) { graph.add_edge(center, w); });
  }
  // Takes the members' edges to the outside, to the center, to each other
  // and their loops with them.
  merged.for_each([&](Vertex v) { graph.remove_vertex(v); });
}

}  // namespace quiverlane
