#include "graph/components.h"

#include "graph/working_set.h"
#include "support/interrupt.h"

namespace quiverlane {

std::vector<VertexSet> components(const Graph& graph) {
  std::vector<VertexSet> result;
  // Every vertex enters `visited` exactly once and each component is grown by
  // a traversal from its seed, so no vertex or edge is looked at twice: a
  // long path or a million isolated vertices cost linear time.
  WorkingSet visited;
  visited.reserve(graph.num_vertices());
  std::vector<Vertex> members;
  InterruptPoll poll;
  graph.adjacency.for_each([&](Vertex seed, const VertexSet& around) {
    poll.tick();
    if (!visited.insert(seed)) return;
    VertexSet component;
    if (around.empty() || (around.size() == 1 && around.contains(seed))) {
      // The common case of sparse data: no traversal needed.
      component.insert(seed);
    } else {
      members.clear();
      members.push_back(seed);
      // `members` doubles as the queue: everything before `next` is expanded.
      for (std::size_t next = 0; next < members.size(); ++next) {
        const VertexSet& around_next = graph.neighbours(members[next]);
        poll.tick(static_cast<std::int64_t>(around_next.size()));
        around_next.for_each([&](Vertex w) {
          if (visited.insert(w)) members.push_back(w);
        });
      }
      component.reserve(members.size());
      for (const Vertex v : members) component.insert_new(v);
    }
    result.push_back(std::move(component));
  });
  return result;
}

}  // namespace quiverlane
