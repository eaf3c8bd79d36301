// Open-addressing core shared by VertexSet and VertexMap.
//
// Design. A table is a power-of-two array of slots probed linearly from the
// key's FNV-1a home slot (vertex.h), at most 7/8 full. A probe step is one
// compare against the key and one against the free-slot key: no hash is
// recomputed while probing, which matters because FNV-1a over four bytes is
// four dependent multiplications. (Robin Hood ordering was tried: its early
// stop on misses did not pay for hashing every occupant passed.) Deletion
// moves later members of the run back into the hole instead of leaving a
// tombstone, so a table never needs cleaning and lookups never slow down
// with churn.
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
  return capacity - capacity / 8;
}
static_assert(max_load(8) == 7 && max_load(16) == 14);

// Smallest power-of-two capacity (at least min_capacity) that holds n slots.
inline std::size_t capacity_for(std::size_t n, std::size_t min_capacity) {
  std::size_t capacity = min_capacity;
  while (max_load(capacity) < n) {
    if (capacity > (std::size_t{1} << 40)) throw std::length_error("table too large");
    capacity *= 2;
  }
  return capacity;
}

inline unsigned log2_of(std::size_t power_of_two) noexcept {
  return static_cast<unsigned>(__builtin_ctzll(power_of_two));
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

// KeyOf(slot) -> Vertex. All functions take the slot array and its mask.
template <class Slot, class KeyOf>
struct Probe {
  static std::size_t distance(std::size_t index, Vertex key, std::size_t mask) noexcept {
    return (index - home_slot(key, mask)) & mask;
  }

  // Where key is, or the free slot that ends its run if it is absent.
  struct Spot {
    std::size_t index;
    bool found;
  };
  static Spot locate(const Slot* slots, std::size_t mask, Vertex key) noexcept {
    for (std::size_t index = home_slot(key, mask);; index = (index + 1) & mask) {
      const Vertex occupant = KeyOf::get(slots[index]);
      if (occupant == key) return {index, true};
      if (occupant == kEmptyKey) return {index, false};
    }
  }

  static std::size_t find(const Slot* slots, std::size_t mask, Vertex key) noexcept {
    const Spot spot = locate(slots, mask, key);
    return spot.found ? spot.index : kNotFound;
  }

  // Puts incoming into the free slot locate() gave for its key.
  static void insert_at(Slot* slots, std::size_t, std::size_t index, const Slot& incoming) noexcept {
    relocate(slots[index], incoming);
  }

  // Places a slot whose key is absent; the table must have a free slot.
  static std::size_t place(Slot* slots, std::size_t mask, const Slot& incoming) noexcept {
    const std::size_t index = locate(slots, mask, KeyOf::get(incoming)).index;
    insert_at(slots, mask, index, incoming);
    return index;
  }

  // Removes the slot at index (its payload already released) without a
  // tombstone: later members of the run whose home lies at or before the
  // hole move back into it, so every member stays reachable from its home.
  static void erase_at(Slot* slots, std::size_t mask, std::size_t index,
                       const Slot& empty_slot) noexcept {
    std::size_t hole = index;
    for (std::size_t next = (hole + 1) & mask;; next = (next + 1) & mask) {
      const Vertex occupant = KeyOf::get(slots[next]);
      if (occupant == kEmptyKey) break;
      // Movable when its home is not cyclically within (hole, next].
      if (distance(next, occupant, mask) >= ((next - hole) & mask)) {
        relocate(slots[hole], slots[next]);
        hole = next;
      }
    }
    relocate(slots[hole], empty_slot);
  }
};

}  // namespace quiverlane::detail
