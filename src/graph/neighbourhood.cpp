#include "graph/neighbourhood.h"

namespace quiverlane {

VertexList r_neighbours(const Graph& graph, Vertex u, std::uint32_t r) {
  VertexList ball{u};
  if (r == 0) return ball;
  // Breadth first: ball[begin, end) holds the vertices at distance `step`,
  // the only ones whose neighbours can still be new. Their slots, found as
  // they are met, are queued for the next step; the rim, at distance r, is
  // never expanded and so never looked up. A step that adds nothing ends
  // the walk, since no later step could add anything either; r may be as
  // large as 2^32 - 1.
  const AdjacencyMap& adjacency = graph.adjacency;
  SlotQueue queue(adjacency);
  SlotFinder finder(adjacency);
  auto found = [&](std::size_t slot, Vertex v) {
    if (slot == detail::kNotFound) (void)graph.neighbours(v);  // faults: only u can be absent
    queue.push(slot);
  };
  finder.push(u, found);
  finder.drain(found);
  WorkingSet seen;
  seen.insert(u);
  std::size_t expanded = 0;
  for (std::uint32_t step = 1; step <= r && expanded < queue.size(); ++step) {
    const std::size_t end = queue.size();
    const bool rim = step == r;
    queue.expand(expanded, end, [&](Vertex w) {
      if (!seen.insert(w)) return;
      ball.push_back(w);
      if (!rim) finder.push(w, found);
    });
    finder.drain(found);
    expanded = end;
  }
  return ball;
}

}  // namespace quiverlane
