// Look-ahead: how the walks over a large graph keep memory loads in flight.
//
// Every step of a walk over a graph that does not fit in cache waits on
// memory: a vertex's adjacency slot, then its neighbour table. Taken one
// after another, each costs a full memory latency. Each walk instead starts
// loading what it will need some steps before it needs it, in one of two
// shapes written once here:
//
//  - walk_ahead(): a walk over positions known in advance (slots of a
//    table, a queue): before position i, each stage starts loading what
//    position i + its distance will need.
//  - DelayLine: a stream whose items come one at a time (vertices to look
//    up, members to insert): each is started on arrival and finished a
//    fixed number of arrivals later.
//
// The distances all live below, so that they are tuned in one place. Too
// short and the loads are not in when needed; too long and what came in is
// pushed out of the first-level cache before it is used.
#pragma once

#include <cstddef>

namespace quiverlane::look_ahead {

// Vertices hashed, with their home slot loading, before each is probed:
// enough to cover a memory latency with the hashing of those behind, few
// enough to stay in registers and L1.
inline constexpr std::size_t kLookups = 16;
// A queued vertex's adjacency entry, then its neighbour table: the entry
// must be in before the table's address can be read.
inline constexpr std::size_t kEntries = 16;
inline constexpr std::size_t kTables = 8;
// A sweep of every vertex in slot order (edges()): the entries come in
// order by themselves, so only the neighbour tables are loaded ahead, and
// from further off.
inline constexpr std::size_t kSweepTables = 16;
// Members inserted into an operation's own set after their slot has loaded.
inline constexpr std::size_t kInserts = 8;
// The seeds of the components walk: most components of a sparse graph are
// tiny, so a seed's step is short and the distance long.
inline constexpr std::size_t kSeeds = 256;
// copy(): a vertex's neighbour table, loaded before it is cloned.
inline constexpr std::size_t kClones = 16;
// Building (graph_builder.cpp): arcs ahead whose adjacency slot loads while
// the sweep finds their sources, runs ahead whose append point loads, and
// slots ahead of finish() whose list loads before it is hashed.
inline constexpr std::size_t kBuildSlots = 16;
inline constexpr std::size_t kBuildLists = 8;
inline constexpr std::size_t kBuildHashes = 8;

// One stage of walk_ahead(): load(i) for the position Distance ahead.
template <std::size_t Distance, class Load>
struct Stage {
  Load load;
};
template <std::size_t Distance, class Load>
Stage<Distance, Load> stage(Load load) {
  return {load};
}

namespace detail {
template <std::size_t Distance, class Load>
[[gnu::always_inline]] inline void run_stage(Stage<Distance, Load>& stage, std::size_t i, std::size_t end) {
  if (i + Distance < end) stage.load(i + Distance);
}
}  // namespace detail

// Calls visit(i) for every i in [begin, end), in order; before each, every
// stage's load(i + distance) when that position is below end.
//
// Always inlined, with its stages: the loop is its caller's hot loop. Left
// to the compiler it was kept a function of its own, and the components
// walk of a grid took 1.7-1.9 times as long for fewer instructions.
template <class Visit, class... Stages>
[[gnu::always_inline]] inline void walk_ahead(std::size_t begin, std::size_t end, Visit&& visit, Stages... stages) {
  for (std::size_t i = begin; i < end; ++i) {
    (detail::run_stage(stages, i, end), ...);
    visit(i);
  }
}

// Holds the last Depth items pushed. push() hands back the item pushed
// Depth calls before, drain() those still held, oldest first: every item
// comes back once, in the order pushed.
template <class Item, std::size_t Depth>
class DelayLine {
 public:
  // Takes item; true with `due` set when an item falls due.
  bool push(const Item& item, Item& due) noexcept {
    Item& at = items_[pushed_++ % Depth];
    due = at;
    at = item;
    return pushed_ > Depth;
  }

  template <class Ready>
  void drain(Ready&& ready) {
    for (std::size_t k = pushed_ > Depth ? pushed_ - Depth : 0; k < pushed_; ++k) ready(items_[k % Depth]);
    pushed_ = 0;
  }

 private:
  std::size_t pushed_ = 0;
  // Zeroed, so that the items handed back before the line fills are
  // defined values, which push() copies but its caller ignores.
  Item items_[Depth]{};
};

}  // namespace quiverlane::look_ahead
