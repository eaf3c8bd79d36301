// The graph record and its store operations.
//
// An undirected graph over 32-bit vertex ids, loops allowed, no multi-edges.
// Invariants kept by every operation that changes the graph:
//  1. v is in u's neighbour set exactly when u is in v's; every neighbour is
//     itself a key of `adjacency`.
//  2. A loop at u is stored once, as u in u's own set.
//  3. `degrees` has exactly the keys of `adjacency`.
//  4. degree(u) = members of u's set other than u, plus 2 for a loop.
//  5. `edge_count` counts each pair {u, v} once, loops included, so the
//     degrees sum to twice `edge_count`.
// Every editing operation either happens whole or not at all: all allocation
// is done before the first visible change, so bad_alloc leaves the graph as
// it was.
#pragma once

#include <cstdint>
#include <vector>

#include "graph/vertex.h"
#include "graph/vertex_map.h"
#include "graph/vertex_set.h"

namespace quiverlane {

using AdjacencyMap = VertexMap<VertexSet>;
using DegreeMap = VertexMap<std::uint32_t>;

struct Graph {
  AdjacencyMap adjacency;
  DegreeMap degrees;
  std::uint64_t edge_count = 0;

  Graph() = default;
  Graph(Graph&&) noexcept = default;
  Graph& operator=(Graph&&) noexcept = default;

  // O(1) queries. An absent vertex is not an error for any of them.
  std::uint64_t num_vertices() const noexcept { return adjacency.size(); }
  std::uint64_t num_edges() const noexcept { return edge_count; }
  bool contains(Vertex u) const noexcept { return adjacency.contains(u); }
  bool adjacent(Vertex u, Vertex v) const noexcept {
    const VertexSet* set = adjacency.find(u);
    return set != nullptr && set->contains(v);
  }
  std::uint32_t degree(Vertex u) const noexcept {
    const std::uint32_t* d = degrees.find(u);
    return d == nullptr ? 0 : *d;
  }

  // The stored neighbour set of u, valid until the graph next changes.
  // Faults with "Vertex not contained in graph" when u is absent.
  const VertexSet& neighbours(Vertex u) const;

  // O(n): a new set of every vertex, sized up front.
  VertexSet vertices() const;

  // O(n + m): calls f(a, b) once per edge with a <= b.
  template <class F>
  void for_each_edge(F&& f) const {
    adjacency.for_each([&f](Vertex a, const VertexSet& set) {
      set.for_each([&](Vertex b) {
        if (a <= b) f(a, b);
      });
    });
  }

  // O(1) amortised.
  void add_vertex(Vertex u);
  bool add_edge(Vertex u, Vertex v);
  bool remove_edge(Vertex u, Vertex v);
  // O(degree(u)).
  bool remove_vertex(Vertex u);
  // O(n).
  std::uint64_t remove_loops();
  std::uint64_t remove_isolates();
  // O(n + m): an independent graph rebuilt by insertion.
  Graph copy() const;

 private:
  std::uint32_t& degree_entry(Vertex u);
  VertexSet& neighbours_entry(Vertex u);
};

}  // namespace quiverlane
