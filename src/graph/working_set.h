// WorkingSet: a vertex set for an operation's own bookkeeping (a ball being
// grown, the vertices already visited, a call's argument set).
//
// Such sets live for one operation, are only ever added to, and are probed
// far more often than they are walked, so speed beats memory: linear probing
// in a table at most half full, a multiply-shift hash (one multiplication,
// nothing recomputed while probing), and room for seven members inside the
// object itself so that small sets never touch the heap. VertexSet, built to
// be small as the millions of neighbour sets of a graph, pays for its
// compactness on every probe and every regrowth.
//
// The hash key decides the order in which members come out; a set given a
// random key (the argument set) thus has an unpredictable order of its own.
//
// Free slots hold kMaxVertex; that value is also a vertex, so when it is a
// member it is kept aside and comes out first or last, as the key says.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

#include "graph/vertex.h"
#include "graph/vertex_set.h"

namespace quiverlane {

struct WorkingSetKey {
  std::uint64_t offset = 0;
  // Must be odd. The default is 2^64 divided by the golden ratio, which
  // spreads consecutive ids evenly over the table.
  std::uint64_t multiplier = 0x9E3779B97F4A7C15ull;
  bool kept_aside_first = false;
};

class WorkingSet {
 public:
  explicit WorkingSet(const WorkingSetKey& key = {}) noexcept
      : slots_(inline_slots_),
        offset_(key.offset),
        multiplier_(key.multiplier | 1u),
        kept_aside_first_(key.kept_aside_first) {
    std::memset(inline_slots_, 0xFF, sizeof inline_slots_);
  }
  ~WorkingSet() { release(); }

  WorkingSet(WorkingSet&& other) noexcept
      : slots_(other.slots_),
        mask_(other.mask_),
        size_(other.size_),
        offset_(other.offset_),
        multiplier_(other.multiplier_),
        shift_(other.shift_),
        has_kept_aside_(other.has_kept_aside_),
        kept_aside_first_(other.kept_aside_first_) {
    if (other.slots_ == other.inline_slots_) {
      std::memcpy(inline_slots_, other.inline_slots_, sizeof inline_slots_);
      slots_ = inline_slots_;
    }
    other.slots_ = other.inline_slots_;
    other.mask_ = kInlineCapacity - 1;
    other.shift_ = kInlineShift;
    other.size_ = 0;
    other.has_kept_aside_ = false;
    std::memset(other.inline_slots_, 0xFF, sizeof other.inline_slots_);
  }
  WorkingSet& operator=(WorkingSet&&) = delete;
  WorkingSet(const WorkingSet&) = delete;
  WorkingSet& operator=(const WorkingSet&) = delete;

  std::size_t size() const noexcept { return size_; }
  bool empty() const noexcept { return size_ == 0; }

  bool contains(Vertex v) const noexcept {
    if (v == kFree) return has_kept_aside_;
    for (std::size_t i = home(v, shift_);; i = (i + 1) & mask_) {
      const Vertex occupant = slots_[i];
      if (occupant == v) return true;
      if (occupant == kFree) return false;
    }
  }

  // Starts loading v's slot, for an insertion or a lookup coming up soon.
  void prefetch(Vertex v) const noexcept { __builtin_prefetch(&slots_[home(v, shift_)]); }

  // Makes room for n members in all, so that inserting up to that many
  // cannot allocate. The set is unchanged if it throws.
  void reserve(std::size_t n) {
    if (n > max_load(mask_ + 1)) grow_for(n);
  }

  // True if v was not yet a member. May throw bad_alloc, leaving the set
  // unchanged.
  bool insert(Vertex v) {
    if (v == kFree) {
      if (has_kept_aside_) return false;
      has_kept_aside_ = true;
      ++size_;
      return true;
    }
    std::size_t i = home(v, shift_);
    for (;; i = (i + 1) & mask_) {
      const Vertex occupant = slots_[i];
      if (occupant == v) return false;
      if (occupant == kFree) break;
    }
    if (in_table() + 1 > max_load(mask_ + 1)) {
      grow_for(in_table() + 1);
      for (i = home(v, shift_); slots_[i] != kFree; i = (i + 1) & mask_) {
      }
    }
    slots_[i] = v;
    ++size_;
    return true;
  }

