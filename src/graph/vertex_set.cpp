#include "graph/vertex_set.h"

namespace quiverlane {

VertexSet VertexSet::adopt_list(Vertex* list, TableSize size, std::size_t count,
                                std::vector<Vertex>& scratch) noexcept {
  assert(scratch.capacity() >= count && count <= Layout::max_load(size.slots()));
  scratch.assign(list, list + count);  // within its capacity: no allocation
  const std::size_t capacity = size.slots();
  std::memset(list, 0xFF, capacity * sizeof(Vertex));  // every slot kFreeKey
  VertexSet set;
  set.meta_ = kHeapBit;
  set.set_table(list, size.index_, false);
  const Layout layout(capacity);
  for (const Vertex v : scratch) {
    if (v == detail::kFreeKey) {
      if (!set.side_present()) {
        set.words_[0] |= kSideBit;
        ++set.meta_;
      }
      continue;
    }
    const auto spot = Probe::locate(list, layout, v);
    if (!spot.found) {
      list[spot.index] = v;
      ++set.meta_;
    }
  }
  if (set.size() > kInlineCapacity) return set;
  // A set of three or fewer lives inline, as if it had been built one by one.
  Vertex members[kInlineCapacity];
  std::size_t n = 0;
  set.for_each([&](Vertex v) { members[n++] = v; });
  return of_few(members, n);  // `set` frees the list
}

}  // namespace quiverlane
