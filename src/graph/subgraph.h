// Induced subgraphs.
#pragma once

#include <vector>

#include "graph/graph.h"
#include "graph/membership.h"
#include "graph/neighbourhood.h"
#include "graph/traversal.h"
#include "graph/vertex_set.h"
#include "graph/vertex_set_concepts.h"

namespace quiverlane {

// The subgraph induced by `selection`: its members, isolated ones included,
// and every edge (loops too) with both ends among them, as a new graph that
// shares nothing with the source. Every member is looked up first, so an
// absent one faults before anything is built. Each neighbour set is then
// intersected with the selection from the smaller side, so a hub in a small
// selection costs only as much as the selection, and the new vertex's set
// is made at its final size in one go. Reads the source only; never
// modifies `selection`.
// O(sum over members x of min(degree(x), |selection|)).
template <ReadableVertexSet Set>
Graph subgraph(const Graph& graph, const Set& selection) {
  Traversal members(graph);
  detail::queue_members(graph, selection, members);
  Graph result;
  result.reserve(members.size());
  const Membership<Set> selected(selection);
  std::vector<Vertex> kept;
  members.visit(0, members.size(), [&](Vertex x, const VertexSet& around) {
    kept.clear();
    if (around.size() <= selection.size()) {
      around.for_each_gathered([&](Vertex y) {
        if (selected.contains(y)) kept.push_back(y);
      });
    } else {
      selection.for_each([&](Vertex y) {
        if (around.contains(y)) kept.push_back(y);
      });
    }
    result.add_vertex_with_neighbours(x, kept);
  });
  return result;
}

}  // namespace quiverlane
