#include "graph/hash_order.h"

#include <cstddef>

namespace quiverlane {

namespace {
// 4096 stretches: 400 slots each in a table of 1.6 million, and counters
// that fit in the first-level cache.
constexpr unsigned kOrderBits = 12;
}  // namespace

void order_by_hash(std::vector<HashedVertex>& items) {
  constexpr unsigned kShift = 32 - kOrderBits;
  std::vector<std::size_t> starts((std::size_t{1} << kOrderBits) + 1, 0);
  for (const HashedVertex& item : items) ++starts[(item.hash >> kShift) + 1];
  for (std::size_t s = 1; s < starts.size(); ++s) starts[s] += starts[s - 1];
  std::vector<HashedVertex> ordered(items.size());
  for (const HashedVertex& item : items) ordered[starts[item.hash >> kShift]++] = item;
  items.swap(ordered);
}

}  // namespace quiverlane
