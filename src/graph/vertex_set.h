// VertexSet: a compact hash set of vertex ids, the neighbour set of the store.
//
// Real graphs have many vertices of tiny degree, so the set object is 16
// bytes and holds up to three members inline with no heap storage at all (an
// empty set owns nothing). From the fourth member on, members live in a
// linear-probing table on the heap (linear_probe.h, ScaledLayout). A table
// never shrinks: removing members leaves its storage until the set is
// destroyed.
//
// Layout (4-byte aligned, trivially relocatable, all-zero bytes = empty set):
//   meta_     bit 31: heap mode; bit 30: the owner's tag (see tagged());
//             bits 0..29: number of members
//   words_[]  inline mode: the members, unordered
//             heap mode:   words_[0] bits 0..7 the table's size index
//                          (capacity_at() gives its capacity), bit 8 set when
//                          kFreeKey is a member: the set's side slot, packed
//                          into the header to keep the set at 16 bytes,
//                          bit 9 set when the table lies in memory the set
//                          does not own (see clone_into);
//                          words_[1..2] the slot array pointer
#pragma once

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <utility>
#include <vector>

#include "graph/capacity.h"
#include "graph/linear_probe.h"
#include "graph/vertex.h"

namespace quiverlane {

class VertexSet {
  using Layout = detail::ScaledLayout;
  using Probe = detail::SetProbe<Layout>;

 public:
  static constexpr std::size_t kInlineCapacity = 3;
  // The most members a set holds (capacity.h); past it CapacityExceeded.
  static constexpr std::size_t kMaxSize = capacity::kNeighbourSetMembers;
  static_assert(kMaxSize <= 0x3FFFFFFF && kMaxSize <= Layout::max_members());

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
      assert(memory != nullptr || !on_heap());
    auto* table = static_cast<Vertex*>(memory);
      std::memcpy(table, slots(), heap_bytes());
      copy.set_table(table, size_index(), side_present());
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
      copy.set_table(table, size_index(), side_present());
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

  // Sets built whole from a list of their members (GraphBuilder, which
  // gathers each list in an array of the size of the table it will need).
  // A TableSize is one of the sizes a set's table takes.
  class TableSize {
   public:
    TableSize() = default;
    // The slots of such a table, and the most members it holds.
    std::size_t slots() const noexcept { return Layout::capacity_at(index_); }
    std::size_t max_members() const noexcept { return std::min(Layout::max_load(slots()), kMaxSize); }

   private:
    friend class VertexSet;
    explicit TableSize(unsigned index) noexcept : index_(index) {}
    unsigned index_ = 0;
  };
  // The smallest size, larger than `above` if given, that holds n members.
  // Past kMaxSize: CapacityExceeded.
  static TableSize table_size_for(std::size_t n) { return TableSize(Layout::size_index_for(checked_size(n))); }
  static TableSize table_size_for(std::size_t n, TableSize above) {
    return TableSize(Layout::size_index_for(checked_size(n), above.index_ + 1));
  }
  // The set of the distinct members among list[0, count): `list`, from
  // malloc with size.slots() slots, becomes its table in place and the set
  // owns it; a set of three or fewer members goes inline, as if built one
  // by one, and frees it. `scratch` must have room for count members
  // already, so that nothing here can fail.
  static VertexSet adopt_list(Vertex* list, TableSize size, std::size_t count, std::vector<Vertex>& scratch) noexcept;
  // The set of n <= kInlineCapacity distinct members.
  static VertexSet of_few(const Vertex* members, std::size_t n) noexcept {
    assert(n <= kInlineCapacity);
    VertexSet set;
    set.meta_ = static_cast<std::uint32_t>(n);
    std::memcpy(set.words_, members, n * sizeof(Vertex));
    return set;
  }

  bool contains(Vertex v) const noexcept {
    if (!on_heap()) {
      for (std::size_t i = 0, n = size(); i < n; ++i)
        if (words_[i] == v) return true;
      return false;
    }
    if (v == detail::kFreeKey) return side_present();
    return Probe::find(slots(), layout(), v) != detail::kNotFound;
  }

  // Starts loading v's home slot (see VertexMap::prefetch); the second form
  // takes v's table_hash() already worked out.
  void prefetch(Vertex v) const noexcept { prefetch_hashed(table_hash(v)); }
  void prefetch_hashed(std::uint32_t hash) const noexcept {
    if (on_heap()) __builtin_prefetch(&slots()[layout().home_of_hash(hash)]);
  }

  // Makes room for n members in all, so that inserting up to that many
  // cannot allocate. The contents are unchanged whether or not it throws.
  void reserve(std::size_t n) {
    if (n > kMaxSize) throw CapacityExceeded(Capacity::kNeighbourSet);
    if (!on_heap()) {
      if (n > kInlineCapacity) move_to_table(Layout::size_index_for(n));
    } else if (n > Layout::max_load(capacity())) {
      rehash(Layout::size_index_for(n, size_index() + 1));
    }
  }

