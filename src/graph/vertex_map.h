// VertexMap<V>: a hash map from vertex id to V, for the adjacency and degree
// maps of the store.
//
// Entries {key, value} sit directly in a linear-probing table (linear_probe.h,
// ScaledLayout); a new map owns no storage. The entry whose key is kFreeKey
// lives in the side slot. The table never shrinks.
//
// V must be trivially relocatable, and all-zero bytes must be a valid V that
// owns nothing: free slots hold such a value, so growing and shifting are
// plain byte moves and only occupied entries are ever destroyed. Both
// VertexSet and the integer degree qualify.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

#include "graph/bitmap.h"
#include "graph/linear_probe.h"
#include "graph/look_ahead.h"
#include "graph/vertex.h"
#include "support/interrupt.h"

namespace quiverlane {

template <class V>
class VertexMap {
 public:
  struct Entry {
    Vertex key;
    V value;
  };

  VertexMap() noexcept = default;
  VertexMap(const VertexMap&) = delete;
  VertexMap& operator=(const VertexMap&) = delete;
  VertexMap(VertexMap&& other) noexcept { steal(other); }
  VertexMap& operator=(VertexMap&& other) noexcept {
    if (this != &other) {
      destroy();
      steal(other);
    }
    return *this;
  }
  ~VertexMap() { destroy(); }

  std::size_t size() const noexcept { return table_size_ + side_.count(); }
  bool empty() const noexcept { return size() == 0; }

  V* find(Vertex key) noexcept {
    if (key == detail::kFreeKey) return side_value();
    if (slots_ == nullptr) return nullptr;
    const std::size_t index = Probe::find(slots_, layout(), key);
    return index == detail::kNotFound ? nullptr : &slots_[index].value;
  }
  const V* find(Vertex key) const noexcept { return const_cast<VertexMap*>(this)->find(key); }
  // The same, with the key's table_hash() already worked out.
  V* find_hashed(Vertex key, std::uint32_t hash) noexcept {
    assert(hash == table_hash(key));
    if (key == detail::kFreeKey) return side_value();
    if (slots_ == nullptr) return nullptr;
    const auto spot = Probe::locate_from(slots_, layout(), key, layout().home_of_hash(hash));
    return spot.found ? &slots_[spot.index].value : nullptr;
  }
  const V* find_hashed(Vertex key, std::uint32_t hash) const noexcept {
    return const_cast<VertexMap*>(this)->find_hashed(key, hash);
  }
  bool contains(Vertex key) const noexcept { return find(key) != nullptr; }

  // Starts loading key's home slot, so that several lookups into large maps
  // overlap their cache misses instead of paying for them one after another.
  void prefetch(Vertex key) const noexcept {
    if (slots_ != nullptr) __builtin_prefetch(&slots_[layout().home(key)]);
  }

  // Makes room for n entries in all, so that inserting up to that many cannot
  // allocate. The contents are unchanged whether or not it throws.
  void reserve(std::size_t n) {
    if (slots_ == nullptr) {
      if (n > 0) rehash(Layout::size_index_for(n));
    } else if (n > Layout::max_load(capacity_)) {
      rehash(Layout::size_index_for(n, size_index_ + 1));
    }
  }

  // Whether inserting n more keys could grow the table.
  bool could_grow_by(std::size_t n) const noexcept {
    return slots_ == nullptr || table_size_ + n > Layout::max_load(capacity_);
  }
  // Starts loading the home slot of a key whose table_hash() is given.
  void prefetch_hashed(std::uint32_t hash) const noexcept {
    if (slots_ != nullptr) __builtin_prefetch(&slots_[layout().home_of_hash(hash)]);
  }

  // Inserts key with a zero value unless present. Returns the value and
  // whether it was inserted. May throw bad_alloc, leaving the map unchanged.
  // Any insertion may move other entries: earlier pointers become invalid.
  std::pair<V*, bool> try_emplace(Vertex key) { return try_emplace_hashed(key, table_hash(key)); }

  // The same, with the key's table_hash() already worked out.
  std::pair<V*, bool> try_emplace_hashed(Vertex key, std::uint32_t hash) {
    assert(hash == table_hash(key));
    if (key != detail::kFreeKey && slots_ != nullptr) {
      const auto home = [hash](const Layout& layout) { return layout.home_of_hash(hash); };
      const auto spot = Probe::insert(*this, key, home, [key] { return entry_for(key); });
      if (!spot.found) ++table_size_;
      return {&slots_[spot.index].value, !spot.found};
    }
    if (V* found = find(key)) return {found, false};
    reserve(size() + 1);
    return {emplace_absent(key), true};
  }

