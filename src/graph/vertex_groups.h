// VertexGroups: disjoint vertex sets packed into one array, the form in
// which the core hands over many sets at once (the connected components).
// One array and a list of ends cost two allocations however many groups
// there are; a million one-vertex components would otherwise be a million
// allocations.
#pragma once

#include <cstddef>
#include <vector>

#include "graph/vertex.h"

namespace quiverlane {

struct VertexGroups {
  // The members of group i are members[ends[i - 1] .. ends[i]), with
  // ends[-1] read as 0. Within a group every member is distinct.
  std::vector<Vertex> members;
  std::vector<std::size_t> ends;

  std::size_t count() const noexcept { return ends.size(); }
  std::size_t begin_of(std::size_t i) const noexcept { return i == 0 ? 0 : ends[i - 1]; }
  std::size_t end_of(std::size_t i) const noexcept { return ends[i]; }
  void close_group() { ends.push_back(members.size()); }
};

}  // namespace quiverlane
