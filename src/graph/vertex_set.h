// VertexSet: a compact hash set of vertex ids, the neighbour set of the store.
//
// Real graphs have many vertices of tiny degree, so the set object is 16
// bytes and holds up to three members inline with no heap storage at all (an
// empty set owns nothing). From the fourth member on, members live in a
// linear-probing table on the heap (linear_probe.h), at most 7/8 full. A table never
// shrinks: removing members leaves its storage until the set is destroyed.
//
// Layout (4-byte aligned, trivially relocatable, all-zero bytes = empty set):
//   meta_     bit 31: heap mode; bit 30: the owner's tag (see tagged());
//             bits 0..29: number of members
//   words_[]  inline mode: the members, unordered
//             heap mode:   words_[0] bits 0..7 the table's size index
//                          (capacity_at() gives its capacity), bit 8 set when
//                          kMaxVertex (the table's free-slot key) is a member,
//                          bit 9 set when the table lies in memory the set
//                          does not own (see clone_into);
//                          words_[1..2] the slot array pointer
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <utility>
#include <vector>

#include "graph/linear_probe.h"
#include "graph/vertex.h"

namespace quiverlane {

class VertexSet {
  struct KeyOf {
    static Vertex get(Vertex slot) noexcept { return slot; }
  };
  using Probe = detail::Probe<Vertex, KeyOf>;

 public:
  static constexpr std::size_t kInlineCapacity = 3;
  static constexpr std::size_t kMaxSize = 0x3FFFFFFF;

  VertexSet() noexcept = default;
  ~VertexSet() { release(); }

  VertexSet(VertexSet&& other) noexcept : meta_(other.meta_) {
    std::memcpy(words_, other.words_, sizeof words_);
    other.meta_ = 0;
  }
  VertexSet& operator=(VertexSet&& other) noexcept {
    if (this != &other) {
      release();
      meta_ = other.meta_;
      std::memcpy(words_, other.words_, sizeof words_);
      other.meta_ = 0;
    }
    return *this;
  }
  // A copy is sized for its members, so it is built without regrowth.
  VertexSet(const VertexSet& other) : VertexSet() {
    reserve(other.size());
    other.for_each([this](Vertex v) { insert_new(v); });
    set_tagged(other.tagged());
  }
  VertexSet& operator=(const VertexSet& other) {
    if (this != &other) *this = VertexSet(other);
    return *this;
  }

  std::size_t size() const noexcept { return meta_ & kSizeMask; }
  bool empty() const noexcept { return size() == 0; }

  // One bit that the set's owner may keep beside the members and that
  // copies carry along: the graph store marks a vertex's own set when the
  // vertex has a loop, so that its degree needs no probe.
  bool tagged() const noexcept { return (meta_ & kTagBit) != 0; }
  void set_tagged(bool tagged) noexcept { meta_ = tagged ? meta_ | kTagBit : meta_ & ~kTagBit; }

  // A clone whose table is written to `memory` (heap_bytes() of it, 4-byte
  // aligned), which the clone does not own: it never frees it, and when it
  // outgrows it, it moves to a table of its own and leaves it behind. The
  // owner of `memory` must keep it until the clone is gone. Never fails.
  VertexSet clone_into(void* memory) const noexcept {
    VertexSet copy;
    std::memcpy(copy.words_, words_, sizeof words_);
    if (on_heap()) {
      auto* table = static_cast<Vertex*>(memory);
      std::memcpy(table, slots(), heap_bytes());
      copy.set_table(table, size_index(), has_max());
      copy.words_[0] |= kBorrowedBit;
    }
    copy.meta_ = meta_;
    return copy;
  }

  // The same members in the same layout: one allocation and a block copy
  // of the table, no member inserted again. May throw bad_alloc.
  VertexSet clone() const {
    VertexSet copy;
    if (on_heap()) {
      Vertex* table = detail::allocate_slots<Vertex>(capacity());
      std::memcpy(table, slots(), capacity() * sizeof(Vertex));
      copy.set_table(table, size_index(), has_max());
    } else {
      std::memcpy(copy.words_, words_, sizeof words_);
    }
    copy.meta_ = meta_;
    return copy;
  }

  // Starts loading the table, for a walk or a clone coming up soon.
  void prefetch_table() const noexcept {
    if (on_heap()) __builtin_prefetch(slots());
  }