  // A map with the same capacity and the same entries in the same slots: the
  // slot array is copied as a block and each value replaced by
  // clone_value(value). Walking in slot order, and calling prefetch(value)
  // for the value Distance slots ahead, keeps the copy bound by bandwidth rather
  // than by one cache miss per entry. If a clone throws (or the caller
  // interrupts it), the values not yet cloned are still the source's and
  // are forgotten, never released.
  template <std::size_t Distance, class CloneValue, class Prefetch>
  VertexMap clone(CloneValue&& clone_value, Prefetch&& prefetch) const {
    VertexMap copy;
    if (side_.present()) {
      copy.side_.payload().value = clone_value(side_.payload().value);
      copy.side_.add();
    }
    if (slots_ == nullptr) return copy;
    const std::size_t capacity = capacity_;
    Entry* table = detail::allocate_slots<Entry>(capacity);
    std::memcpy(static_cast<void*>(table), slots_, capacity * sizeof(Entry));
    copy.slots_ = table;
    copy.capacity_ = capacity_;
    copy.size_index_ = size_index_;
    copy.table_size_ = table_size_;
    std::size_t i = 0;
    InterruptPoll poll;
    try {
      look_ahead::walk_ahead(
          0, capacity,
          [&](std::size_t at) {
            i = at;
            poll.tick();
            if (table[at].key != detail::kFreeKey) new (&table[at].value) V(clone_value(slots_[at].value));
          },
          look_ahead::stage<Distance>([&](std::size_t at) {
            if (slots_[at].key != detail::kFreeKey) prefetch(slots_[at].value);
          }));
    } catch (...) {
      for (; i < capacity; ++i) clear_entry(table[i]);  // still the source's
      throw;
    }
    return copy;
  }

  // Removes key, destroying its value; false if it was absent.
  bool erase(Vertex key) noexcept {
    if (key == detail::kFreeKey) {
      if (!side_.present()) return false;
      side_.payload().value.~V();
      reset_side();
      return true;
    }
    if (slots_ == nullptr) return false;
    const std::size_t index = Probe::find(slots_, layout(), key);
    if (index == detail::kNotFound) return false;
    slots_[index].value.~V();
    Probe::erase_at(slots_, layout(), index, free_entry());
    --table_size_;
    return true;
  }

  // Calls f(key, value) for each entry, in the map's iteration order.
  template <class F>
  void for_each(F&& f) {
    for (std::size_t i = 0, cap = capacity(); i < cap; ++i)
      if (slots_[i].key != detail::kFreeKey) f(slots_[i].key, slots_[i].value);
    if (side_.present()) f(side_.payload().key, side_.payload().value);
  }
  // The same, calling ahead(value) for the entry Distance slots further
  // on before each f(key, value): a walk that loads what the values point
  // to a little ahead of using it.
  template <std::size_t Distance, class Ahead, class F>
  void for_each_ahead(Ahead&& ahead, F&& f) {
    look_ahead::walk_ahead(
        0, capacity(),
        [&](std::size_t i) {
          if (slots_[i].key != detail::kFreeKey) f(slots_[i].key, slots_[i].value);
        },
        look_ahead::stage<Distance>([&](std::size_t i) {
          if (slots_[i].key != detail::kFreeKey) ahead(slots_[i].value);
        }));
    if (side_.present()) f(side_.payload().key, side_.payload().value);
  }
  template <class F>
  void for_each(F&& f) const {
    const_cast<VertexMap*>(this)->for_each(
        [&f](Vertex key, V& value) { f(key, static_cast<const V&>(value)); });
  }

  // Read-only access by slot index, for traversals that queue entries rather
  // than keys, so that a vertex found once is never looked up again. Indices
  // run below slot_limit(); the last one names the side entry. An index is
  // valid until the map next changes.
  std::size_t slot_limit() const noexcept { return capacity() + 1; }
  bool occupied(std::size_t index) const noexcept {
    assert(index < slot_limit());
    return index < capacity() ? slots_[index].key != detail::kFreeKey : side_.present();
  }
  const Entry& entry_at_slot(std::size_t index) const noexcept {
    assert(occupied(index));
    return index < capacity() ? slots_[index] : side_.payload();
  }
  void prefetch_slot(std::size_t index) const noexcept {
    if (index < capacity()) __builtin_prefetch(&slots_[index]);
  }
  // The slot of key, whose table_hash() is given, or kNotFound.
  std::size_t slot_of_hashed(Vertex key, std::uint32_t hash) const noexcept {
    assert(hash == table_hash(key));
    if (key == detail::kFreeKey) return side_.present() ? capacity() : detail::kNotFound;
    if (slots_ == nullptr) return detail::kNotFound;
    const auto spot = Probe::locate_from(slots_, layout(), key, layout().home_of_hash(hash));
    return spot.found ? spot.index : detail::kNotFound;
  }

