// TableBlocks: memory for the neighbour tables of a graph cloned in one go.
//
// copy() hands every cloned table a piece of a large block instead of an
// allocation of its own: a million tables cost a few dozen allocations and
// no allocator header each, and they lie in memory in the order they were
// cloned. The sets never free these pieces (VertexSet::clone_into); a set
// that outgrows its piece moves to a table of its own and leaves the piece
// behind. The blocks are released with the graph.
#pragma once

#include <cassert>
#include <cstddef>
#include <memory>
#include <vector>

namespace quiverlane {

class TableBlocks {
 public:
  // `bytes` (a multiple of 4) of memory, or nullptr for 0 bytes. May throw
  // bad_alloc.
  void* take(std::size_t bytes) {
    assert(bytes % 4 == 0);  // keeps every piece 4-byte aligned
    if (bytes == 0) return nullptr;
    if (bytes > left_) start_block(bytes);
    std::byte* piece = next_;
    next_ += bytes;
    left_ -= bytes;
    return piece;
  }

 private:
  static constexpr std::size_t kBlockBytes = std::size_t{1} << 20;

  void start_block(std::size_t at_least) {
    const std::size_t bytes = at_least > kBlockBytes ? at_least : kBlockBytes;
    blocks_.reserve(blocks_.size() + 1);  // so that the push cannot throw
    auto block = std::make_unique_for_overwrite<std::byte[]>(bytes);
    next_ = block.get();
    left_ = bytes;
    blocks_.push_back(std::move(block));
  }

  std::vector<std::unique_ptr<std::byte[]>> blocks_;
  std::byte* next_ = nullptr;
  std::size_t left_ = 0;
};

}  // namespace quiverlane