  // Building many sets at once (GraphBuilder). append() keeps up to three
  // distinct members inline as usual; past that, the set turns into a list:
  // members, repeats included, stored one after another in an array whose
  // capacity is that of the table they will need. hash_list() then turns
  // the array into that table in place, so building costs one hash insert
  // per member in all, instead of a rehash of every member at every growth.
  // A set in the list state answers size() (members so far, repeats
  // included) and takes append() and hash_list(); nothing else may touch it.
  //
  // Appends v; `more` says how many appends are still to come soon, to size
  // a list for them. May throw bad_alloc, leaving the set as it was.
  void append(Vertex v, std::size_t more) {
    if (!on_heap()) {
      if (contains(v)) return;
      if (size() < kInlineCapacity) {
        words_[size()] = v;
        ++meta_;
        return;
      }
      start_list(size() + 1 + more);
    } else if (size() + 1 > detail::max_load(capacity())) {
      grow_list(size() + 1 + more);
    }
    slots()[size()] = v;
    ++meta_;
  }
  // Room for n appends at once, made a list first if need be: the caller
  // writes the members to the returned array, then commit_appends(n).
  // May throw bad_alloc, leaving the set as it was.
  Vertex* append_space(std::size_t n) {
    if (!on_heap())
      start_list(size() + n);
    else if (size() + n > detail::max_load(capacity()))
      grow_list(size() + n);
    return slots() + size();
  }
  void commit_appends(std::size_t n) noexcept { meta_ += static_cast<std::uint32_t>(n); }
  // Loads the slot the next append() writes.
  void prefetch_append() const noexcept {
    if (on_heap()) __builtin_prefetch(slots() + size(), 1);
  }
  bool is_list() const noexcept { return on_heap() && (words_[0] & kListBit) != 0; }
  // Turns a list into a set of its distinct members, in place; a set that
  // ends with at most three goes back inline. `scratch` is working space;
  // if it cannot grow (bad_alloc), the set is left a list. Does nothing to
  // a set that is not a list.
  void hash_list(std::vector<Vertex>& scratch);

  bool contains(Vertex v) const noexcept {
    if (!on_heap()) {
      for (std::size_t i = 0, n = size(); i < n; ++i)
        if (words_[i] == v) return true;
      return false;
    }
    if (v == detail::kEmptyKey) return has_max();
    return Probe::find(slots(), capacity(), v) != detail::kNotFound;
  }

  // Starts loading v's home slot (see VertexMap::prefetch); the second form
  // takes v's table_hash() already worked out.
  void prefetch(Vertex v) const noexcept { prefetch_hashed(table_hash(v)); }
  void prefetch_hashed(std::uint32_t hash) const noexcept {
    if (on_heap()) __builtin_prefetch(&slots()[detail::home_in(hash, capacity())]);
  }

  // Makes room for n members in all, so that inserting up to that many
  // cannot allocate. The contents are unchanged whether or not it throws.
  void reserve(std::size_t n) {
    if (n > kMaxSize) throw std::length_error("vertex set too large");
    if (!on_heap()) {
      if (n > kInlineCapacity) move_to_table(detail::size_index_for(n));
    } else if (n > detail::max_load(capacity())) {
      rehash(detail::size_index_for(n, size_index() + 1));
    }
  }

  // Inserts v; true if it was not a member. May throw bad_alloc, in which
  // case the set is unchanged. The second form takes v's table_hash().
  bool insert(Vertex v) { return insert_hashed(v, table_hash(v)); }
  bool insert_hashed(Vertex v, std::uint32_t hash) {
    if (on_heap() && v != detail::kEmptyKey) {
      // One probe finds v or the spot it belongs in.
      auto spot = Probe::locate_from(slots(), capacity(), v, detail::home_in(hash, capacity()));
      if (spot.found) return false;
      if (size() + 1 > detail::max_load(capacity())) {
        reserve(size() + 1);
        spot = Probe::locate_from(slots(), capacity(), v, detail::home_in(hash, capacity()));
      }
      slots()[spot.index] = v;
      ++meta_;
      return true;
    }
    if (contains(v)) return false;
    reserve(size() + 1);
    insert_new(v);
    return true;
  }

