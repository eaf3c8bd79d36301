// WorkingSet: a vertex set for an operation's own bookkeeping (a ball being
// grown, the vertices already visited, a call's argument set).
//
// Such sets live for one operation, are only ever added to, and are probed
// far more often than they are walked, so speed beats memory: a table at
// most half full with a multiply-shift hash (linear_probe.h, MaskedLayout),
// and room for eight slots inside the object itself so that small sets
// never touch the heap. VertexSet, built to be small as the millions of
// neighbour sets of a graph, pays for its compactness on every probe and
// every regrowth.
//
// The hash key decides the order in which members come out; a set given a
// random key (the argument set) thus has an unpredictable order of its own.
// The member kFreeKey, kept in the side slot, comes out first or last, as
// the key says.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "graph/linear_probe.h"
#include "graph/look_ahead.h"
#include "graph/vertex.h"
#include "graph/vertex_set.h"

namespace quiverlane {

struct WorkingSetKey : detail::MaskedHashKey {
  bool kept_aside_first = false;
};

class WorkingSet {
  using Layout = detail::MaskedLayout;
  using Probe = detail::SetProbe<Layout>;

 public:
  explicit WorkingSet(const WorkingSetKey& key = {}) noexcept
      : slots_(inline_slots_), layout_(key, kInlineShift), side_first_(key.kept_aside_first) {
    std::memset(inline_slots_, 0xFF, sizeof inline_slots_);
  }
  ~WorkingSet() { release(); }

  WorkingSet(WorkingSet&& other) noexcept
      : slots_(other.slots_),
        layout_(other.layout_),
        in_table_(other.in_table_),
        side_(other.side_),
        side_first_(other.side_first_) {
    if (other.slots_ == other.inline_slots_) {
      std::memcpy(inline_slots_, other.inline_slots_, sizeof inline_slots_);
      slots_ = inline_slots_;
    }
    other.slots_ = other.inline_slots_;
    other.layout_ = other.layout_.with_shift(kInlineShift);
    other.in_table_ = 0;
    other.side_.remove();
    std::memset(other.inline_slots_, 0xFF, sizeof other.inline_slots_);
  }
  WorkingSet& operator=(WorkingSet&&) = delete;
  WorkingSet(const WorkingSet&) = delete;
  WorkingSet& operator=(const WorkingSet&) = delete;

  std::size_t size() const noexcept { return in_table_ + side_.count(); }
  bool empty() const noexcept { return size() == 0; }

  bool contains(Vertex v) const noexcept {
    if (v == detail::kFreeKey) return side_.present();
    return Probe::locate(slots_, layout_, v).found;
  }

  // Starts loading v's slot, for an insertion or a lookup coming up soon.
  void prefetch(Vertex v) const noexcept { __builtin_prefetch(&slots_[layout_.home(v)]); }

  // Makes room for n members in all, so that inserting up to that many
  // cannot allocate. The set is unchanged if it throws.
  void reserve(std::size_t n) {
    if (n > Layout::max_load(layout_.capacity())) grow_for(n);
  }

  // True if v was not yet a member. May throw bad_alloc, leaving the set
  // unchanged.
  bool insert(Vertex v) {
    if (v == detail::kFreeKey) return side_.add();
    const auto home = [v](const Layout& layout) { return layout.home(v); };
    if (Probe::insert(*this, v, home, [v] { return v; }).found) return false;
    ++in_table_;
    return true;
  }

  // Calls f(v) for each member, in this set's own order.
  template <class F>
  void for_each(F&& f) const {
    if (side_.present() && side_first_) f(detail::kFreeKey);
    detail::for_each_gathered<64>(slots_, layout_.capacity(), f);
    if (side_.present() && !side_first_) f(detail::kFreeKey);
  }

  // The member for_each yields first; the set must not be empty.
  Vertex first() const noexcept {
    assert(!empty());
    if (side_.present() && side_first_) return detail::kFreeKey;
    for (std::size_t i = 0, cap = layout_.capacity(); i < cap; ++i)
      if (slots_[i] != detail::kFreeKey) return slots_[i];
    return detail::kFreeKey;  // the member in the side slot is the only one
  }

  // The members as a VertexSet sized for them, built without regrowth.
  VertexSet to_vertex_set() const {
    VertexSet result;
    result.reserve(size());
    for_each([&result](Vertex v) { result.insert_new(v); });
    return result;
  }

 private:
  static constexpr std::size_t kInlineCapacity = 8;
  static constexpr unsigned kInlineShift = 64 - 3;
  static_assert(std::size_t{1} << (64 - kInlineShift) == kInlineCapacity);
  // No table of 2^40 slots or more is ever asked for.
  static constexpr unsigned kMinShift = 24;

  template <class, class, class>
  friend struct detail::Probe;
  Vertex* probe_slots() const noexcept { return slots_; }
  const Layout& probe_layout() const noexcept { return layout_; }
  bool probe_full() const noexcept { return in_table_ + 1 > Layout::max_load(layout_.capacity()); }
  void probe_grow() { grow_for(in_table_ + 1); }

  void release() noexcept {
    if (slots_ != inline_slots_) std::free(slots_);
  }

  void grow_for(std::size_t n) {
    unsigned shift = layout_.shift() - 1;
    while (Layout::max_load(std::size_t{1} << (64 - shift)) < n) {
      if (shift <= kMinShift) detail::throw_too_large("working set too large");
      --shift;
    }
    const Layout layout = layout_.with_shift(shift);
    Vertex* table = detail::allocate_slots<Vertex>(layout.capacity());
    std::memset(table, 0xFF, layout.capacity() * sizeof(Vertex));  // every slot kFreeKey
    Probe::place_all(slots_, layout_.capacity(), table, layout);
    release();
    slots_ = table;
    layout_ = layout;
  }

  Vertex* slots_;
  Layout layout_;
  std::size_t in_table_ = 0;
  detail::SideSlot<> side_;
  bool side_first_;
  Vertex inline_slots_[kInlineCapacity];
};

// Inserts into a WorkingSet a few steps after each vertex is handed over,
// having started to load its slot meanwhile: a large set is not in cache,
// and inserting at once would wait on memory every time. on_new(v) is
// called for each vertex that was not yet a member, in the order given.
class DelayedInserts {
 public:
  explicit DelayedInserts(WorkingSet& set) noexcept : set_(set) {}

  template <class OnNew>
  void add(Vertex v, OnNew& on_new) {
    set_.prefetch(v);
    Vertex due;
    if (waiting_.push(v, due) && set_.insert(due)) on_new(due);
  }

  template <class OnNew>
  void flush(OnNew& on_new) {
    waiting_.drain([&](Vertex w) {
      if (set_.insert(w)) on_new(w);
    });
  }

 private:
  WorkingSet& set_;
  look_ahead::DelayLine<Vertex, look_ahead::kInserts> waiting_;
};

}  // namespace quiverlane
