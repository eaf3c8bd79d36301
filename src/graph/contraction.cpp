#include "graph/contraction.h"

#include <algorithm>

#include "graph/neighbourhood.h"

namespace quiverlane {

namespace {

// Makes every allocation the new edges will need, so that once the graph
// starts changing nothing can fail halfway. Only the center may be created
// here; if a later allocation fails it is removed again.
void make_room(Graph& graph, Vertex center, const WorkingSet& outside, std::size_t joining) {
  outside.for_each([&](Vertex w) {
    VertexSet* around = graph.adjacency.find(w);
    if (w != center && around != nullptr && !around->contains(center))
      around->reserve(around->size() + 1);
  });
  const bool create = !graph.contains(center);
  graph.add_vertex(center);
  try {
    VertexSet* own = graph.adjacency.find(center);
    own->reserve(own->size() + joining);
  } catch (...) {
    if (create) graph.remove_vertex(center);
    throw;
  }
}

}  // namespace

// O(sum of the degrees of `merged`).
void detail::merge_into(Graph& graph, Vertex center, const WorkingSet& merged) {
  // Every member is looked up here, before anything changes.
  WorkingSet outside;
  add_open_neighbourhood(graph, merged, outside);
  // The center may be a neighbour of the members; it gets no loop.
  const std::size_t joining = outside.size() - (outside.contains(center) ? 1 : 0);
  if (joining > 0) {
    make_room(graph, center, outside, joining);
    outside.for_each([&](Vertex w) {
      if (w != center) graph.add_edge(center, w);
    });
  }
  // Takes the members' edges to the outside, to the center, to each other
  // and their loops with them.
  merged.for_each([&](Vertex v) { graph.remove_vertex(v); });
}

void detail::add_induced(Graph& result, Vertex x, const std::vector<Vertex>& kept) {
  VertexSet& set = *result.adjacency.try_emplace(x).first;
  set.reserve(kept.size());
  for (const Vertex y : kept) {
    set.insert_new(y);
    if (y > x) ++result.edge_count;
  }
  if (std::find(kept.begin(), kept.end(), x) != kept.end()) {
    set.set_tagged(true);  // the store's mark of a loop
    ++result.edge_count;
  }
}

}  // namespace quiverlane
