#include "graph/contraction.h"

#include "graph/neighbourhood.h"

namespace quiverlane {

// O(sum of the degrees of `merged`).
void detail::merge_into(Graph& graph, Vertex center, const WorkingSet& merged) {
  // Every member is looked up here, before anything changes.
  WorkingSet outside;
  add_open_neighbourhood(graph, merged, outside);
  // The center may be a neighbour of the members; it gets no loop.
  graph.join(center, outside);
  // Takes the members' edges to the outside, to the center, to each other
  // and their loops with them.
  merged.for_each([&](Vertex v) { graph.remove_vertex(v); });
}

}  // namespace quiverlane