  // The map made over into a map to W in place: the same keys in the same
  // slots, each value v replaced by make(key, v), which takes over what v
  // owns. W must be laid out as V is (the same size and alignment, all-zero
  // bytes a W that owns nothing). Walks in slot order, calling ahead(value)
  // for the entry Distance slots further on before each make(). If make()
  // throws, it must leave its v as it was: the values made and those not
  // yet made are then released, and this map is left empty either way.
  template <class W, std::size_t Distance, class Ahead, class Make>
  VertexMap<W> convert(Ahead&& ahead, Make&& make) && {
    using Other = typename VertexMap<W>::Entry;
    static_assert(sizeof(Other) == sizeof(Entry) && alignof(Other) == alignof(Entry) &&
                  offsetof(Other, value) == offsetof(Entry, value));
    VertexMap<W> result;
    VertexMap source(std::move(*this));
    auto* made = reinterpret_cast<Other*>(source.slots_);
    std::size_t i = 0;
    const std::size_t capacity = source.capacity();
    try {
      if (source.side_.present()) {
        result.side_.payload().value = make(detail::kFreeKey, source.side_.payload().value);
        result.side_.add();
        source.side_.payload().value.~V();
        source.reset_side();
      }
      look_ahead::walk_ahead(
          0, capacity,
          [&](std::size_t at) {
            i = at;
            if (source.slots_[at].key == detail::kFreeKey) return;
            W value = make(source.slots_[at].key, source.slots_[at].value);
            source.slots_[at].value.~V();
            new (&made[at].value) W(std::move(value));
          },
          look_ahead::stage<Distance>([&](std::size_t at) {
            if (source.slots_[at].key != detail::kFreeKey) ahead(source.slots_[at].value);
          }));
    } catch (...) {
      // Slots before i hold values made, the rest the source's own.
      for (std::size_t k = 0; k < i; ++k)
        if (made[k].key != detail::kFreeKey) made[k].value.~W();
      for (std::size_t k = 0; k < i; ++k) clear_entry(source.slots_[k]);
      throw;  // `source` releases the rest and the table
    }
    result.slots_ = made;
    result.capacity_ = source.capacity_;
    result.size_index_ = source.size_index_;
    result.table_size_ = source.table_size_;
    source.slots_ = nullptr;
    source.table_size_ = 0;
    return result;
  }

  // Bytes of table storage owned by the map itself (not by its values).
  std::size_t table_bytes() const noexcept { return capacity() * sizeof(Entry); }

 private:
  template <class>
  friend class VertexMap;

  struct KeyOf {
    static Vertex get(const Entry& entry) noexcept { return entry.key; }
  };
  using Layout = detail::ScaledLayout;
  using Probe = detail::Probe<Entry, KeyOf, Layout>;

  static Entry entry_for(Vertex key) noexcept {
    Entry entry = free_entry();
    entry.key = key;
    return entry;
  }
  static Entry free_entry() noexcept {
    Entry entry;
    clear_entry(entry);
    return entry;
  }
  static void clear_entry(Entry& entry) noexcept {
    std::memset(static_cast<void*>(&entry), 0, sizeof entry);
    entry.key = detail::kFreeKey;
  }

  template <class, class, class>
  friend struct detail::Probe;
  Entry* probe_slots() const noexcept { return slots_; }
  Layout probe_layout() const noexcept { return layout(); }
  // The side entry counts against the load limit as reserve() counts it,
  // so that every road to a new entry stops at the same cap.
  bool probe_full() const noexcept { return size() + 1 > Layout::max_load(capacity_); }
  void probe_grow() { reserve(size() + 1); }

  std::size_t capacity() const noexcept { return slots_ == nullptr ? 0 : capacity_; }
  Layout layout() const noexcept { return Layout(capacity_); }
  V* side_value() noexcept { return side_.present() ? &side_.payload().value : nullptr; }

