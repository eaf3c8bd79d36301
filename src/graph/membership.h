// Membership: testing membership in a vertex set many times over.
//
// A large query (an open neighbourhood, an induced subgraph) asks whether a
// vertex is in its argument once per neighbour it meets, and a hash lookup
// in a large set is a cache miss more often than not. When the set's ids
// are packed closely enough, as in most real data, a bitmap over their
// range answers with one bit test from a table a fraction of the size, at
// the price of one walk over the set to build it. Other sets answer
// through their own lookup.
#pragma once

#include <algorithm>
#include <cstddef>

#include "graph/bitmap.h"
#include "graph/vertex.h"

namespace quiverlane {

template <class Set>
class Membership {
 public:
  // Smaller sets stay in cache whatever their form.
  static constexpr std::size_t kBitmapFrom = std::size_t{1} << 12;
  // A bitmap is used when it takes at most this many bits per member: no
  // more than the set itself spends on each.
  static constexpr std::size_t kBitsPerMember = 64;

  explicit Membership(const Set& set) : set_(set), bits_(0) {
    if (set.size() < kBitmapFrom) return;
    Vertex lowest = kMaxVertex, highest = 0;
    set.for_each([&](Vertex v) {
      lowest = std::min(lowest, v);
      highest = std::max(highest, v);
    });
    const std::size_t span = std::size_t{highest} - lowest + 1;
    if (span / kBitsPerMember > set.size()) return;
    lowest_ = lowest;
    span_ = span;
    bits_ = Bitmap(span);
    set.for_each([this](Vertex v) { bits_.set(v - lowest_); });
  }

  bool contains(Vertex v) const noexcept {
    if (span_ == 0) return set_.contains(v);
    // Below lowest_, the offset wraps around to far beyond span_.
    const std::size_t offset = static_cast<std::size_t>(v) - lowest_;
    return offset < span_ && bits_.test(offset);
  }

 private:
  const Set& set_;
  Vertex lowest_ = 0;
  std::size_t span_ = 0;  // 0: no bitmap
  Bitmap bits_;
};

}  // namespace quiverlane
