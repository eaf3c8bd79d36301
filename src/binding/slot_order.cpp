#include "binding/slot_order.h"

#include <algorithm>
#include <bit>
#include <cstdint>

namespace quiverlane {

namespace {

// A digit of at most this many bits keeps its counters in the first-level
// cache: two passes by small digits cost less than one by a digit whose
// counters outnumber the ids.
constexpr unsigned kMaxDigitBits = 11;

// A stable counting sort of in[0..count) into out by (id >> shift) &
// (2^width - 1).
void sort_by_digit(const Vertex* in, std::size_t count, Vertex* out, unsigned shift, unsigned width) {
  const std::uint32_t digit_mask = (std::uint32_t{1} << width) - 1;
  auto digit = [=](Vertex v) { return static_cast<std::size_t>((v >> shift) & digit_mask); };
  std::vector<std::size_t> starts((std::size_t{1} << width) + 1, 0);
  for (std::size_t i = 0; i < count; ++i) ++starts[digit(in[i]) + 1];
  for (std::size_t d = 1; d < starts.size(); ++d) starts[d] += starts[d - 1];
  for (std::size_t i = 0; i < count; ++i) out[starts[digit(in[i])]++] = in[i];
}

}  // namespace

unsigned python_set_table_bits(std::size_t count) noexcept {
  // CPython starts a set at 8 slots and, once an addition leaves it 3/5
  // full, moves it to the smallest power of two above four times its size
  // (above twice its size past 50,000 members). Followed step by step, as a
  // guess of the final size that is off by one would turn the last sweep
  // over the table into two interleaved ones.
  std::size_t mask = 7;
  for (;;) {
    const std::size_t full_at = (mask * 3 + 4) / 5;  // the first fill with fill * 5 >= mask * 3
    if (full_at > count) break;
    const std::size_t used = full_at > 50000 ? full_at * 2 : full_at * 4;
    std::size_t size = 8;
    while (size <= used) size <<= 1;
    mask = size - 1;
  }
  return static_cast<unsigned>(std::bit_width(mask));
}

std::vector<Vertex> in_set_slot_order(const Vertex* ids, std::size_t count) {
  const unsigned bits = python_set_table_bits(count);
  const unsigned passes = (bits + kMaxDigitBits - 1) / kMaxDigitBits;
  const unsigned width = (bits + passes - 1) / passes;
  // Least significant digit first: each pass keeps the order of the ones
  // before it within each of its own digits.
  std::vector<Vertex> sorted(count);
  std::vector<Vertex> spare(passes > 1 ? count : 0);
  // The passes alternate between the two arrays, ending in `sorted`.
  Vertex* into = passes % 2 == 1 ? sorted.data() : spare.data();
  const Vertex* from = ids;
  for (unsigned pass = 0, shift = 0; pass < passes; ++pass, shift += width) {
    sort_by_digit(from, count, into, shift, std::min(width, bits - shift));
    from = into;
    into = into == sorted.data() ? spare.data() : sorted.data();
  }
  return sorted;
}

}  // namespace quiverlane