  // Calls f(v) for each member, in this set's own order.
  template <class F>
  void for_each(F&& f) const {
    if (has_kept_aside_ && kept_aside_first_) f(kFree);
    // Free and taken slots alternate at random, so a test per slot would be
    // mispredicted often; each block's members are first gathered without
    // a branch.
    constexpr std::size_t kBlock = 64;
    Vertex block[kBlock];
    for (std::size_t base = 0; base <= mask_; base += kBlock) {
      const std::size_t end = std::min(base + kBlock, mask_ + 1);
      std::size_t taken = 0;
      for (std::size_t i = base; i < end; ++i) {
        block[taken] = slots_[i];
        taken += slots_[i] != kFree ? 1 : 0;
      }
      for (std::size_t k = 0; k < taken; ++k) f(block[k]);
    }
    if (has_kept_aside_ && !kept_aside_first_) f(kFree);
  }

  // The member for_each yields first; the set must not be empty.
  Vertex first() const noexcept {
    if (has_kept_aside_ && kept_aside_first_) return kFree;
    for (std::size_t i = 0; i <= mask_; ++i)
      if (slots_[i] != kFree) return slots_[i];
    return kFree;  // the member kept aside is the only one
  }

  // The members as a VertexSet sized for them, built without regrowth.
  VertexSet to_vertex_set() const {
    VertexSet result;
    result.reserve(size_);
    for_each([&result](Vertex v) { result.insert_new(v); });
    return result;
  }

 private:
  static constexpr Vertex kFree = kMaxVertex;
  static constexpr std::size_t kInlineCapacity = 8;
  static constexpr unsigned kInlineShift = 64 - 3;

  static constexpr std::size_t max_load(std::size_t capacity) noexcept { return capacity / 2; }

  // The top bits of the product: those depend on every bit of the id.
  std::size_t home(Vertex v, unsigned shift) const noexcept {
    return static_cast<std::size_t>(((v ^ offset_) * multiplier_) >> shift);
  }
  std::size_t in_table() const noexcept { return size_ - (has_kept_aside_ ? 1 : 0); }

  void release() noexcept {
    if (slots_ != inline_slots_) std::free(slots_);
  }

  void grow_for(std::size_t n) {
    std::size_t capacity = 2 * (mask_ + 1);
    unsigned shift = shift_ - 1;
    while (max_load(capacity) < n) {
      if (shift <= 24) throw std::length_error("working set too large");
      capacity *= 2;
      --shift;
    }
    auto* table = static_cast<Vertex*>(std::malloc(capacity * sizeof(Vertex)));
    if (table == nullptr) throw std::bad_alloc();
    std::memset(table, 0xFF, capacity * sizeof(Vertex));
    const std::size_t mask = capacity - 1;
    for (std::size_t i = 0; i <= mask_; ++i) {
      const Vertex v = slots_[i];
      if (v == kFree) continue;
      std::size_t j = home(v, shift);
      while (table[j] != kFree) j = (j + 1) & mask;
      table[j] = v;
    }
    release();
    slots_ = table;
    mask_ = mask;
    shift_ = shift;
  }

  Vertex* slots_;
  std::size_t mask_ = kInlineCapacity - 1;
  std::size_t size_ = 0;
  std::uint64_t offset_;
  std::uint64_t multiplier_;
  unsigned shift_ = kInlineShift;
  bool has_kept_aside_ = false;
  bool kept_aside_first_;
  Vertex inline_slots_[kInlineCapacity];
};

// Inserts into a WorkingSet a few steps after each vertex is handed over,
// having started to load its slot meanwhile: a large set is not in cache,
// and inserting at once would wait on memory every time. on_new(v) is
// called for each vertex that was not yet a member, in the order given.
class DelayedInserts {
 public:
  static constexpr std::size_t kDelay = 8;

  explicit DelayedInserts(WorkingSet& set) noexcept : set_(set) {}

  template <class OnNew>
  void add(Vertex v, OnNew& on_new) {
    set_.prefetch(v);
    Vertex& at = waiting_[added_++ % kDelay];
    if (added_ > kDelay && set_.insert(at)) on_new(at);
    at = v;
  }

  template <class OnNew>
  void flush(OnNew& on_new) {
    for (std::size_t k = added_ > kDelay ? added_ - kDelay : 0; k < added_; ++k)
      if (set_.insert(waiting_[k % kDelay])) on_new(waiting_[k % kDelay]);
    added_ = 0;
  }

 private:
  WorkingSet& set_;
  std::size_t added_ = 0;
  Vertex waiting_[kDelay];
};

}  // namespace quiverlane
