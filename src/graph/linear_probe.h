// Open-addressing core shared by VertexSet and VertexMap.
//
// Design. A table is an array of slots probed linearly from the key's home
// slot, at most 7/8 full. A probe step is one compare against the key and
// one against the free-slot key: no hash is recomputed while probing, which
// matters because FNV-1a over four bytes is four dependent multiplications.
// (Robin Hood ordering was tried: its early stop on misses did not pay for
// hashing every occupant passed.) Deletion moves later members of the run
// back into the hole instead of leaving a tombstone, so a table never needs
// cleaning and lookups never slow down with churn.
//
// Sizes. Capacities run 8, 12, 16, 24, 32, 48, ... (2^k and 3*2^(k-1)), so a
// table grows by half or by a third rather than doubling: right after
// growth it is 7/12 or 21/32 full instead of 7/16, which saves about a
// sixth of the memory of every table on average. A key's home slot is its
// 32-bit hash scaled to the capacity, (hash * capacity) >> 32: that works
// for any capacity, and it keeps slots in the order of the hashes, so
// walking keys sorted by hash walks a table of any size in address order.
//
// Free slots hold the key kEmptyKey. That value is also a valid vertex, so
// the table that owns these slots keeps a member with that key outside the
// array (a flag plus a side slot); the array itself never holds it.
//
// Slots must be trivially relocatable: they are moved with memcpy while
// growing and shifting.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

#include "graph/vertex.h"

namespace quiverlane::detail {

inline constexpr Vertex kEmptyKey = kMaxVertex;
inline constexpr std::size_t kNotFound = ~std::size_t{0};

// Tables grow once they would be more than 7/8 full.
constexpr std::size_t max_load(std::size_t capacity) noexcept {
  return capacity - (capacity + 7) / 8;
}
static_assert(max_load(8) == 7 && max_load(12) == 10 && max_load(16) == 14);

// The capacity with the given size index: 8, 12, 16, 24, ...
constexpr std::size_t capacity_at(unsigned index) noexcept {
  return std::size_t{(index & 1) != 0 ? 12u : 8u} << (index >> 1);
}
// Homes are scaled from a 32-bit hash, so no table exceeds 2^32 slots
// (which would hold more vertices than there are ids).
inline constexpr unsigned kMaxSizeIndex = 58;
static_assert(capacity_at(kMaxSizeIndex) == (std::size_t{1} << 32));

// Smallest size index, from `first` on, whose capacity holds n slots.
inline unsigned size_index_for(std::size_t n, unsigned first = 0) {
  unsigned index = first;
  while (max_load(capacity_at(index)) < n) {
    if (index == kMaxSizeIndex) throw std::length_error("table too large");
    ++index;
  }
  return index;
}

// Home slot of a key with this 32-bit hash in a table of `capacity` slots.
constexpr std::size_t home_in(std::uint32_t hash, std::size_t capacity) noexcept {
  return static_cast<std::size_t>((static_cast<std::uint64_t>(hash) * capacity) >> 32);
}
inline std::size_t home_slot(Vertex key, std::size_t capacity) noexcept {
  return home_in(table_hash(key), capacity);
}

constexpr std::size_t next_slot(std::size_t index, std::size_t capacity) noexcept {
  return index + 1 == capacity ? 0 : index + 1;
}

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

// KeyOf(slot) -> Vertex. All functions take the slot array and its capacity.
template <class Slot, class KeyOf>
struct Probe {
  // Where key is, or the free slot that ends its run if it is absent.
  struct Spot {
    std::size_t index;
    bool found;
  };
  static Spot locate(const Slot* slots, std::size_t capacity, Vertex key) noexcept {
    return locate_from(slots, capacity, key, home_slot(key, capacity));
  }
  // The same, with the key's home slot already worked out.
  static Spot locate_from(const Slot* slots, std::size_t capacity, Vertex key,
                          std::size_t home) noexcept {
    for (std::size_t index = home;; index = next_slot(index, capacity)) {
      const Vertex occupant = KeyOf::get(slots[index]);
      if (occupant == key) return {index, true};
      if (occupant == kEmptyKey) return {index, false};
    }
  }

  static std::size_t find(const Slot* slots, std::size_t capacity, Vertex key) noexcept {
    const Spot spot = locate(slots, capacity, key);
    return spot.found ? spot.index : kNotFound;
  }

  // Places a slot whose key is absent; the table must have a free slot.
  static std::size_t place(Slot* slots, std::size_t capacity, const Slot& incoming) noexcept {
    const std::size_t index = locate(slots, capacity, KeyOf::get(incoming)).index;
    relocate(slots[index], incoming);
    return index;
  }

  // Removes the slot at index (its payload already released) without a
  // tombstone: later members of the run whose home lies at or before the
  // hole move back into it, so every member stays reachable from its home.
  static void erase_at(Slot* slots, std::size_t capacity, std::size_t index,
                       const Slot& empty_slot) noexcept {
    auto cyclic_distance = [capacity](std::size_t from, std::size_t to) {
      return to >= from ? to - from : to + capacity - from;
    };
    std::size_t hole = index;
    for (std::size_t next = next_slot(hole, capacity);; next = next_slot(next, capacity)) {
      const Vertex occupant = KeyOf::get(slots[next]);
      if (occupant == kEmptyKey) break;
      // Movable when its home is not cyclically within (hole, next].
      const std::size_t home = home_slot(occupant, capacity);
      if (cyclic_distance(home, next) >= cyclic_distance(hole, next)) {
        relocate(slots[hole], slots[next]);
        hole = next;
      }
    }
    relocate(slots[hole], empty_slot);
  }
};

}  // namespace quiverlane::detail
