#include "graph/neighbourhood.h"

#include <algorithm>

namespace quiverlane {

namespace {
constexpr std::size_t kSmallBall = 16;
}  // namespace

VertexList r_neighbours(const Graph& graph, Vertex u, std::uint32_t r) {
  VertexList ball;
  // Room for a small ball at once, so that it is not reallocated step by
  // step as it starts to grow.
  ball.reserve(kSmallBall);
  ball.push_back(u);
  if (r == 0) return ball;
  // Breadth first: walk[expanded, end) holds the slots of the vertices at
  // distance step - 1, the only ones whose neighbours can still be new. The
  // slots of the vertices a step finds are queued for the next step as they
  // are met; the rim, at distance r, is never expanded and so never looked
  // up. A step that adds nothing ends the walk, since no later step could
  // add anything either; r may be as large as 2^32 - 1.
  Traversal walk(graph);
  auto found = [&](std::size_t slot, Vertex v) {
    if (slot == Traversal::kAbsent) (void)graph.neighbours(v);  // faults: only u can be absent
    walk.push(slot);
  };
  walk.find(u, found);
  walk.finish_finding(found);
  WorkingSet seen;
  seen.insert(u);
  DelayedInserts inserts(seen);
  std::size_t expanded = 0;
  for (std::uint32_t step = 1; step <= r && expanded < walk.size(); ++step) {
    const std::size_t end = walk.size();
    const bool rim = step == r;
    // Room for every neighbour the step can find, so that the set and the
    // ball are not regrown over and over while it runs. Sized for the worst
    // case (no two share a neighbour, which hubs make far from true), up to
    // the whole graph: a few bytes per vertex at most.
    const std::size_t most = std::min<std::size_t>(seen.size() + walk.reach(expanded, end), graph.num_vertices());
    seen.reserve(most);
    ball.reserve(most);
    auto on_new = [&](Vertex w) {
      ball.push_back(w);
      if (!rim) walk.find(w, found);
    };
    walk.expand(expanded, end, [&](Vertex w) { inserts.add(w, on_new); });
    inserts.flush(on_new);
    walk.finish_finding(found);
    expanded = end;
  }
  return ball;
}

}  // namespace quiverlane
