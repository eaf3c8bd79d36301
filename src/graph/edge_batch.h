// EdgeBatch: adding many edges to a graph at once.
//
// One at a time, every add_edge in a large graph waits on two random memory
// accesses, one after the other. A batch does the same insertions in an
// order that walks memory instead. Both directions (arcs) of every edge are
// sorted by the hash of their source vertex, which orders them by home slot
// in the adjacency table: a sweep then visits the table in address order,
// finds each source once for all its arcs in the batch, sizes its neighbour
// set once for them, and loads each target's slot in that set's table some
// arcs before inserting it, so that those misses overlap.
//
// The graph ends up with exactly the vertices, neighbour sets, degrees and
// edge count that add_edge on the same edges would give; only the iteration
// order of its tables may differ. If adding throws (bad_alloc), the graph is
// left half-built and must be discarded: every caller fills a new graph.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "graph/graph.h"
#include "graph/vertex.h"

namespace quiverlane {

class EdgeBatch {
 public:
  // Edges held before they are added: small enough that the batch's buffers
  // stay a sliver of a large graph, large enough that each sweep over the
  // adjacency table finds many insertions close together.
  static constexpr std::size_t kCapacity = std::size_t{1} << 15;

  EdgeBatch();

  bool full() const noexcept { return edges_ == kCapacity; }
  void push(Vertex u, Vertex v) {
    const std::uint32_t hu = table_hash(u), hv = table_hash(v);
    arcs_.push_back({u, v, hu, hv});
    if (u != v) arcs_.push_back({v, u, hv, hu});
    ++edges_;
  }

  // Adds every held edge to `graph` and empties the batch.
  // O(edges held + their insertions).
  void add_to(Graph& graph);

 private:
  // One direction of an edge, with the table_hash() of both ends.
  struct Arc {
    Vertex source, target;
    std::uint32_t hash, target_hash;
  };

  std::size_t count_new_sources(const AdjacencyMap& adjacency) const;
  void create_sources(AdjacencyMap& adjacency);
  void sort_by_hash();
  void resolve(AdjacencyMap& adjacency, std::size_t k);
  void insert_arcs(Graph& graph);

  std::size_t edges_ = 0;
  std::size_t distinct_sources_ = 0;  // after sort_by_hash()
  std::vector<Arc> arcs_;
  std::vector<Arc> sorted_;
  std::vector<std::uint32_t> counts_;
  // The neighbour set of each arc's source.
  std::vector<VertexSet*> arc_sets_;
};

}  // namespace quiverlane