  V* emplace_absent(Vertex key) noexcept {
    assert(find(key) == nullptr);
    if (key == detail::kFreeKey) {
      side_.add();
      return &side_.payload().value;
    }
    assert(table_size_ + 1 <= Layout::max_load(capacity_));
    ++table_size_;
    return &slots_[Probe::place(slots_, layout(), entry_for(key))].value;
  }

  // Tables from this many slots (1.3 MB of sets) grow in place
  // (grow_in_place()); smaller ones are copied into a new table, which
  // costs fewer steps and no more memory than the allocator holds anyway.
  static constexpr std::size_t kGrowInPlaceFrom = std::size_t{1} << 16;

  void rehash(unsigned size_index) {
    if (slots_ != nullptr && capacity_ >= kGrowInPlaceFrom) return grow_in_place(size_index);
    const Layout layout(Layout::capacity_at(size_index));
    Entry* table = detail::allocate_slots<Entry>(layout.capacity());
    for (std::size_t i = 0; i < layout.capacity(); ++i) clear_entry(table[i]);
    Probe::place_all(slots_, capacity(), table, layout);
    std::free(slots_);
    slots_ = table;
    capacity_ = layout.capacity();
    size_index_ = size_index;
  }

  struct FreeSlots {
    void operator()(Entry* slots) const noexcept { std::free(static_cast<void*>(slots)); }
  };

  // A large table grows where it lies: realloc extends a table the system
  // maps on its own by remapping its pages, with no copy, so the old and
  // the new table are never both resident, as they are while a second
  // table is filled; the members then move up in one sweep
  // (Probe::grow_in_place). Everything is allocated first, so the map is
  // unchanged if it throws. Out of line: it runs a few times per graph, and
  // inlined it would crowd the insertion paths that call it.
  [[gnu::noinline]] void grow_in_place(unsigned size_index) {
    const Layout layout(Layout::capacity_at(size_index));
    if (layout.capacity() > SIZE_MAX / sizeof(Entry)) throw std::bad_alloc();
    std::size_t set_aside = 0;
    {
      Bitmap planned(layout.capacity());
      Probe::plan_growth(slots_, capacity_, layout, planned, [&set_aside](std::size_t, std::size_t target) {
        set_aside += target == detail::kNotFound ? 1 : 0;
      });
    }
    Bitmap settled(layout.capacity());
    // Raw slots: what is set aside is relocated there and back, never
    // constructed or destroyed there.
    std::unique_ptr<Entry, FreeSlots> aside(detail::allocate_slots<Entry>(set_aside + 1));
    void* grown = std::realloc(static_cast<void*>(slots_), layout.capacity() * sizeof(Entry));
    if (grown == nullptr) throw std::bad_alloc();
    slots_ = static_cast<Entry*>(grown);
    for (std::size_t i = capacity_; i < layout.capacity(); ++i) clear_entry(slots_[i]);
    Probe::grow_in_place(slots_, capacity_, layout, free_entry(), settled, aside.get());
    capacity_ = layout.capacity();
    size_index_ = size_index;
  }

  void destroy() noexcept {
    if constexpr (!std::is_trivially_destructible_v<V>) {
      for_each([](Vertex, V& value) { value.~V(); });
    }
    std::free(slots_);
    slots_ = nullptr;
    // The side entry is a member: its own destructor runs after ours, so it
    // must be left owning nothing or its value would be released twice.
    reset_side();
  }

  // Starts a new, empty side value in place of one already destroyed (or
  // owning nothing). It is constructed, not zeroed with memset: stores into
  // an object whose lifetime has ended may be dropped by the optimiser, and
  // then the member destructor frees the old storage a second time.
  void reset_side() noexcept {
    new (&side_.payload().value) V();
    side_.remove();
  }

  void steal(VertexMap& other) noexcept {
    slots_ = other.slots_;
    capacity_ = other.capacity_;
    size_index_ = other.size_index_;
    table_size_ = other.table_size_;
    detail::relocate(side_, other.side_);
    other.slots_ = nullptr;
    other.capacity_ = 0;
    other.size_index_ = 0;
    other.table_size_ = 0;
    other.side_.remove();
    clear_entry(other.side_.payload());
  }

  Entry* slots_ = nullptr;
  std::size_t capacity_ = 0;  // valid while slots_ is set
  unsigned size_index_ = 0;
  std::size_t table_size_ = 0;
  // Its entry's key is always kFreeKey.
  detail::SideSlot<Entry> side_{free_entry()};
};

}  // namespace quiverlane
