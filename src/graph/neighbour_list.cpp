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

void NeighbourList::start_list(std::size_t n) {
  const VertexSet::TableSize size = VertexSet::table_size_for(n);
  Vertex* list = detail::allocate_slots<Vertex>(size.slots());
  const std::size_t count = this->size();
  std::memcpy(list, words_, count * sizeof(Vertex));
  set_state(kList, count);
  set_table_size(size);
  set_pointer(list);
}

// realloc may extend the array where it lies.
void NeighbourList::grow_list(std::size_t n) {
  const VertexSet::TableSize size = VertexSet::table_size_for(n, table_size());
  void* list = std::realloc(array(), size.slots() * sizeof(Vertex));
  if (list == nullptr) throw std::bad_alloc();
  set_table_size(size);
  set_pointer(static_cast<Vertex*>(list));
}

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

void NeighbourList::release() noexcept {
  if (is_list()) std::free(array());
  if (is_set()) delete boxed();
}

}  // namespace quiverlane
