// GraphBuilder: a new graph from many edges at once (the edge-list reader's).
//
// Added one at a time, every edge of a large graph waits on random memory
// twice, and every neighbour set is rehashed each time it grows. The
// builder does the same work in an order that walks memory and hashes each
// member once:
//
//  1. Edges are gathered a batch at a time. Both directions (arcs) of each
//     are sorted by the hash of their source vertex, which orders them by
//     home slot in an adjacency table of any size, so a sweep visits the
//     table in address order and finds each source once per batch.
//  2. The sweep appends each arc's target to its source's NeighbourList
//     (neighbour_list.h), which past three members is a plain list sized as
//     the table it will become: no hashing yet, and growing is a realloc.
//  3. finish() walks the builder's map once, turning it in place into the
//     graph's: every list becomes its hash table where it lies, and the
//     edges are counted and the loops marked from the finished sets.
//
// The graph is exactly the one add_edge would build from the same edges;
// only the iteration order of its tables may differ. A builder that throws
// (bad_alloc, or an interrupted read) is discarded with its graph.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "graph/graph.h"
#include "graph/neighbour_list.h"
#include "graph/vertex.h"
#include "graph/vertex_map.h"

namespace quiverlane {

class GraphBuilder {
 public:
  // Edges gathered per batch. A sweep finds its appends close together
  // only when the batch's arcs are dense in the adjacency table, so batches
  // grow with the graph: a batch holds at most one edge for every
  // kEdgesPerBatchEdge read before it, which keeps its buffers (four arcs,
  // 48 bytes, per batch edge) to 3 bytes per edge read, within these bounds.
  // Doubling the batch at 20 million edges saves about a quarter of the
  // load.
  static constexpr std::size_t kMinBatchEdges = std::size_t{1} << 15;
  static constexpr std::size_t kMaxBatchEdges = std::size_t{1} << 23;
  static constexpr std::size_t kEdgesPerBatchEdge = 16;

  GraphBuilder();

  void add_edge(Vertex u, Vertex v) {
    const std::uint32_t hu = table_hash(u);
    arcs_.push_back({u, v, hu});
    if (u != v) arcs_.push_back({v, u, table_hash(v)});
    if (++edges_ == batch_edges_) {
      append_batch();
      start_batch();
    }
  }

  // The graph of every edge added. O(vertices + arcs).
  Graph finish() &&;

 private:
  // One direction of an edge, with its source's table_hash().
  struct Arc {
    Vertex source, target;
    std::uint32_t hash;
  };

  void append_batch();
  void start_batch();
  void size_buffers();
  void sort_by_hash();
  std::size_t run_count() const;
  std::size_t count_new_sources() const;
  void append_arcs();

  VertexMap<NeighbourList> lists_;
  std::size_t edges_ = 0;  // in this batch
  std::size_t edges_before_ = 0;  // in the batches appended
  std::size_t batch_edges_ = kMinBatchEdges;
  std::vector<Vertex> scratch_;  // for lists hashed
  std::vector<Arc> arcs_;
  std::vector<Arc> sorted_;
  std::vector<std::uint32_t> counts_;
  std::vector<NeighbourList*> run_lists_;
};

}  // namespace quiverlane
