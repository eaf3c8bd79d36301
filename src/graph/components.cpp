#include "graph/components.h"

#include <algorithm>

#include "graph/bitmap.h"
#include "graph/look_ahead.h"
#include "graph/traversal.h"
#include "graph/working_set.h"
#include "support/interrupt.h"

namespace quiverlane {

namespace {

// Marks of the vertices already in a component, in two forms. By slot, for
// the seeds: the sweep meets them in slot order, so their marks are read in
// order too. By id, for the neighbours a component's walk reaches: each
// vertex is reached once from every neighbour, and telling by id that it
// was already reached spares a hash and a probe of the adjacency table to
// find its slot, so only a vertex reached for the first time is looked up.
// Small ids, as most real data sets have, are marked in a bitmap; other
// ids in a working set, a table of four bytes per slot and multiply-shift
// hashing where the adjacency table has twenty bytes per slot.
class Marks {
 public:
  // Ids below this many per slot count as small.
  static constexpr std::size_t kSmallIdsPerSlot = 8;

  explicit Marks(const Traversal& walk)
      : small_bound_(std::min(kSmallIdsPerSlot * walk.slot_limit(), std::size_t{kMaxVertex} + 1)),
        by_id_(small_bound_),
        by_slot_(walk.slot_limit()) {}

  bool seen(std::size_t slot) const noexcept { return by_slot_.test(slot); }
  void mark_slot(std::size_t slot) noexcept { by_slot_.set(slot); }
  bool small(Vertex v) const noexcept { return v < small_bound_; }
  // True if small v was not yet marked.
  bool mark_small(Vertex v) noexcept { return by_id_.set(v); }
  // The marks of the ids that are not small. Only a graph with such ids
  // needs them, so the room for them is made when the first one seeds a
  // component: at most `most` of them, the vertices with a neighbour.
  WorkingSet& large() noexcept { return large_; }
  void make_room_for_large(std::size_t most) {
    if (large_.empty()) large_.reserve(most);
  }

 private:
  std::size_t small_bound_;
  Bitmap by_id_;
  Bitmap by_slot_;
  WorkingSet large_;
};

struct ComponentWalk {
  ComponentWalk(const Graph& graph, VertexGroups& out)
      : graph(graph), walk(graph), marks(walk), out(out), inserts(marks.large()) {}

  // The callback of walk.find(): w is reached for the first time.
  void operator()(std::size_t slot, Vertex w) {
    marks.mark_slot(slot);
    walk.push(slot);
    out.members.push_back(w);
  }

  // Breadth first from the seed, a level at a time; every member lands in
  // out.members once.
  void grow(std::size_t seed_slot, Vertex seed) {
    marks.mark_slot(seed_slot);
    if (marks.small(seed)) {
      marks.mark_small(seed);
    } else {
      marks.make_room_for_large(std::min<std::size_t>(graph.num_vertices(), 2 * graph.num_edges()));
      marks.large().insert(seed);
    }
    out.members.push_back(seed);
    walk.clear();
    walk.push(seed_slot);
    auto on_new = [this](Vertex w) { walk.find(w, *this); };
    auto on_neighbour = [&](Vertex w) {
      if (!marks.small(w))
        inserts.add(w, on_new);
      else if (marks.mark_small(w))
        walk.find(w, *this);
    };
    for (std::size_t next = 0; next < walk.size();) {
      const std::size_t end = walk.size();
      walk.expand(next, end, on_neighbour);
      inserts.flush(on_new);
      walk.finish_finding(*this);
      next = end;
    }
  }

  // Seeds are met in slot order, and most components of a sparse graph are
  // tiny: each would wait on memory for its first neighbours, one component
  // after another. So the neighbours of a seed some slots ahead are loaded
  // early, unless that seed is already in a component.
  void prefetch_seed(std::size_t slot, const VertexSet& around) {
    if (around.empty() || marks.seen(slot)) return;
    if (around.size() <= VertexSet::kInlineCapacity)
      around.for_each([this](Vertex w) { graph.prefetch(w); });
    else
      around.prefetch_table();
  }

  void run() {
    InterruptPoll poll;
    walk.sweep<look_ahead::kSeeds>(
        [this](std::size_t slot, Vertex, const VertexSet& around) { prefetch_seed(slot, around); },
        [&](std::size_t slot, Vertex u, const VertexSet& around) {
          poll.tick();
          if (around.empty() || (around.size() == 1 && around.tagged())) {
            // No other vertex reaches this one, so it needs no mark.
            out.singles.push_back(u);
          } else if (!marks.seen(slot)) {
            grow(slot, u);
            out.close_group();
          }
        });
  }

  const Graph& graph;
  Traversal walk;
  Marks marks;
  VertexGroups& out;
  DelayedInserts inserts;
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
