// Putting vertices in the order of their home slots.
//
// Looking up many vertices one after another in a large table costs a
// cache miss each when they come in any order. In order of hash they come
// in order of home slot (linear_probe.h), in a table of any size, and the
// lookups sweep the table from one end to the other. The order need only
// be by the top bits of the hash: within each of the resulting stretches of
// the table, small enough to stay in cache, any order does.
#pragma once

#include <cstdint>
#include <vector>

#include "graph/vertex.h"

namespace quiverlane {

struct HashedVertex {
  Vertex vertex;
  std::uint32_t hash;  // table_hash(vertex)
};

// Reorders `items` by the top bits of their hash; stable, one counting pass.
void order_by_hash(std::vector<HashedVertex>& items);

}  // namespace quiverlane
