// Bitmap: a set of the integers below a fixed bound, one bit each, for
// marking vertices visited by slot index or by id offset.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quiverlane {

class Bitmap {
 public:
  explicit Bitmap(std::size_t bound) : words_((bound + 63) / 64, 0) {}

  bool test(std::size_t i) const noexcept { return (words_[i / 64] >> (i % 64) & 1) != 0; }

  // Sets bit i; true if it was clear.
  bool set(std::size_t i) noexcept {
    std::uint64_t& word = words_[i / 64];
    const std::uint64_t bit = std::uint64_t{1} << (i % 64);
    const bool was_clear = (word & bit) == 0;
    word |= bit;
    return was_clear;
  }

 private:
  std::vector<std::uint64_t> words_;
};

}  // namespace quiverlane
