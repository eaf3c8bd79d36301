// Contraction of a vertex set into one vertex, and induced subgraphs.
//
// The entry points take any set type with for_each, contains, size and (for
// contract) first, such as the argument set of a Python call, and never
// modify it. The contractions change the graph only through the store's
// add_edge and remove_vertex, so its invariants hold by construction, and
// they make every lookup that can fault, and every allocation they can,
// before the first change: a fault (or a failed allocation) leaves the graph
// as it was.
#pragma once

#include <vector>

#include "graph/graph.h"
#include "graph/membership.h"
#include "graph/neighbourhood.h"
#include "graph/slot_walk.h"
#include "graph/vertex_set.h"
#include "graph/working_set.h"
#include "support/fault.h"

namespace quiverlane {

namespace detail {
// Merges `merged` (which does not hold center) into center.
void merge_into(Graph& graph, Vertex center, const WorkingSet& merged);

// Adds x to the induced subgraph being built, with the selected neighbours
// `kept`, and counts each of its edges once: a loop when met, any other
// edge from its smaller end. Symmetry holds once every member is added.
void add_induced(Graph& result, Vertex x, const std::vector<Vertex>& kept);

}  // namespace detail

// Joins center to every vertex outside `vertices` adjacent to a member, then
// removes the members other than center. The center is never looked up: it
// need not exist, and comes into existence only if it gains an edge. No loop
// is created at the center; one it had stays.
// O(sum of the members' degrees).
template <class Set>
void contract_into(Graph& graph, Vertex center, const Set& vertices) {
  WorkingSet merged;
  merged.reserve(vertices.size());
  vertices.for_each([&](Vertex v) {
    if (v != center) merged.insert(v);
  });
  detail::merge_into(graph, center, merged);
}

// contract_into with the first member the traversal of `vertices` yields as
// the center, which it returns. No rule such as smallest id applies. An empty
// set is a missing-value fault; since the center is never looked up, an
// absent member faults only when it is not the one taken as the center.
// O(sum of the members' degrees).
template <class Set>
Vertex contract(Graph& graph, const Set& vertices) {
  if (vertices.empty()) missing_value();
  const Vertex center = vertices.first();
  contract_into(graph, center, vertices);
  return center;
}

// The subgraph induced by `selection`: its members, isolated ones included,
// and every edge (loops too) with both ends among them, as a new graph that
// shares nothing with the source. Every member is looked up first, so an
// absent one faults before anything is built. Each neighbour set is then
// intersected with the selection from the smaller side, so a hub in a small
// selection costs only as much as the selection, and the new vertex's set
// is made at its final size in one go.
// O(sum over members x of min(degree(x), |selection|)).
template <class Set>
Graph subgraph(const Graph& graph, const Set& selection) {
  SlotQueue members(graph.adjacency);
  detail::queue_members(graph, selection, members);
  Graph result;
  result.adjacency.reserve(members.size());
  const Membership<Set> selected(selection);
  std::vector<Vertex> kept;
  members.visit(0, members.size(), [&](const AdjacencyMap::Entry& entry) {
    kept.clear();
    const VertexSet& around = entry.value;
    if (around.size() <= selection.size()) {
      around.for_each_gathered([&](Vertex y) {
        if (selected.contains(y)) kept.push_back(y);
      });
    } else {
      selection.for_each([&](Vertex y) {
        if (around.contains(y)) kept.push_back(y);
      });
    }
    detail::add_induced(result, entry.key, kept);
  });
  return result;
}

}  // namespace quiverlane
