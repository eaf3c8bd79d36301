// Walking a graph by adjacency slots, with many memory loads in flight.
//
// Every step of a traversal of a large graph waits on memory: the slot of
// each neighbour, the entry of each vertex to expand and its neighbour
// table. Taken one after another, each costs a full memory latency. Two
// tools overlap them instead:
//
//  - SlotFinder resolves vertices to their adjacency slots a fixed number of
//    lookups after it was handed them: each vertex is hashed once and its
//    home slot prefetched on arrival, and probed only when later arrivals
//    push it out, by which time its slot has come in from memory.
//  - SlotQueue holds the slot indices of the vertices to expand, so a vertex
//    found once is never looked up again, and loads the entries and tables
//    of the vertices queued a little further on while it expands one.
//
// Slot indices are those of VertexMap::slot_limit(); they stay valid while
// the graph does not change, which holds for the length of one query. Both
// count their work for check_interrupt(): they only ever read the graph.
#pragma once

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "graph/graph.h"
#include "graph/vertex.h"
#include "support/interrupt.h"

namespace quiverlane {

class SlotFinder {
 public:
  // Lookups in flight: enough to cover a memory latency with the work of
  // hashing the ones behind, few enough to stay in registers and L1.
  static constexpr std::size_t kInFlight = 16;

  explicit SlotFinder(const AdjacencyMap& adjacency) noexcept : adjacency_(adjacency) {}

  // Queues v; some later push() or drain() calls found(slot, v) for it,
  // slot being detail::kNotFound when v is not a vertex.
  template <class Found>
  void push(Vertex v, Found& found) {
    push_hashed(v, table_hash(v), found);
  }
  // The same, with v's table_hash() already worked out.
  template <class Found>
  void push_hashed(Vertex v, std::uint32_t hash, Found& found) {
    poll_.tick();
    adjacency_.prefetch_hashed(hash);
    const std::size_t at = pushed_ % kInFlight;
    if (pushed_ >= kInFlight) resolve(at, found);
    vertices_[at] = v;
    hashes_[at] = hash;
    ++pushed_;
  }

  // Resolves everything still queued, in the order it was pushed.
  template <class Found>
  void drain(Found& found) {
    for (std::size_t k = pushed_ > kInFlight ? pushed_ - kInFlight : 0; k < pushed_; ++k)
      resolve(k % kInFlight, found);
    pushed_ = 0;
  }

 private:
  template <class Found>
  void resolve(std::size_t at, Found& found) {
    found(adjacency_.slot_of_hashed(vertices_[at], hashes_[at]), vertices_[at]);
  }

  const AdjacencyMap& adjacency_;
  InterruptPoll poll_;
  std::size_t pushed_ = 0;
  Vertex vertices_[kInFlight];
  std::uint32_t hashes_[kInFlight];
};

class SlotQueue {
 public:
  // How far ahead of the vertex being expanded its successors' entries,
  // and then their neighbour tables, are loaded. The entry must be in
  // before its table's address can be read.
  static constexpr std::size_t kEntryAhead = 16;
  static constexpr std::size_t kTableAhead = 8;

  explicit SlotQueue(const AdjacencyMap& adjacency) noexcept : adjacency_(adjacency) {}
  SlotQueue(const SlotQueue&) = delete;
  SlotQueue& operator=(const SlotQueue&) = delete;

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

  // Calls f(entry) for the adjacency entry of every vertex queued in
  // [begin, end), in queue order. f may push more slots.
  template <class F>
  void visit(std::size_t begin, std::size_t end, F&& f) {
    for (std::size_t i = begin; i < end; ++i) {
      if (i + kEntryAhead < end) adjacency_.prefetch_slot(slots_[i + kEntryAhead]);
      if (i + kTableAhead < end) adjacency_.entry_at_slot(slots_[i + kTableAhead]).value.prefetch_table();
      const AdjacencyMap::Entry& entry = adjacency_.entry_at_slot(slots_[i]);
      poll_.tick(static_cast<std::int64_t>(entry.value.size()) + 1);
      f(entry);
    }
  }

  // Calls f(w) for every neighbour w of every vertex queued in [begin, end),
  // in queue order. f may push more slots.
  template <class F>
  void expand(std::size_t begin, std::size_t end, F&& f) {
    visit(begin, end, [&f](const AdjacencyMap::Entry& entry) { entry.value.for_each_gathered(f); });
  }

 private:
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

  const AdjacencyMap& adjacency_;
  InterruptPoll poll_;
  std::size_t inline_slots_[kInline];
  std::vector<std::size_t> heap_;
  std::size_t* slots_ = inline_slots_;
  std::size_t size_ = 0;
  std::size_t capacity_ = kInline;
};

}  // namespace quiverlane
