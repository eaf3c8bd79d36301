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
//
// Degrees cost no table of their own: a vertex's neighbour set carries a tag
// exactly when it holds the vertex itself, so degree(u) = |N(u)| + tag, read
// from the one adjacency entry. That keeps invariants 3 and 4 true by
// construction and saves a second map the size of the first.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "graph/table_blocks.h"
#include "graph/vertex.h"
#include "graph/vertex_map.h"
#include "graph/vertex_set.h"

namespace quiverlane {

using AdjacencyMap = VertexMap<VertexSet>;

// The degree of every vertex, answered from the adjacency entries: the same
// keys as the adjacency map, always.
class DegreeMap {
 public:
  explicit DegreeMap(const AdjacencyMap& adjacency) noexcept : adjacency_(&adjacency) {}
  std::size_t size() const noexcept { return adjacency_->size(); }
  std::optional<std::uint32_t> find(Vertex u) const noexcept {
    const VertexSet* set = adjacency_->find(u);
    if (set == nullptr) return std::nullopt;
    return static_cast<std::uint32_t>(set->size() + (set->tagged() ? 1 : 0));
  }

 private:
  const AdjacencyMap* adjacency_;
};

struct Graph {
  AdjacencyMap adjacency;
  DegreeMap degrees{adjacency};
  std::uint64_t edge_count = 0;

  Graph() = default;
  Graph(Graph&& other) noexcept
      : adjacency(std::move(other.adjacency)),
        edge_count(std::exchange(other.edge_count, 0)),
        cloned_tables_(std::move(other.cloned_tables_)) {}
  Graph& operator=(Graph&& other) noexcept {
    adjacency = std::move(other.adjacency);
    edge_count = std::exchange(other.edge_count, 0);
    cloned_tables_ = std::move(other.cloned_tables_);
    return *this;
  }

  // O(1) queries. An absent vertex is not an error for any of them.
  std::uint64_t num_vertices() const noexcept { return adjacency.size(); }
  std::uint64_t num_edges() const noexcept { return edge_count; }
  bool contains(Vertex u) const noexcept { return adjacency.contains(u); }
  bool adjacent(Vertex u, Vertex v) const noexcept {
    const VertexSet* set = adjacency.find(u);
    return set != nullptr && set->contains(v);
  }
  std::uint32_t degree(Vertex u) const noexcept { return degrees.find(u).value_or(0); }

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
  // O(n + m): an independent graph with the same tables, cloned block by
  // block in slot order.
  Graph copy() const;

 private:
  VertexSet& neighbours_entry(Vertex u);

  // Where copy() put the neighbour tables of this graph, if it made it.
  TableBlocks cloned_tables_;
};

}  // namespace quiverlane
