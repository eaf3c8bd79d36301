// Bitmap: a set of the integers below a fixed bound, one bit each, for
// marking vertices visited by slot index or by id offset.
//
// The words come from calloc: a large bitmap is then fresh zeroed memory
// whose pages cost nothing until first written, and a traversal that marks
// only part of the range (most components of a sparse graph are never
// visited by id) pays only for the pages it touches.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>

namespace quiverlane {

class Bitmap {
 public:
  explicit Bitmap(std::size_t bound) {
    const std::size_t words = (bound + 63) / 64;
    if (words == 0) return;
    words_.reset(static_cast<std::uint64_t*>(std::calloc(words, sizeof(std::uint64_t))));
    if (!words_) throw std::bad_alloc();
  }

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
  struct Free {
    void operator()(std::uint64_t* words) const noexcept { std::free(words); }
  };
  std::unique_ptr<std::uint64_t[], Free> words_;
};

}  // namespace quiverlane
