// VertexGroups: disjoint vertex sets packed into flat arrays, the form in
// which the core hands over many sets at once (the connected components).
// A few arrays cost a few allocations however many groups there are; a
// million one-vertex components would otherwise be a million allocations.
// One-vertex groups, the bulk of a sparse graph's components, are kept
// apart so that they need no end each.
#pragma once

#include <cstddef>
#include <vector>

#include "graph/vertex.h"

namespace quiverlane {

struct VertexGroups {
  // Each a group of its own.
  std::vector<Vertex> singles;
  // The members of larger group i are members[ends[i - 1] .. ends[i]),
  // with ends[-1] read as 0. Within a group every member is distinct.
  std::vector<Vertex> members;
  std::vector<std::size_t> ends;

  std::size_t count() const noexcept { return singles.size() + ends.size(); }
  void close_group() { ends.push_back(members.size()); }
};

}  // namespace quiverlane
