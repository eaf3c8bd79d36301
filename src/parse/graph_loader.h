// The reader's sink: the edges of accepted lines, gathered in batches and
// added to a new graph a batch at a time (see EdgeBatch). Lines are still
// checked one by one in file order; only the building lags behind by at
// most one batch, and a refused line discards the graph whole.
#pragma once

#include "graph/edge_batch.h"
#include "graph/graph.h"

namespace quiverlane {

class GraphLoader {
 public:
  void add_edge(Vertex u, Vertex v) {
    batch_.push(u, v);
    if (batch_.full()) batch_.add_to(graph_);
  }

  // The graph of every edge added so far.
  Graph finish() && {
    batch_.add_to(graph_);
    return std::move(graph_);
  }

 private:
  Graph graph_;
  EdgeBatch batch_;
};

}  // namespace quiverlane
