#include "graph/components.h"

#include <algorithm>

#include "graph/bitmap.h"
#include "graph/look_ahead.h"
#include "graph/traversal.h"
#include "support/interrupt.h"

namespace quiverlane {

namespace {

// Marks of the vertices already in a component. Small ids, as most real
// data sets have, are marked by id: a neighbour already seen then costs one
// bit test, not a hash and a probe of the adjacency table to find its slot.
// Other ids are marked by slot, so every such neighbour is looked up, and
// only the unseen are queued. Both bitmaps stay a small fraction of the
// adjacency table: an eighth of a byte per small id and per slot, against
// twenty bytes per slot.
class Marks {
 public:
  // Ids below this many per slot count as small.
  static constexpr std::size_t kSmallIdsPerSlot = 8;

  explicit Marks(const Traversal& walk)
      : small_bound_(std::min(kSmallIdsPerSlot * walk.slot_limit(), std::size_t{kMaxVertex} + 1)),
        by_id_(small_bound_),
        by_slot_(walk.slot_limit()) {}

  bool seen(std::size_t slot, Vertex v) const noexcept {
    return small(v) ? by_id_.test(v) : by_slot_.test(slot);
  }
  void mark(std::size_t slot, Vertex v) noexcept {
    if (small(v))
      by_id_.set(v);
    else
      by_slot_.set(slot);
  }
  // A neighbour reached: true if it must be looked up, because it is new
  // or because only its slot can tell.
  bool needs_lookup(Vertex w) noexcept { return !small(w) || by_id_.set(w); }
  // A neighbour looked up: true if it is new.
  bool found_new(std::size_t slot, Vertex w) noexcept { return small(w) || by_slot_.set(slot); }

 private:
  bool small(Vertex v) const noexcept { return v < small_bound_; }

  std::size_t small_bound_;
  Bitmap by_id_;
  Bitmap by_slot_;
};

struct ComponentWalk {
  ComponentWalk(const Graph& graph, VertexGroups& out) : graph(graph), walk(graph), marks(walk), out(out) {}

  // The callback of walk.find().
  void operator()(std::size_t slot, Vertex w) {
    if (!marks.found_new(slot, w)) return;
    walk.push(slot);
    out.members.push_back(w);
  }

  // Breadth first from the seed, a level at a time; every member lands in
  // out.members once.
  void grow(std::size_t seed_slot, Vertex seed) {
    marks.mark(seed_slot, seed);
    out.members.push_back(seed);
    walk.clear();
    walk.push(seed_slot);
    auto on_neighbour = [this](Vertex w) {
      if (marks.needs_lookup(w)) walk.find(w, *this);
    };
    for (std::size_t next = 0; next < walk.size();) {
      const std::size_t end = walk.size();
      walk.expand(next, end, on_neighbour);
      walk.finish_finding(*this);
      next = end;
    }
  }

  // Seeds are met in slot order, and most components of a sparse graph are
  // tiny: each would wait on memory for its first neighbours, one component
  // after another. So the neighbours of a seed some slots ahead are loaded
  // early, unless that seed is already in a component.
  void prefetch_seed(std::size_t slot, Vertex seed, const VertexSet& around) {
    if (around.empty() || marks.seen(slot, seed)) return;
    if (around.size() <= VertexSet::kInlineCapacity)
      around.for_each([this](Vertex w) { graph.prefetch(w); });
    else
      around.prefetch_table();
  }

  void run() {
    InterruptPoll poll;
    walk.sweep<look_ahead::kSeeds>(
        [this](std::size_t slot, Vertex seed, const VertexSet& around) { prefetch_seed(slot, seed, around); },
        [&](std::size_t slot, Vertex u, const VertexSet& around) {
          poll.tick();
          if (around.empty() || (around.size() == 1 && around.tagged())) {
            // No other vertex reaches this one, so it needs no mark.
            out.singles.push_back(u);
          } else if (!marks.seen(slot, u)) {
            grow(slot, u);
            out.close_group();
          }
        });
  }

  const Graph& graph;
  Traversal walk;
  Marks marks;
  VertexGroups& out;
};

}  // namespace

VertexGroups components(const Graph& graph) {
  VertexGroups out;
  // Room for the worst cases (every vertex alone, or every vertex in a pair)
  // so that no array is copied while it grows; pages never written cost
  // nothing.
  const std::size_t n = graph.num_vertices();
  out.singles.reserve(n);
  out.members.reserve(n);
  out.ends.reserve(n / 2);
  ComponentWalk(graph, out).run();
  return out;
}

}  // namespace quiverlane
