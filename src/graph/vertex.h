// Vertex ids and the one hash every graph table uses.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quiverlane {

// Every 32-bit value is a valid vertex id; no value is reserved.
using Vertex = std::uint32_t;
inline constexpr Vertex kMaxVertex = 0xFFFFFFFFu;

// 64-bit FNV-1a over the id's four bytes, least significant byte first,
// unseeded: a key hashes the same in every table and every run.
constexpr std::uint64_t fnv1a(Vertex v) noexcept {
  std::uint64_t h = 0xcbf29ce484222325ull;
  for (int byte = 0; byte < 4; ++byte) {
    h ^= (v >> (8 * byte)) & 0xFFu;
    h *= 0x100000001b3ull;
  }
  return h;
}

// The 32 bits the hash tables index with: FNV-1a with its high half folded
// into the low one, so that the bits fed by the final multiplication take
// part.
constexpr std::uint32_t table_hash(Vertex v) noexcept {
  const std::uint64_t h = fnv1a(v);
  return static_cast<std::uint32_t>(h ^ (h >> 32));
}

static_assert(fnv1a(0) == 0x4d25767f9dce13f5ull, "FNV-1a of four zero bytes");

}  // namespace quiverlane
