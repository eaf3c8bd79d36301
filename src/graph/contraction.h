// Contraction of a vertex set into one vertex.
//
// The entry points take any readable vertex set, such as the argument set
// of a Python call, and never modify it. The contractions change the graph
// only through the store's join and remove_vertex, so its invariants hold by
// construction, and they make every lookup that can fault, and every
// allocation they can, before the first change: a fault (or a failed
// allocation) leaves the graph as it was.
//
// A contraction runs in three steps, each over the members alone:
//  1. every member is looked up, and its neighbours outside the set are
//     gathered (the open neighbourhood): an absent member faults here;
//  2. the center is joined to each of them, all or nothing (Graph::join);
//  3. the members other than the center are removed, taking their edges
//     with them.
#pragma once

#include "graph/graph.h"
#include "graph/vertex_set_concepts.h"
#include "graph/working_set.h"
#include "support/fault.h"

namespace quiverlane {

namespace detail {
// Merges `merged` (which does not hold center) into center: steps 1 to 3.
void merge_into(Graph& graph, Vertex center, const WorkingSet& merged);
}  // namespace detail

// Joins center to every vertex outside `vertices` adjacent to a member, then
// removes the members other than center. The center is never looked up: it
// need not exist, and comes into existence only if it gains an edge. No loop
// is created at the center; one it had stays.
// O(sum of the members' degrees).
template <ReadableVertexSet Set>
void contract_into(Graph& graph, Vertex center, const Set& vertices) {
  // The members are copied, without the center, into a set of the core's
  // own: the argument set may hold the center, and the steps walk the
  // members twice, which a WorkingSet does fastest.
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
// The set names that member itself, without a walk of its own, as the
// argument set of a call does.
// O(sum of the members' degrees).
template <PickableVertexSet Set>
Vertex contract(Graph& graph, const Set& vertices) {
  if (vertices.empty()) missing_value();
  const Vertex center = vertices.first();
  contract_into(graph, center, vertices);
  return center;
}

}  // namespace quiverlane
