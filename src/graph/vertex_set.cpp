#include "graph/vertex_set.h"

namespace quiverlane {

void VertexSet::hash_list(std::vector<Vertex>& scratch) {
  if (!is_list()) return;
  const std::size_t count = size();
  Vertex* table = slots();
  const std::size_t capacity = this->capacity();
  scratch.assign(table, table + count);  // may throw: nothing has changed yet
  std::memset(table, 0xFF, capacity * sizeof(Vertex));  // every slot kFreeKey
  meta_ = kHeapBit | (meta_ & kTagBit);
  set_table(table, size_index(), false);
  for (const Vertex v : scratch) {
    if (v == detail::kFreeKey) {
      if (!side_present()) {
        words_[0] |= kSideBit;
        ++meta_;
      }
      continue;
    }
    const auto spot = Probe::locate(table, Layout(capacity), v);
    if (!spot.found) {
      table[spot.index] = v;
      ++meta_;
    }
  }
  if (size() > kInlineCapacity) return;
  // A set of three or fewer lives inline, as if it had been built one by one.
  Vertex members[kInlineCapacity];
  std::size_t n = 0;
  for_each([&](Vertex v) { members[n++] = v; });
  std::free(table);
  meta_ = (meta_ & kTagBit) | static_cast<std::uint32_t>(n);
  words_[0] = words_[1] = words_[2] = 0;
  std::memcpy(words_, members, n * sizeof(Vertex));
}

}  // namespace quiverlane
