// Traversal: how algorithms walk a graph, with many memory loads in flight.
//
// A traversal hands its algorithm a vertex and its neighbour set, never the
// graph's tables, and owns the look-ahead (look_ahead.h) that keeps a walk
// of a large graph from waiting on memory at every step:
//
//  - find() resolves vertices to their slots in the graph a fixed number
//    of lookups after it was handed them: each vertex is hashed once and
//    its home slot starts loading on arrival, and it is probed only when
//    later arrivals push it out, by which time its slot has come in.
//  - A queue of slots to expand, so a vertex found once is never looked up
//    again; visiting it loads the entries, then the neighbour tables, of
//    the vertices queued a little further on.
//  - sweep() walks every vertex in slot order, handing a caller's
//    look-ahead the vertex some slots further on.
//
// A slot is a number below slot_limit(), fixed until the graph next
// changes, which holds for the length of one query: algorithms may keep
// marks by slot. A traversal only ever reads the graph, and counts its
// work for check_interrupt().
#pragma once

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "graph/graph.h"
#include "graph/look_ahead.h"
#include "graph/vertex.h"
#include "graph/vertex_set.h"
#include "support/interrupt.h"

namespace quiverlane {

class Traversal {
 public:
  // What find() reports for a vertex that is not in the graph.
  static constexpr std::size_t kAbsent = detail::kNotFound;

  explicit Traversal(const Graph& graph) noexcept : adjacency_(graph.adjacency_) {}
  Traversal(const Traversal&) = delete;
  Traversal& operator=(const Traversal&) = delete;

  // Every slot is below this.
  std::size_t slot_limit() const noexcept { return adjacency_.slot_limit(); }

  // Finding. Some later find() or finish_finding() calls found(slot, v)
  // for v, slot being kAbsent when v is not a vertex; in the order found
  // was handed them.
  template <class Found>
  void find(Vertex v, Found& found) {
    find_hashed(v, table_hash(v), found);
  }
  // The same, with v's table_hash() already worked out.
  template <class Found>
  void find_hashed(Vertex v, std::uint32_t hash, Found& found) {
    poll_.tick();
    adjacency_.prefetch_hashed(hash);
    Lookup due;
    if (lookups_.push({v, hash}, due)) resolve(due, found);
  }
  // Resolves every vertex still being found.
  template <class Found>
  void finish_finding(Found& found) {
    lookups_.drain([&](const Lookup& lookup) { resolve(lookup, found); });
  }

  // The queue of slots to expand.
  void clear() noexcept { size_ = 0; }
  void push(std::size_t slot) {
    if (size_ == capacity_) grow();
    slots_[size_++] = slot;
  }
  std::size_t size() const noexcept { return size_; }
  std::size_t operator[](std::size_t i) const noexcept {
    assert(i < size_);
    return slots_[i];
  }

  // The sizes of the neighbour sets of the vertices queued in [begin, end),
  // added up: an upper bound on what expanding them can find.
  std::size_t reach(std::size_t begin, std::size_t end) const noexcept {
    std::size_t total = 0;
    for (std::size_t i = begin; i < end; ++i) total += adjacency_.entry_at_slot(slots_[i]).value.size();
    return total;
  }

  // Calls f(u, neighbours of u) for every vertex u queued in [begin, end),
  // in queue order. f may push more slots.
  //
  // visit() and sweep() spell their look-ahead out rather than go through
  // look_ahead::walk_ahead(): inlined into subgraph(), GCC 12 compiled the
  // stages of that form without their prefetches, and subgraph() and the
  // neighbourhoods ran 1.15-1.5x slower than with the loop written out.
  template <class F>
  void visit(std::size_t begin, std::size_t end, F&& f) {
    for (std::size_t i = begin; i < end; ++i) {
      if (i + look_ahead::kEntries < end) adjacency_.prefetch_slot(slots_[i + look_ahead::kEntries]);
      if (i + look_ahead::kTables < end) adjacency_.entry_at_slot(slots_[i + look_ahead::kTables]).value.prefetch_table();
      const auto& entry = adjacency_.entry_at_slot(slots_[i]);
      poll_.tick(static_cast<std::int64_t>(entry.value.size()) + 1);
      f(entry.key, entry.value);
    }
  }

  // Calls f(w) for every neighbour w of every vertex queued in [begin, end),
  // in queue order. f may push more slots.
  template <class F>
  void expand(std::size_t begin, std::size_t end, F&& f) {
    visit(begin, end, [&f](Vertex, const VertexSet& around) { around.for_each_gathered(f); });
  }

  // O(slot_limit()): calls f(slot, u, neighbours of u) for every vertex
  // in slot order, and before each slot ahead(...) likewise for the
  // vertex `Distance` slots further on, if there is one.
  template <std::size_t Distance, class Ahead, class F>
  void sweep(Ahead&& ahead, F&& f) const {
    for (std::size_t slot = 0, limit = adjacency_.slot_limit(); slot < limit; ++slot) {
      if (slot + Distance < limit && adjacency_.occupied(slot + Distance)) {
        const auto& later = adjacency_.entry_at_slot(slot + Distance);
        ahead(slot + Distance, later.key, later.value);
      }
      if (!adjacency_.occupied(slot)) continue;
      const auto& entry = adjacency_.entry_at_slot(slot);
      f(slot, entry.key, entry.value);
    }
  }


 private:
  struct Lookup {
    Vertex vertex;
    std::uint32_t hash;
  };

  template <class Found>
  void resolve(const Lookup& lookup, Found& found) {
    found(adjacency_.slot_of_hashed(lookup.vertex, lookup.hash), lookup.vertex);
  }

  // Most queries queue a handful of vertices: those stay inside the object,
  // so that a small query allocates nothing here.
  static constexpr std::size_t kInline = 8;

  void grow() {
    std::vector<std::size_t> larger(capacity_ * 2);
    std::copy(slots_, slots_ + size_, larger.begin());
    heap_.swap(larger);
    slots_ = heap_.data();
    capacity_ = heap_.size();
  }

  const Graph::AdjacencyMap& adjacency_;
  InterruptPoll poll_;
  look_ahead::DelayLine<Lookup, look_ahead::kLookups> lookups_;
  std::size_t inline_slots_[kInline];
  std::vector<std::size_t> heap_;
  std::size_t* slots_ = inline_slots_;
  std::size_t size_ = 0;
  std::size_t capacity_ = kInline;
};

}  // namespace quiverlane
