// The open-addressing core of every vertex table: VertexSet, VertexMap and
// WorkingSet.
//
// Design. A table is an array of slots probed linearly from the key's home
// slot. A probe step is one compare against the key and one against the
// free-slot key: no hash is recomputed while probing. Deletion moves later
// members of the run back into the hole instead of leaving a tombstone, so
// a table never needs cleaning and lookups never slow down with churn.
// (Robin Hood ordering was tried: its early stop on misses did not pay for
// hashing every occupant passed.)
//
// Two layouts decide where a key's home is, how full a table may get and
// which capacities it takes; the probing below is the same for both.
//
//  - ScaledLayout, for the tables a graph keeps (VertexSet, VertexMap):
//    small above all. Tables are at most 7/8 full, and capacities run 8,
//    12, 16, 24, 32, 48, ... (2^k and 3*2^(k-1)), so a table grows by half
//    or by a third rather than doubling: right after growth it is 7/12 or
//    21/32 full instead of 7/16, which saves about a sixth of the memory of
//    every table on average. A key's home is its table_hash() scaled to the
//    capacity, (hash * capacity) >> 32: that works for any capacity, and it
//    keeps slots in the order of the hashes, so walking keys sorted by hash
//    walks a table of any size in address order. FNV-1a over four bytes is
//    four dependent multiplications, which is why probing never rehashes.
//  - MaskedLayout, for an operation's own sets (WorkingSet): fast above
//    all. Tables are at most half full, capacities are powers of two, and a
//    home is one multiply-shift of the key under a per-table hash key.
//
// Free slots hold kFreeKey. That value is also a valid vertex, so the table
// that owns these slots keeps a member with that key beside the array (a
// SideSlot); the array itself never holds it.
//
// Slots must be trivially relocatable: they are moved with memcpy while
// growing and shifting.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <utility>

#include "graph/capacity.h"
#include "graph/vertex.h"

namespace quiverlane::detail {

inline constexpr Vertex kFreeKey = kMaxVertex;
inline constexpr std::size_t kNotFound = ~std::size_t{0};

// Refuses a size no table can take, with std::length_error. libstdc++ builds
// the exception inside its own library, through an entry point as old as the
// library: constructing it here would bind the const char* constructor, which
// libstdc++ only exports since GCC 5, newer than the oldest one wheels run
// with.
[[noreturn]] inline void throw_too_large(const char* what) {
#if defined(__GLIBCXX__)
  std::__throw_length_error(what);
#else
  throw std::length_error(what);
#endif
}

// The most members a table of `capacity` slots holds before it grows: the
// capacity less its free share (Free/Of of it, rounded up).
template <std::size_t Free, std::size_t Of>
struct LoadLimit {
  static_assert(0 < Free && Free < Of);
  static constexpr std::size_t max_load(std::size_t capacity) noexcept {
    return capacity - (capacity * Free + Of - 1) / Of;
  }
};

// Home slot of a key with this 32-bit hash in a table of `capacity` slots.
constexpr std::size_t home_in(std::uint32_t hash, std::size_t capacity) noexcept {
  return static_cast<std::size_t>((static_cast<std::uint64_t>(hash) * capacity) >> 32);
}

class ScaledLayout : public LoadLimit<1, 8> {
 public:
  // The largest table (see capacity.h): 2^32 slots, since homes are scaled
  // from a 32-bit hash (which would hold more vertices than there are ids).
  static constexpr unsigned kMaxSizeIndex = capacity::kTableSizeIndex;

  // The capacity with the given size index: 8, 12, 16, 24, ...
  static constexpr std::size_t capacity_at(unsigned index) noexcept {
    return std::size_t{(index & 1) != 0 ? 12u : 8u} << (index >> 1);
  }
  // The most members any table holds.
  static constexpr std::size_t max_members() noexcept { return max_load(capacity_at(kMaxSizeIndex)); }

