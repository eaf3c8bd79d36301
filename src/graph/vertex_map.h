// VertexMap<V>: a hash map from vertex id to V, for the adjacency and degree
// maps of the store.
//
// Entries {key, value} sit directly in a linear-probing table (linear_probe.h), at
// most 7/8 full; a new map owns no storage. The entry whose key is kMaxVertex
// (the table's free-slot key) lives in a side entry. The table never shrinks.
//
// V must be trivially relocatable, and all-zero bytes must be a valid V that
// owns nothing: free slots hold such a value, so growing and shifting are
// plain byte moves and only occupied entries are ever destroyed. Both
// VertexSet and the integer degree qualify.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

#include "graph/linear_probe.h"
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

  std::size_t size() const noexcept { return table_size_ + (has_max_ ? 1 : 0); }
  bool empty() const noexcept { return size() == 0; }

  V* find(Vertex key) noexcept {
    if (key == detail::kEmptyKey) return has_max_ ? &max_entry_.value : nullptr;
    if (slots_ == nullptr) return nullptr;
    const std::size_t index = Probe::find(slots_, capacity_, key);
    return index == detail::kNotFound ? nullptr : &slots_[index].value;
  }
  const V* find(Vertex key) const noexcept { return const_cast<VertexMap*>(this)->find(key); }
  // The same, with the key's table_hash() already worked out.
  V* find_hashed(Vertex key, std::uint32_t hash) noexcept {
    if (key == detail::kEmptyKey) return has_max_ ? &max_entry_.value : nullptr;
    if (slots_ == nullptr) return nullptr;
    const auto spot = Probe::locate_from(slots_, capacity_, key, detail::home_in(hash, capacity_));
    return spot.found ? &slots_[spot.index].value : nullptr;
  }
  const V* find_hashed(Vertex key, std::uint32_t hash) const noexcept {
    return const_cast<VertexMap*>(this)->find_hashed(key, hash);
  }
  bool contains(Vertex key) const noexcept { return find(key) != nullptr; }

  // Starts loading key's home slot, so that several lookups into large maps
  // overlap their cache misses instead of paying for them one after another.
  void prefetch(Vertex key) const noexcept {
    if (slots_ != nullptr) __builtin_prefetch(&slots_[detail::home_slot(key, capacity_)]);
  }

  // Makes room for n entries in all, so that inserting up to that many cannot
  // allocate. The contents are unchanged whether or not it throws.
  void reserve(std::size_t n) {
    if (slots_ == nullptr) {
      if (n > 0) rehash(detail::size_index_for(n));
    } else if (n > detail::max_load(capacity_)) {
      rehash(detail::size_index_for(n, size_index_ + 1));
    }
  }

  // Whether inserting n more keys could grow the table.
  bool could_grow_by(std::size_t n) const noexcept {
    return slots_ == nullptr || table_size_ + n > detail::max_load(capacity_);
  }
  // Starts loading the home slot of a key whose table_hash() is given.
  void prefetch_hashed(std::uint32_t hash) const noexcept {
    if (slots_ != nullptr) __builtin_prefetch(&slots_[detail::home_in(hash, capacity_)]);
  }

  // Inserts key with a zero value unless present. Returns the value and
  // whether it was inserted. May throw bad_alloc, leaving the map unchanged.
  // Any insertion may move other entries: earlier pointers become invalid.
  std::pair<V*, bool> try_emplace(Vertex key) { return try_emplace_hashed(key, table_hash(key)); }

  // The same, with the key's table_hash() already worked out.
  std::pair<V*, bool> try_emplace_hashed(Vertex key, std::uint32_t hash) {
    if (key != detail::kEmptyKey && slots_ != nullptr) {
      // One probe finds the key or the spot it belongs in.
      auto spot = Probe::locate_from(slots_, capacity_, key, detail::home_in(hash, capacity_));
      if (spot.found) return {&slots_[spot.index].value, false};
      if (table_size_ + 1 > detail::max_load(capacity_)) {
        reserve(size() + 1);
        spot = Probe::locate_from(slots_, capacity_, key, detail::home_in(hash, capacity_));
      }
      detail::relocate(slots_[spot.index], entry_for(key));
      ++table_size_;
      return {&slots_[spot.index].value, true};
    }
    if (V* found = find(key)) return {found, false};
    reserve(size() + 1);
    return {emplace_absent(key), true};
  }

  // A map with the same capacity and the same entries in the same slots: the
  // slot array is copied as a block and each value replaced by
  // clone_value(value). Walking in slot order, and prefetching the values'
  // own storage a few slots ahead, keeps the copy bound by bandwidth rather
  // than by one cache miss per entry. If a clone throws (or the caller
  // interrupts it), the values not yet cloned are still the source's and
  // are forgotten, never released.
  template <class CloneValue, class Prefetch>
  VertexMap clone(CloneValue&& clone_value, Prefetch&& prefetch) const {
    VertexMap copy;
    if (has_max_) {
      copy.max_entry_.value = clone_value(max_entry_.value);
      copy.has_max_ = true;
    }
    if (slots_ == nullptr) return copy;
    const std::size_t capacity = capacity_;
    Entry* table = detail::allocate_slots<Entry>(capacity);
    std::memcpy(static_cast<void*>(table), slots_, capacity * sizeof(Entry));
    copy.slots_ = table;
    copy.capacity_ = capacity_;
    copy.size_index_ = size_index_;
    copy.table_size_ = table_size_;
    constexpr std::size_t kAhead = 16;
    std::size_t i = 0;
    InterruptPoll poll;
    try {
      for (; i < capacity; ++i) {
        poll.tick();
        if (i + kAhead < capacity && slots_[i + kAhead].key != detail::kEmptyKey)
          prefetch(slots_[i + kAhead].value);
        if (table[i].key != detail::kEmptyKey)
          new (&table[i].value) V(clone_value(slots_[i].value));
      }
    } catch (...) {
      for (; i < capacity; ++i) clear_entry(table[i]);  // still the source's
      throw;
    }
    return copy;
  }

  // Removes key, destroying its value; false if it was absent.
  bool erase(Vertex key) noexcept {
    if (key == detail::kEmptyKey) {
      if (!has_max_) return false;
      max_entry_.value.~V();
      reset_max_entry();
      return true;
    }
    if (slots_ == nullptr) return false;
    const std::size_t index = Probe::find(slots_, capacity_, key);
    if (index == detail::kNotFound) return false;
    slots_[index].value.~V();
    Probe::erase_at(slots_, capacity_, index, empty_entry());
    --table_size_;
    return true;
  }

  // Calls f(key, value) for each entry, in the map's iteration order.
  template <class F>
  void for_each(F&& f) {
    for (std::size_t i = 0, cap = capacity(); i < cap; ++i)
      if (slots_[i].key != detail::kEmptyKey) f(slots_[i].key, slots_[i].value);
    if (has_max_) f(max_entry_.key, max_entry_.value);
  }
  // The same, calling ahead(value) for the entry `distance` slots further
  // on before each f(key, value): a walk that loads what the values point
  // to a little ahead of using it.
  template <class Ahead, class F>
  void for_each_ahead(std::size_t distance, Ahead&& ahead, F&& f) {
    for (std::size_t i = 0, cap = capacity(); i < cap; ++i) {
      if (i + distance < cap && slots_[i + distance].key != detail::kEmptyKey)
        ahead(slots_[i + distance].value);
      if (slots_[i].key != detail::kEmptyKey) f(slots_[i].key, slots_[i].value);
    }
    if (has_max_) f(max_entry_.key, max_entry_.value);
  }
  template <class F>
  void for_each(F&& f) const {
    const_cast<VertexMap*>(this)->for_each(
        [&f](Vertex key, V& value) { f(key, static_cast<const V&>(value)); });
  }

  // Forward iteration over the entries, in the same order as for_each.
  template <bool kConst>
  class basic_iterator {
    using MapPtr = std::conditional_t<kConst, const VertexMap*, VertexMap*>;
    using EntryRef = std::conditional_t<kConst, const Entry&, Entry&>;

   public:
    basic_iterator() = default;
    EntryRef operator*() const noexcept { return map_->entry_at(position_); }
    auto operator->() const noexcept { return &**this; }
    basic_iterator& operator++() noexcept {
      position_ = map_->next_position(position_ + 1);
      return *this;
    }
    bool operator==(const basic_iterator& other) const noexcept {
      return position_ == other.position_;
    }

   private:
    friend class VertexMap;
    basic_iterator(MapPtr map, std::size_t position) : map_(map), position_(position) {}
    MapPtr map_ = nullptr;
    std::size_t position_ = 0;
  };
  using iterator = basic_iterator<false>;
  using const_iterator = basic_iterator<true>;
  iterator begin() noexcept { return {this, next_position(0)}; }
  iterator end() noexcept { return {this, capacity() + 1}; }
  const_iterator begin() const noexcept { return {this, next_position(0)}; }
  const_iterator end() const noexcept { return {this, capacity() + 1}; }

  // Read-only access by slot index, for traversals that queue entries rather
  // than keys, so that a vertex found once is never looked up again. Indices
  // run below slot_limit(); the last one names the side entry. An index is
  // valid until the map next changes.
  std::size_t slot_limit() const noexcept { return capacity() + 1; }
  bool occupied(std::size_t index) const noexcept {
    return index < capacity() ? slots_[index].key != detail::kEmptyKey : has_max_;
  }
  const Entry& entry_at_slot(std::size_t index) const noexcept { return entry_at(index); }
  void prefetch_slot(std::size_t index) const noexcept {
    if (index < capacity()) __builtin_prefetch(&slots_[index]);
  }
  // The slot of key, whose table_hash() is given, or kNotFound.
  std::size_t slot_of_hashed(Vertex key, std::uint32_t hash) const noexcept {
    if (key == detail::kEmptyKey) return has_max_ ? capacity() : detail::kNotFound;
    if (slots_ == nullptr) return detail::kNotFound;
    const auto spot = Probe::locate_from(slots_, capacity_, key, detail::home_in(hash, capacity_));
    return spot.found ? spot.index : detail::kNotFound;
  }

  // Bytes of table storage owned by the map itself (not by its values).
  std::size_t table_bytes() const noexcept { return capacity() * sizeof(Entry); }

 private:
  struct KeyOf {
    static Vertex get(const Entry& entry) noexcept { return entry.key; }
  };
  using Probe = detail::Probe<Entry, KeyOf>;

  static Entry entry_for(Vertex key) noexcept {
    Entry entry = empty_entry();
    entry.key = key;
    return entry;
  }
  static Entry empty_entry() noexcept {
    Entry entry;
    clear_entry(entry);
    return entry;
  }
  static void clear_entry(Entry& entry) noexcept {
    std::memset(static_cast<void*>(&entry), 0, sizeof entry);
    entry.key = detail::kEmptyKey;
  }

  std::size_t capacity() const noexcept { return slots_ == nullptr ? 0 : capacity_; }

  V* emplace_absent(Vertex key) noexcept {
    if (key == detail::kEmptyKey) {
      has_max_ = true;
      return &max_entry_.value;
    }
    ++table_size_;
    return &slots_[Probe::place(slots_, capacity_, entry_for(key))].value;
  }

  void rehash(unsigned size_index) {
    const std::size_t capacity = detail::capacity_at(size_index);
    Entry* table = detail::allocate_slots<Entry>(capacity);
    for (std::size_t i = 0; i < capacity; ++i) clear_entry(table[i]);
    for (std::size_t i = 0, old_capacity = this->capacity(); i < old_capacity; ++i)
      if (slots_[i].key != detail::kEmptyKey) Probe::place(table, capacity, slots_[i]);
    std::free(slots_);
    slots_ = table;
    capacity_ = capacity;
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
    reset_max_entry();
  }

  // Starts a new, empty side value in place of one already destroyed (or
  // owning nothing). It is constructed, not zeroed with memset: stores into
  // an object whose lifetime has ended may be dropped by the optimiser, and
  // then the member destructor frees the old storage a second time.
  void reset_max_entry() noexcept {
    max_entry_.key = detail::kEmptyKey;
    new (&max_entry_.value) V();
    has_max_ = false;
  }

  void steal(VertexMap& other) noexcept {
    slots_ = other.slots_;
    capacity_ = other.capacity_;
    size_index_ = other.size_index_;
    table_size_ = other.table_size_;
    has_max_ = other.has_max_;
    detail::relocate(max_entry_, other.max_entry_);
    other.slots_ = nullptr;
    other.capacity_ = 0;
    other.size_index_ = 0;
    other.table_size_ = 0;
    other.has_max_ = false;
    clear_entry(other.max_entry_);
  }

  std::size_t next_position(std::size_t position) const noexcept {
    const std::size_t cap = capacity();
    while (position < cap && slots_[position].key == detail::kEmptyKey) ++position;
    if (position == cap && !has_max_) ++position;
    return position;
  }
  Entry& entry_at(std::size_t position) noexcept {
    return position < capacity() ? slots_[position] : max_entry_;
  }
  const Entry& entry_at(std::size_t position) const noexcept {
    return const_cast<VertexMap*>(this)->entry_at(position);
  }

  Entry* slots_ = nullptr;
  std::size_t capacity_ = 0;  // valid while slots_ is set
  unsigned size_index_ = 0;
  std::size_t table_size_ = 0;
  bool has_max_ = false;
  Entry max_entry_ = empty_entry();
};

}  // namespace quiverlane
