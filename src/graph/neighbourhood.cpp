#include "graph/neighbourhood.h"

#include <vector>

#include "support/interrupt.h"

namespace quiverlane {

VertexSet r_neighbours(const Graph& graph, Vertex u, std::uint32_t r) {
  // Breadth first: `order` holds the ball in order of distance, and the
  // members added by the previous step, order[begin, end), are the only ones
  // whose neighbours can still be new. A step that adds nothing ends the
  // walk, since no later step could add anything either; r may be as large
  // as 2^32 - 1.
  WorkingSet seen;
  seen.insert(u);
  std::vector<Vertex> order{u};
  std::size_t begin = 0;
  InterruptPoll poll;
  for (std::uint32_t step = 0; step < r && begin < order.size(); ++step) {
    const std::size_t end = order.size();
    for (std::size_t i = begin; i < end; ++i) {
      const VertexSet& around = graph.neighbours(order[i]);
      poll.tick(static_cast<std::int64_t>(around.size()) + 1);
      around.for_each([&](Vertex w) {
        if (seen.insert(w)) order.push_back(w);
      });
    }
    begin = end;
  }
  VertexSet ball;
  ball.reserve(order.size());
  for (const Vertex v : order) ball.insert_new(v);
  return ball;
}

}  // namespace quiverlane
