#include "graph/neighbourhood.h"

#include <vector>

namespace quiverlane {

VertexSet r_neighbours(const Graph& graph, Vertex u, std::uint32_t r) {
  VertexSet ball;
  ball.insert(u);
  // Each step expands only from the vertices the previous step added (all
  // older members' neighbours are in the ball already), and a step that adds
  // nothing ends the walk: later steps could not add anything either, and r
  // may be as large as 2^32 - 1.
  std::vector<Vertex> frontier;
  std::vector<Vertex> added;
  if (r > 0) frontier.push_back(u);
  for (std::uint32_t step = 0; step < r && !frontier.empty(); ++step) {
    added.clear();
    for (const Vertex x : frontier) {
      graph.neighbours(x).for_each([&](Vertex w) {
        if (ball.insert(w)) added.push_back(w);
      });
    }
    frontier.swap(added);
  }
  return ball;
}

}  // namespace quiverlane
