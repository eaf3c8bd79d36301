#include "graph/neighbour_list.h"

#include <cstdlib>
#include <new>
#include <type_traits>
#include <utility>

#include "graph/linear_probe.h"

namespace quiverlane {

static_assert(sizeof(VertexSet::TableSize) == sizeof(std::uint32_t) &&
                  std::is_trivially_copyable_v<VertexSet::TableSize>,
              "a table size is kept in one word");

void NeighbourList::make_set(std::vector<Vertex>& scratch) {
  if (is_set()) return;
  auto* box = new VertexSet();
  if (is_list()) {
    try {
      scratch.reserve(size());
    } catch (...) {
      delete box;
      throw;
    }
  }
  *box = finish(scratch);
  set_state(kSet, 0);
  set_pointer(box);
}

VertexSet NeighbourList::finish_set() noexcept {
  VertexSet set = std::move(*boxed());
  delete boxed();
  return set;
}

}  // namespace quiverlane
