// Neighbourhood queries over vertex sets, and the ball around a vertex.
//
// The set-valued queries take any readable vertex set
// (vertex_set_concepts.h): the argument set of a Python call as well as the
// core's own sets.
// They only read the graph; each result is a new array of distinct
// vertices the caller owns, sharing no storage with the graph (the binding
// turns it straight into a Python set, so no hash set of the core's own is
// built just to be read once). A member that is not a vertex faults with
// "Vertex not contained in graph" through the accessor.
//
// Members are looked up and expanded through a Traversal (traversal.h), so
// that the lookups of many members, and the loads of
// their neighbour tables, overlap instead of waiting on memory in turn.
// Every member is looked up before any is expanded: an absent one faults
// before any work is done on the others.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "graph/graph.h"
#include "graph/hash_order.h"
#include "graph/membership.h"
#include "graph/traversal.h"
#include "graph/vertex_set_concepts.h"
#include "graph/working_set.h"

namespace quiverlane {

// A contraction hands its working sets to these queries, and a call's
// argument set, a WorkingSet too, comes to contract() as well.
static_assert(PickableVertexSet<WorkingSet>);

// Distinct vertices, in no meaningful order.
using VertexList = std::vector<Vertex>;

namespace detail {

// Members of sets this large are looked up in order of hash (hash_order.h).
inline constexpr std::size_t kOrderMembersFrom = std::size_t{1} << 14;

// Queues the slot of every member of c; the first absent member met
// faults. Large sets are looked up in order of hash, so their lookups, and
// later the loads of their entries and tables, sweep memory in order.
template <ReadableVertexSet Set>
void queue_members(const Graph& graph, const Set& c, Traversal& walk) {
  auto found = [&](std::size_t slot, Vertex x) {
    if (slot == Traversal::kAbsent) (void)graph.neighbours(x);  // faults: x is absent
    walk.push(slot);
  };
  if (c.size() < kOrderMembersFrom) {
    c.for_each([&](Vertex x) { walk.find(x, found); });
  } else {
    std::vector<HashedVertex> members;
    members.reserve(c.size());
    c.for_each([&](Vertex x) { members.push_back({x, table_hash(x)}); });
    order_by_hash(members);
    for (const HashedVertex& x : members) walk.find_hashed(x.vertex, x.hash, found);
  }
  walk.finish_finding(found);
}

// Adds to `out` every neighbour w of the queued vertices for which keep(w)
// holds. `out` is first given room for every neighbour they have, up to the
// whole graph, so that it is not regrown over and over while it fills.
template <class Keep>
void collect_neighbours(const Graph& graph, Traversal& walk, WorkingSet& out, Keep&& keep) {
  out.reserve(std::min<std::size_t>(out.size() + walk.reach(0, walk.size()), graph.num_vertices()));
  DelayedInserts inserts(out);
  auto ignore = [](Vertex) {};
  walk.expand(0, walk.size(), [&](Vertex w) {
    if (keep(w)) inserts.add(w, ignore);
  });
  inserts.flush(ignore);
}

// Adds to `out` every vertex adjacent to a member of `c` that is not itself
// a member. Testing membership while collecting, instead of collecting
// everything and removing members afterwards, saves the second pass and
// never stores what would be removed.
template <ReadableVertexSet Set>
void add_open_neighbourhood(const Graph& graph, const Set& c, WorkingSet& out) {
  Traversal walk(graph);
  queue_members(graph, c, walk);
  const Membership<Set> members(c);
  collect_neighbours(graph, walk, out, [&members](Vertex w) { return !members.contains(w); });
}

inline VertexList to_list(const WorkingSet& set) {
  VertexList list;
  list.reserve(set.size());
  set.for_each([&list](Vertex v) { list.push_back(v); });
  return list;
}

}  // namespace detail

// The open neighbourhood: vertices adjacent to some member of `c` that are
// not members themselves. Loops and edges between members add nothing.
// O(sum of the members' degrees).
template <ReadableVertexSet Set>
VertexList neighbourhood(const Graph& graph, const Set& c) {
  WorkingSet found;
  detail::add_open_neighbourhood(graph, c, found);
  return detail::to_list(found);
}

// The union of the members' neighbour sets. A member is in the result only
// when it is a neighbour of some member (another member, or itself by a
// loop), so this is not the open neighbourhood plus `c`.
// O(sum of the members' degrees).
template <ReadableVertexSet Set>
VertexList closed_neighbourhood(const Graph& graph, const Set& c) {
  Traversal walk(graph);
  detail::queue_members(graph, c, walk);
  WorkingSet found;
  detail::collect_neighbours(graph, walk, found, [](Vertex) { return true; });
  return detail::to_list(found);
}

// Every vertex within distance r of u, u included. With r == 0 the graph is
// not consulted, so an absent u is only a fault when r >= 1.
// O(sum of the degrees inside the ball, but those of its rim).
VertexList r_neighbours(const Graph& graph, Vertex u, std::uint32_t r);

}  // namespace quiverlane