  // Insert after reserve(): never allocates.
  bool insert_reserved(Vertex v) noexcept {
    if (contains(v)) return false;
    insert_new(v);
    return true;
  }

  // Adds v, which the caller knows is absent, after reserve(): never
  // allocates and skips the membership test.
  void insert_new(Vertex v) noexcept {
    if (!on_heap()) {
      words_[size()] = v;
    } else if (v == detail::kEmptyKey) {
      words_[0] |= kHasMaxBit;
    } else {
      Probe::place(slots(), capacity(), v);
    }
    ++meta_;
  }

  bool erase(Vertex v) noexcept {
    if (!on_heap()) {
      const std::size_t n = size();
      for (std::size_t i = 0; i < n; ++i) {
        if (words_[i] == v) {
          words_[i] = words_[n - 1];
          --meta_;
          return true;
        }
      }
      return false;
    }
    if (v == detail::kEmptyKey) {
      if (!has_max()) return false;
      words_[0] &= ~kHasMaxBit;
      --meta_;
      return true;
    }
    const std::size_t index = Probe::find(slots(), capacity(), v);
    if (index == detail::kNotFound) return false;
    Probe::erase_at(slots(), capacity(), index, detail::kEmptyKey);
    --meta_;
    return true;
  }

  // Calls f(v) for each member, in the set's iteration order.
  template <class F>
  void for_each(F&& f) const {
    if (!on_heap()) {
      for (std::size_t i = 0, n = size(); i < n; ++i) f(words_[i]);
      return;
    }
    const Vertex* s = slots();
    for (std::size_t i = 0, cap = capacity(); i < cap; ++i)
      if (s[i] != detail::kEmptyKey) f(s[i]);
    if (has_max()) f(detail::kEmptyKey);
  }

  // The same walk for traversals that meet many sets in turn: free and
  // taken slots alternate at random, so a test per slot is mispredicted
  // often; each block of slots has its members gathered without a branch
  // before f sees them.
  template <class F>
  void for_each_gathered(F&& f) const {
    if (!on_heap()) {
      for (std::size_t i = 0, n = size(); i < n; ++i) f(words_[i]);
      return;
    }
    const Vertex* s = slots();
    const std::size_t cap = capacity();
    constexpr std::size_t kBlock = 32;
    Vertex block[kBlock];
    for (std::size_t base = 0; base < cap; base += kBlock) {
      const std::size_t end = base + kBlock < cap ? base + kBlock : cap;
      std::size_t taken = 0;
      for (std::size_t i = base; i < end; ++i) {
        block[taken] = s[i];
        taken += s[i] != detail::kEmptyKey ? 1 : 0;
      }
      for (std::size_t k = 0; k < taken; ++k) f(block[k]);
    }
    if (has_max()) f(detail::kEmptyKey);
  }

  // Forward iteration in the same order as for_each.
  class const_iterator {
   public:
    using value_type = Vertex;
    using difference_type = std::ptrdiff_t;
    const_iterator() = default;
    Vertex operator*() const noexcept { return set_->member_at(position_); }
    const_iterator& operator++() noexcept {
      position_ = set_->next_position(position_ + 1);
      return *this;
    }
    const_iterator operator++(int) noexcept {
      const_iterator before = *this;
      ++*this;
      return before;
    }
    bool operator==(const const_iterator& other) const noexcept {
      return position_ == other.position_;
    }

   private:
    friend class VertexSet;
    const_iterator(const VertexSet* set, std::size_t position) : set_(set), position_(position) {}
    const VertexSet* set_ = nullptr;
    std::size_t position_ = 0;
  };
  const_iterator begin() const noexcept { return {this, next_position(0)}; }
  const_iterator end() const noexcept { return {this, end_position()}; }

  // Bytes of heap storage owned by the set (for memory accounting in tests).
  std::size_t heap_bytes() const noexcept { return on_heap() ? capacity() * sizeof(Vertex) : 0; }

 private:
  static constexpr std::uint32_t kHeapBit = 0x80000000u;
  static constexpr std::uint32_t kTagBit = 0x40000000u;
  static constexpr std::uint32_t kSizeMask = 0x3FFFFFFFu;
  static constexpr std::uint32_t kHasMaxBit = 0x100u;
  static constexpr std::uint32_t kBorrowedBit = 0x200u;
  static constexpr std::uint32_t kListBit = 0x400u;