  // Smallest size index, from `first` on, whose capacity holds n members.
  // Past the largest table: CapacityExceeded. Only the vertex table can get
  // there; a neighbour set stops at its own, smaller cap first.
  static unsigned size_index_for(std::size_t n, unsigned first = 0) {
    for (unsigned index = first; index <= kMaxSizeIndex; ++index)
      if (max_load(capacity_at(index)) >= n) return index;
    throw CapacityExceeded(Capacity::kVertexTable);
  }

  explicit constexpr ScaledLayout(std::size_t capacity) noexcept : capacity_(capacity) {}
  constexpr std::size_t capacity() const noexcept { return capacity_; }
  std::size_t home(Vertex key) const noexcept { return home_in(table_hash(key), capacity_); }
  constexpr std::size_t home_of_hash(std::uint32_t hash) const noexcept { return home_in(hash, capacity_); }
  constexpr std::size_t next(std::size_t index) const noexcept {
    return index + 1 == capacity_ ? 0 : index + 1;
  }

 private:
  std::size_t capacity_;
};

static_assert(ScaledLayout::max_load(8) == 7 && ScaledLayout::max_load(12) == 10 &&
              ScaledLayout::max_load(16) == 14);
#if !defined(QUIVERLANE_SMALL_CAPACITY)
static_assert(ScaledLayout::capacity_at(ScaledLayout::kMaxSizeIndex) == (std::size_t{1} << 32));
#endif

// The key a MaskedLayout hashes with.
struct MaskedHashKey {
  std::uint64_t offset = 0;
  // Must be odd. The default is 2^64 divided by the golden ratio, which
  // spreads consecutive ids evenly over the table.
  std::uint64_t multiplier = 0x9E3779B97F4A7C15ull;
};

class MaskedLayout : public LoadLimit<1, 2> {
 public:
  // The capacity is 2^(64 - shift).
  constexpr MaskedLayout(const MaskedHashKey& key, unsigned shift) noexcept
      : offset_(key.offset), multiplier_(key.multiplier | 1u), mask_(mask_for(shift)), shift_(shift) {}

  constexpr std::size_t capacity() const noexcept { return mask_ + 1; }
  // The top bits of the product: those depend on every bit of the id.
  constexpr std::size_t home(Vertex key) const noexcept {
    return static_cast<std::size_t>(((key ^ offset_) * multiplier_) >> shift_);
  }
  constexpr std::size_t next(std::size_t index) const noexcept { return (index + 1) & mask_; }

  constexpr unsigned shift() const noexcept { return shift_; }
  // The same hash key over 2^(64 - shift) slots.
  constexpr MaskedLayout with_shift(unsigned shift) const noexcept {
    MaskedLayout other = *this;
    other.mask_ = mask_for(shift);
    other.shift_ = shift;
    return other;
  }

 private:
  static constexpr std::size_t mask_for(unsigned shift) noexcept {
    return (std::size_t{1} << (64 - shift)) - 1;
  }

  std::uint64_t offset_;
  std::uint64_t multiplier_;
  std::size_t mask_;
  unsigned shift_;
};

template <class Slot>
Slot* allocate_slots(std::size_t capacity) {
  if (capacity > SIZE_MAX / sizeof(Slot)) throw std::bad_alloc();
  void* memory = std::malloc(capacity * sizeof(Slot));
  if (memory == nullptr) throw std::bad_alloc();
  return static_cast<Slot*>(memory);
}

template <class Slot>
inline void relocate(Slot& to, const Slot& from) noexcept {
  std::memcpy(static_cast<void*>(&to), static_cast<const void*>(&from), sizeof(Slot));
}

// The member whose key is kFreeKey, kept beside a table's slot array: a
// flag and, for a map, its entry. The owner counts it in its size and
// walks it after the array (or before, when its order says so).
struct NoPayload {};
template <class Payload = NoPayload>
class SideSlot {
 public:
  SideSlot() = default;
  explicit SideSlot(Payload payload) noexcept : payload_(std::move(payload)) {}

