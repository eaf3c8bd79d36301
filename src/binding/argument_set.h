// ArgumentSet: the vertex set a call receives from a Python `set`.
//
// It lives only for one call, so it trades memory for speed: linear probing
// in a table at most half full, 32-bit slots, and room for seven members
// inside the object itself so that small arguments never touch the heap.
//
// Its order is deliberately its own. Each set hashes with a key derived from
// a per-thread random pair (drawn once from the operating system) that moves
// on by one for every new set, so the order in which members come out, and
// with it the member `contract` picks as its center, differs between sets,
// calls and runs. Nobody may come to rely on an order that happens to be
// stable.
//
// Free slots hold kFreeSlot; that value is also a vertex, so when it is a
// member it is kept aside and comes out first or last, as a key bit says.
#pragma once

#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <utility>

#include "graph/vertex.h"

namespace quiverlane {

class ArgumentSet {
 public:
  ArgumentSet() noexcept;
  ~ArgumentSet() { release(); }
  ArgumentSet(ArgumentSet&& other) noexcept;
  ArgumentSet& operator=(ArgumentSet&&) = delete;
  ArgumentSet(const ArgumentSet&) = delete;
  ArgumentSet& operator=(const ArgumentSet&) = delete;

  std::size_t size() const noexcept { return size_; }
  bool empty() const noexcept { return size_ == 0; }

  bool contains(Vertex v) const noexcept {
    if (v == kFreeSlot) return has_free_value_;
    for (std::size_t i = home(v);; i = (i + 1) & mask_) {
      const Vertex occupant = slots_[i];
      if (occupant == v) return true;
      if (occupant == kFreeSlot) return false;
    }
  }

  // Makes room for n members in all; may throw bad_alloc, leaving the set
  // as it was.
  void reserve(std::size_t n) {
    if (n > max_load(mask_ + 1)) grow_for(n);
  }

  // True if v was not yet a member.
  bool insert(Vertex v) {
    if (v == kFreeSlot) {
      if (has_free_value_) return false;
      has_free_value_ = true;
      ++size_;
      return true;
    }
    std::size_t i = home(v);
    for (;; i = (i + 1) & mask_) {
      const Vertex occupant = slots_[i];
      if (occupant == v) return false;
      if (occupant == kFreeSlot) break;
    }
    if (table_members() + 1 > max_load(mask_ + 1)) {
      grow_for(table_members() + 1);
      for (i = home(v); slots_[i] != kFreeSlot; i = (i + 1) & mask_) {
      }
    }
    slots_[i] = v;
    ++size_;
    return true;
  }

  // Calls f(v) for each member, in this set's own order.
  template <class F>
  void for_each(F&& f) const {
    if (has_free_value_ && free_value_first_) f(kFreeSlot);
    for (std::size_t i = 0, capacity = mask_ + 1; i < capacity; ++i)
      if (slots_[i] != kFreeSlot) f(slots_[i]);
    if (has_free_value_ && !free_value_first_) f(kFreeSlot);
  }

  // The member the traversal yields first; the set must not be empty.
  Vertex first() const noexcept {
    if (has_free_value_ && free_value_first_) return kFreeSlot;
    for (std::size_t i = 0; i <= mask_; ++i)
      if (slots_[i] != kFreeSlot) return slots_[i];
    return kFreeSlot;  // the member kept aside is the only one
  }

 private:
  static constexpr Vertex kFreeSlot = kMaxVertex;
  static constexpr std::size_t kInlineCapacity = 8;

  static constexpr std::size_t max_load(std::size_t capacity) noexcept { return capacity / 2; }

  // Multiply-shift over the key-offset id: the top bits of the product,
  // with a random odd multiplier, spread even consecutive ids evenly.
  std::size_t home(Vertex v) const noexcept {
    return static_cast<std::size_t>(((v ^ offset_) * multiplier_) >> shift_);
  }
  std::size_t table_members() const noexcept { return size_ - (has_free_value_ ? 1 : 0); }

  void grow_for(std::size_t n);
  void release() noexcept;

  Vertex* slots_;
  std::size_t mask_ = kInlineCapacity - 1;
  std::size_t size_ = 0;
  std::uint64_t offset_;
  std::uint64_t multiplier_;
  unsigned shift_ = 64 - 3;
  bool has_free_value_ = false;
  bool free_value_first_;
  Vertex inline_slots_[kInlineCapacity];
};

// A `set` or an instance of a subclass (not frozenset, nor any other
// iterable) converted member by member in the set's own order; the first
// member that fails the vertex conversion fails the call with its error.
// Anything else is a TypeError without a message.
ArgumentSet to_argument_set(PyObject* object);

}  // namespace quiverlane