  bool on_heap() const noexcept { return (meta_ & kHeapBit) != 0; }
  bool has_max() const noexcept { return (words_[0] & kHasMaxBit) != 0; }
  unsigned size_index() const noexcept { return words_[0] & 0xFFu; }
  std::size_t capacity() const noexcept { return detail::capacity_at(size_index()); }
  Vertex* slots() const noexcept {
    Vertex* p;
    std::memcpy(&p, &words_[1], sizeof p);
    return p;
  }
  void set_table(Vertex* table, unsigned size_index, bool has_max) noexcept {
    words_[0] = size_index | (has_max ? kHasMaxBit : 0u);
    std::memcpy(&words_[1], &table, sizeof table);
  }

  bool owns_table() const noexcept { return (words_[0] & kBorrowedBit) == 0; }

  void release() noexcept {
    if (on_heap() && owns_table()) std::free(slots());
  }

  static Vertex* new_table(std::size_t capacity) {
    Vertex* table = detail::allocate_slots<Vertex>(capacity);
    std::memset(table, 0xFF, capacity * sizeof(Vertex));  // every slot kEmptyKey
    return table;
  }

  void move_to_table(unsigned size_index) {
    const std::size_t capacity = detail::capacity_at(size_index);
    Vertex* table = new_table(capacity);
    const std::size_t n = size();
    bool has_max = false;
    for (std::size_t i = 0; i < n; ++i) {
      if (words_[i] == detail::kEmptyKey)
        has_max = true;
      else
        Probe::place(table, capacity, words_[i]);
    }
    meta_ = kHeapBit | (meta_ & kTagBit) | static_cast<std::uint32_t>(n);
    set_table(table, size_index, has_max);
  }

  // An inline set becomes a list with room for n members.
  void start_list(std::size_t n) {
    if (n > kMaxSize) throw std::length_error("vertex set too large");
    const unsigned size_index = detail::size_index_for(n);
    Vertex* list = detail::allocate_slots<Vertex>(detail::capacity_at(size_index));
    const std::size_t count = size();
    std::memcpy(list, words_, count * sizeof(Vertex));
    meta_ = kHeapBit | (meta_ & kTagBit) | static_cast<std::uint32_t>(count);
    set_table(list, size_index, false);
    words_[0] |= kListBit;
  }

  // A list gets room for n members; realloc may extend it where it lies.
  void grow_list(std::size_t n) {
    if (n > kMaxSize) throw std::length_error("vertex set too large");
    const unsigned size_index = detail::size_index_for(n, this->size_index() + 1);
    void* list = std::realloc(slots(), detail::capacity_at(size_index) * sizeof(Vertex));
    if (list == nullptr) throw std::bad_alloc();
    set_table(static_cast<Vertex*>(list), size_index, false);
    words_[0] |= kListBit;
  }

  void rehash(unsigned size_index) {
    const std::size_t capacity = detail::capacity_at(size_index);
    Vertex* table = new_table(capacity);
    Vertex* old = slots();
    for (std::size_t i = 0, old_capacity = this->capacity(); i < old_capacity; ++i)
      if (old[i] != detail::kEmptyKey) Probe::place(table, capacity, old[i]);
    if (owns_table()) std::free(old);
    set_table(table, size_index, has_max());
  }

  // Iteration positions: inline members 0..size-1; heap slots 0..capacity-1,
  // then position capacity for kMaxVertex.
  std::size_t end_position() const noexcept { return on_heap() ? capacity() + 1 : size(); }
  std::size_t next_position(std::size_t position) const noexcept {
    if (!on_heap()) return position;
    const Vertex* s = slots();
    const std::size_t cap = capacity();
    while (position < cap && s[position] == detail::kEmptyKey) ++position;
    if (position == cap && !has_max()) ++position;
    return position;
  }
  Vertex member_at(std::size_t position) const noexcept {
    if (!on_heap()) return words_[position];
    return position < capacity() ? slots()[position] : detail::kEmptyKey;
  }

  std::uint32_t meta_ = 0;
  std::uint32_t words_[3] = {0, 0, 0};
};

static_assert(sizeof(VertexSet) == 16, "a neighbour set costs 16 bytes in its map slot");

}  // namespace quiverlane
