// The order in which to add ints to a new Python set so that it fills its
// table from one end to the other.
//
// An int hashes to itself and a set keeps it at slot `hash & mask`, so ints
// added in ascending order of the low bits of the final table's size are
// written front to back: into the final table, into every smaller table the
// set passes through while it grows (their slots are the low bits of the
// same key, which run up and wrap), and the ints made just before each
// addition sit next to each other in memory, so the caller that frees the
// set walks them in order too. Added in any other order, a set that has
// outgrown the cache costs a miss per member, to build and again to free.
#pragma once

#include <cstddef>
#include <vector>

#include "graph/vertex.h"

namespace quiverlane {

// log2 of the table that CPython's set ends up with after `count` distinct
// additions (3 for an empty set).
unsigned python_set_table_bits(std::size_t count) noexcept;

// ids[0..count) by ascending `id & (2^python_set_table_bits(count) - 1)`.
std::vector<Vertex> in_set_slot_order(const Vertex* ids, std::size_t count);

}  // namespace quiverlane
