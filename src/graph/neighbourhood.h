// Neighbourhood queries over vertex sets, and the ball around a vertex.
//
// The set-valued queries take any set type with for_each and contains: the
// argument set of a Python call as well as the core's own VertexSet. They
// only read the graph; each result is a new set the caller owns, sharing no
// storage with the graph. A member that is not a vertex faults with "Vertex
// not contained in graph" through the accessor.
//
// Results are gathered in a WorkingSet and copied once into a VertexSet of
// the right size, which is much cheaper than letting a VertexSet regrow
// member by member.
#pragma once

#include <cstdint>

#include "graph/graph.h"
#include "graph/vertex_set.h"
#include "graph/working_set.h"
#include "support/interrupt.h"

namespace quiverlane {

namespace detail {

// Adds to `out` every vertex adjacent to a member of `c` that is not itself
// a member. Testing membership while collecting, instead of collecting
// everything and removing members afterwards, saves the second pass and
// never stores what would be removed.
template <class Set, class Out>
void add_open_neighbourhood(const Graph& graph, const Set& c, Out& out) {
  InterruptPoll poll;
  c.for_each([&](Vertex x) {
    const VertexSet& around = graph.neighbours(x);
    poll.tick(static_cast<std::int64_t>(around.size()) + 1);
    around.for_each([&](Vertex w) {
      if (!c.contains(w)) out.insert(w);
    });
  });
}

}  // namespace detail

// The open neighbourhood: vertices adjacent to some member of `c` that are
// not members themselves. Loops and edges between members add nothing.
// O(sum of the members' degrees).
template <class Set>
VertexSet neighbourhood(const Graph& graph, const Set& c) {
  WorkingSet found;
  detail::add_open_neighbourhood(graph, c, found);
  return found.to_vertex_set();
}

// The union of the members' neighbour sets. A member is in the result only
// when it is a neighbour of some member (another member, or itself by a
// loop), so this is not the open neighbourhood plus `c`.
// O(sum of the members' degrees).
template <class Set>
VertexSet closed_neighbourhood(const Graph& graph, const Set& c) {
  WorkingSet found;
  InterruptPoll poll;
  c.for_each([&](Vertex x) {
    const VertexSet& around = graph.neighbours(x);
    poll.tick(static_cast<std::int64_t>(around.size()) + 1);
    around.for_each([&](Vertex w) { found.insert(w); });
  });
  return found.to_vertex_set();
}

// Every vertex within distance r of u, u included. With r == 0 the graph is
// not consulted, so an absent u is only a fault when r >= 1.
// O(sum of the degrees inside the ball).
VertexSet r_neighbours(const Graph& graph, Vertex u, std::uint32_t r);

}  // namespace quiverlane