  // Inserts v; true if it was not a member. May throw bad_alloc, in which
  // case the set is unchanged. The second form takes v's table_hash().
  bool insert(Vertex v) { return insert_hashed(v, table_hash(v)); }
  bool insert_hashed(Vertex v, std::uint32_t hash) {
    assert(hash == table_hash(v));
    if (on_heap() && v != detail::kFreeKey) {
      const auto home = [hash](const Layout& layout) { return layout.home_of_hash(hash); };
      if (Probe::insert(*this, v, home, [v] { return v; }).found) return false;
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
    assert(!contains(v) && has_room_for(size() + 1));
    if (!on_heap()) {
      words_[size()] = v;
    } else if (v == detail::kFreeKey) {
      words_[0] |= kSideBit;
    } else {
      Probe::place(slots(), layout(), v);
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
    if (v == detail::kFreeKey) {
      if (!side_present()) return false;
      words_[0] &= ~kSideBit;
      --meta_;
      return true;
    }
    const std::size_t index = Probe::find(slots(), layout(), v);
    if (index == detail::kNotFound) return false;
    Probe::erase_at(slots(), layout(), index, detail::kFreeKey);
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
      if (s[i] != detail::kFreeKey) f(s[i]);
    if (side_present()) f(detail::kFreeKey);
  }

  // The same walk, in the same order, for traversals that meet many sets in
  // turn: it gathers the members of each block of slots without a branch
  // (detail::for_each_gathered).
  template <class F>
  void for_each_gathered(F&& f) const {
    if (!on_heap()) {
      for (std::size_t i = 0, n = size(); i < n; ++i) f(words_[i]);
      return;
    }
    detail::for_each_gathered<32>(slots(), capacity(), f);
    if (side_present()) f(detail::kFreeKey);
  }

  // Bytes of heap storage owned by the set (for memory accounting in tests).
  std::size_t heap_bytes() const noexcept { return on_heap() ? capacity() * sizeof(Vertex) : 0; }

 private:
  static constexpr std::uint32_t kHeapBit = 0x80000000u;
  static constexpr std::uint32_t kTagBit = 0x40000000u;
  static constexpr std::uint32_t kSizeMask = 0x3FFFFFFFu;
  static constexpr std::uint32_t kSideBit = 0x100u;
  static constexpr std::uint32_t kBorrowedBit = 0x200u;

  template <class, class, class>
  friend struct detail::Probe;
  Vertex* probe_slots() const noexcept { return slots(); }
  Layout probe_layout() const noexcept { return layout(); }
  // A table may have room past the cap; reserve() refuses that.
  bool probe_full() const noexcept { return size() + 1 > Layout::max_load(capacity()) || size() == kMaxSize; }
  void probe_grow() { reserve(size() + 1); }

  bool on_heap() const noexcept { return (meta_ & kHeapBit) != 0; }
  bool side_present() const noexcept { return (words_[0] & kSideBit) != 0; }
  unsigned size_index() const noexcept { return words_[0] & 0xFFu; }
  std::size_t capacity() const noexcept { return Layout::capacity_at(size_index()); }
  Layout layout() const noexcept { return Layout(capacity()); }
  // Whether n members fit without growing.
  bool has_room_for(std::size_t n) const noexcept {
    return on_heap() ? n <= Layout::max_load(capacity()) : n <= kInlineCapacity;
  }
  Vertex* slots() const noexcept {
    Vertex* p;
    std::memcpy(&p, &words_[1], sizeof p);
    return p;
  }
  void set_table(Vertex* table, unsigned size_index, bool with_side) noexcept {
    words_[0] = size_index | (with_side ? kSideBit : 0u);
    std::memcpy(&words_[1], &table, sizeof table);
  }

  bool owns_table() const noexcept { return (words_[0] & kBorrowedBit) == 0; }

  void release() noexcept {
    if (on_heap() && owns_table()) std::free(slots());
  }

  static Vertex* new_table(std::size_t capacity) {
    Vertex* table = detail::allocate_slots<Vertex>(capacity);
    std::memset(table, 0xFF, capacity * sizeof(Vertex));  // every slot kFreeKey
    return table;
  }

  void move_to_table(unsigned size_index) {
    const Layout layout(Layout::capacity_at(size_index));
    Vertex* table = new_table(layout.capacity());
    const std::size_t n = size();
    bool with_side = false;
    for (std::size_t i = 0; i < n; ++i) {
      if (words_[i] == detail::kFreeKey)
        with_side = true;
      else
        Probe::place(table, layout, words_[i]);
    }
    meta_ = kHeapBit | (meta_ & kTagBit) | static_cast<std::uint32_t>(n);
    set_table(table, size_index, with_side);
  }

  static std::size_t checked_size(std::size_t n) {
    if (n > kMaxSize) throw CapacityExceeded(Capacity::kNeighbourSet);
    return n;
  }

  void rehash(unsigned size_index) {
    const Layout layout(Layout::capacity_at(size_index));
    Vertex* table = new_table(layout.capacity());
    Vertex* old = slots();
    Probe::place_all(old, capacity(), table, layout);
    if (owns_table()) std::free(old);
    set_table(table, size_index, side_present());
  }

  std::uint32_t meta_ = 0;
  std::uint32_t words_[3] = {0, 0, 0};
};

static_assert(sizeof(VertexSet) == 16, "a neighbour set costs 16 bytes in its map slot");

}  // namespace quiverlane