  bool present() const noexcept { return present_; }
  std::size_t count() const noexcept { return present_ ? 1 : 0; }
  // Marks the member present; false if it already was.
  bool add() noexcept { return !std::exchange(present_, true); }
  // Marks it absent; false if it already was. A payload that owns anything
  // is the owner's to release first.
  bool remove() noexcept { return std::exchange(present_, false); }
  Payload& payload() noexcept { return payload_; }
  const Payload& payload() const noexcept { return payload_; }

 private:
  bool present_ = false;
  [[no_unique_address]] Payload payload_{};
};

// Calls f(key) for every taken slot of a table of Vertex slots, in slot
// order. Free and taken slots alternate at random, so a test per slot would
// be mispredicted often: each block of slots has its members gathered
// without a branch before f sees them.
template <std::size_t Block, class F>
void for_each_gathered(const Vertex* slots, std::size_t capacity, F&& f) {
  Vertex block[Block];
  for (std::size_t base = 0; base < capacity; base += Block) {
    const std::size_t end = base + Block < capacity ? base + Block : capacity;
    std::size_t taken = 0;
    for (std::size_t i = base; i < end; ++i) {
      block[taken] = slots[i];
      taken += slots[i] != kFreeKey ? 1 : 0;
    }
    for (std::size_t k = 0; k < taken; ++k) f(block[k]);
  }
}

// KeyOf::get(slot) -> Vertex. All functions take the slot array and its
// Layout.
template <class Slot, class KeyOf, class Layout>
struct Probe {
  // Where key is, or the free slot that ends its run if it is absent.
  struct Spot {
    std::size_t index;
    bool found;
  };
  static Spot locate(const Slot* slots, const Layout& layout, Vertex key) noexcept {
    return locate_from(slots, layout, key, layout.home(key));
  }
  // The same, with the key's home slot already worked out.
  static Spot locate_from(const Slot* slots, const Layout& layout, Vertex key,
                          std::size_t home) noexcept {
    assert(key != kFreeKey && home < layout.capacity());
#ifndef NDEBUG
    std::size_t steps = 0;
#endif
    for (std::size_t index = home;; index = layout.next(index)) {
      // A full table would have no free slot to stop at.
      assert(steps++ < layout.capacity());
      const Vertex occupant = KeyOf::get(slots[index]);
      if (occupant == key) return {index, true};
      if (occupant == kFreeKey) return {index, false};
    }
  }

  // The insertion every table runs, written once: one probe finds key or
  // the free slot it belongs in; a new key that would take the table past
  // its limit has the table grow first (which moves every slot, so the key
  // is probed for again); then the free slot gets make(). The caller counts
  // the new member when the spot returned was not found. Table gives
  // probe_slots() and probe_layout(), probe_full() (one more member would
  // pass its limit) and probe_grow() (room for one more, or a throw that
  // leaves the table as it was); home(layout) is key's home in a layout.
  template <class Table, class Home, class Make>
  static Spot insert(Table& table, Vertex key, Home&& home, Make&& make) {
    Spot spot = locate_from(table.probe_slots(), table.probe_layout(), key, home(table.probe_layout()));
    if (spot.found) return spot;
    if (table.probe_full()) {
      table.probe_grow();
      spot = locate_from(table.probe_slots(), table.probe_layout(), key, home(table.probe_layout()));
    }
    relocate(table.probe_slots()[spot.index], make());
    return spot;
  }

  static std::size_t find(const Slot* slots, const Layout& layout, Vertex key) noexcept {
    const Spot spot = locate(slots, layout, key);
    return spot.found ? spot.index : kNotFound;
  }

  // Places a slot whose key is absent; the table must have a free slot.
  static std::size_t place(Slot* slots, const Layout& layout, const Slot& incoming) noexcept {
    const Spot spot = locate(slots, layout, KeyOf::get(incoming));
    assert(!spot.found);
    relocate(slots[spot.index], incoming);
    return spot.index;
  }

