// Open-addressing core shared by VertexSet and VertexMap.
//
// Design. A table is a power-of-two array of slots probed linearly from the
// key's FNV-1a home slot, kept in Robin Hood order: along a probe run, slots
// are sorted by their distance from home, so a lookup for an absent key stops
// as soon as it meets a slot nearer its home than the probe is (short misses
// even at high load). Deletion shifts the following run back by one slot, so
// there are no tombstones and a table never needs cleaning.
//
// Free slots hold the key kEmptyKey. That value is also a valid vertex, so
// the table that owns these slots keeps a member with that key outside the
// array (a flag plus a side slot); the array itself never holds it.
//
// Slots must be trivially relocatable: they are moved with memcpy while
// probing, growing and shifting.
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

  static std::size_t find(const Slot* slots, std::size_t mask, Vertex key) noexcept {
    std::size_t index = home_slot(key, mask);
    for (std::size_t dist = 0;; ++dist, index = (index + 1) & mask) {
      const Vertex occupant = KeyOf::get(slots[index]);
      if (occupant == key) return index;
      if (occupant == kEmptyKey || distance(index, occupant, mask) < dist) return kNotFound;
    }
  }

  // Places a slot whose key is absent; the table must have a free slot.
  // Returns where that slot landed (later occupants may have moved on).
  static std::size_t place(Slot* slots, std::size_t mask, const Slot& incoming) noexcept {
    alignas(Slot) unsigned char carried_bytes[sizeof(Slot)];
    Slot& carried = *reinterpret_cast<Slot*>(carried_bytes);
    relocate(carried, incoming);
    std::size_t landed = kNotFound;
    std::size_t index = home_slot(KeyOf::get(carried), mask);
    for (std::size_t dist = 0;; ++dist, index = (index + 1) & mask) {
      const Vertex occupant = KeyOf::get(slots[index]);
      if (occupant == kEmptyKey) {
        relocate(slots[index], carried);
        return landed == kNotFound ? index : landed;
      }
      const std::size_t occupant_dist = distance(index, occupant, mask);
      if (occupant_dist < dist) {
        alignas(Slot) unsigned char swap_bytes[sizeof(Slot)];
        Slot& evicted = *reinterpret_cast<Slot*>(swap_bytes);
        relocate(evicted, slots[index]);
        relocate(slots[index], carried);
        relocate(carried, evicted);
        if (landed == kNotFound) landed = index;
        dist = occupant_dist;
      }
    }
  }

  // Removes the slot at index (its payload already released) by shifting the
  // rest of its run back; the slot left free at the end is set to empty_slot.
  static void erase_at(Slot* slots, std::size_t mask, std::size_t index,
                       const Slot& empty_slot) noexcept {
    for (;;) {
      const std::size_t next = (index + 1) & mask;
      const Vertex occupant = KeyOf::get(slots[next]);
      if (occupant == kEmptyKey || distance(next, occupant, mask) == 0) break;
      relocate(slots[index], slots[next]);
      index = next;
    }
    relocate(slots[index], empty_slot);
  }
};

}  // namespace quiverlane::detail