  // Places every taken slot of `from` (of `from_capacity` slots) into
  // `to`, an array of free slots laid out by `to_layout`, in slot order.
  static void place_all(const Slot* from, std::size_t from_capacity, Slot* to,
                        const Layout& to_layout) noexcept {
    for (std::size_t i = 0; i < from_capacity; ++i)
      if (KeyOf::get(from[i]) != kFreeKey) place(to, to_layout, from[i]);
  }

  // Growing a table in place, for a layout whose homes scale with the
  // capacity (ScaledLayout): a member's new home then lies past its old
  // one, so a sweep from the old table's last slot down moves each member
  // up to its new place in the grown array, over slots already settled,
  // reading and writing memory in order. The few that cannot go so (a new
  // home at or below the slot it leaves, near the table's start, or a
  // place past the array's end) are set aside and put back last.
  //
  // plan_growth() makes the sweep's choices without moving anything:
  // taken(slot, target) for each member, target being kNotFound for one
  // set aside. `settled` marks the targets: all clear on entry, and the
  // sweep proper must start from the same marks to make the same choices.
  template <class Settled, class Taken>
  static void plan_growth(const Slot* slots, std::size_t from_capacity, const Layout& to_layout,
                          Settled& settled, Taken&& taken) {
    for (std::size_t slot = from_capacity; slot-- > 0;) {
      const Vertex key = KeyOf::get(slots[slot]);
      if (key == kFreeKey) continue;
      std::size_t target = to_layout.home(key);
      if (target <= slot) {
        taken(slot, kNotFound);
        continue;
      }
      while (target < to_layout.capacity() && settled.test(target)) ++target;
      if (target == to_layout.capacity()) {
        taken(slot, kNotFound);
        continue;
      }
      settled.set(target);
      taken(slot, target);
    }
  }

  // The sweep: `slots` has grown to to_layout.capacity() slots, the new
  // ones free; `settled` is as plan_growth() had it on entry, and `aside`
  // has room for every member it set aside.
  template <class Settled>
  static void grow_in_place(Slot* slots, std::size_t from_capacity, const Layout& to_layout,
                            const Slot& free_slot, Settled& settled, Slot* aside) noexcept {
    std::size_t set_aside = 0;
    plan_growth(slots, from_capacity, to_layout, settled, [&](std::size_t slot, std::size_t target) {
      relocate(target == kNotFound ? aside[set_aside++] : slots[target], slots[slot]);
      relocate(slots[slot], free_slot);
    });
    for (std::size_t i = 0; i < set_aside; ++i) place(slots, to_layout, aside[i]);
  }

  // Removes the slot at index (its payload already released) without a
  // tombstone: later members of the run whose home lies at or before the
  // hole move back into it, so every member stays reachable from its home.
  static void erase_at(Slot* slots, const Layout& layout, std::size_t index,
                       const Slot& free_slot) noexcept {
    assert(index < layout.capacity() && KeyOf::get(slots[index]) != kFreeKey);
    const std::size_t capacity = layout.capacity();
    auto cyclic_distance = [capacity](std::size_t from, std::size_t to) {
      return to >= from ? to - from : to + capacity - from;
    };
    std::size_t hole = index;
    for (std::size_t next = layout.next(hole);; next = layout.next(next)) {
      const Vertex occupant = KeyOf::get(slots[next]);
      if (occupant == kFreeKey) break;
      // Movable when its home is not cyclically within (hole, next].
      const std::size_t home = layout.home(occupant);
      if (cyclic_distance(home, next) >= cyclic_distance(hole, next)) {
        relocate(slots[hole], slots[next]);
        hole = next;
      }
    }
    relocate(slots[hole], free_slot);
  }
};

// The probing of a set, whose slots are the keys themselves.
struct SlotIsKey {
  static Vertex get(Vertex slot) noexcept { return slot; }
};
template <class Layout>
using SetProbe = Probe<Vertex, SlotIsKey, Layout>;

}  // namespace quiverlane::detail
