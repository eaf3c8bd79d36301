// The fixed caps on what one graph holds, and the error for going past one.
//
// Past a cap an operation throws CapacityExceeded before it changes
// anything, like a failed allocation; the binding raises it as MemoryError
// with a note naming the cap, which a plain failed allocation never gets.
#pragma once

#include <cstddef>

namespace quiverlane {

namespace capacity {

#if defined(QUIVERLANE_SMALL_CAPACITY)
// A checking build (the CMake option of the same name) whose caps are small
// enough for tests to reach through the Python API; never a release.
inline constexpr std::size_t kNeighbourSetMembers = 100;
inline constexpr unsigned kTableSizeIndex = 10;  // 256 slots
#else
// A set's member count shares its 32-bit header word with two flag bits.
inline constexpr std::size_t kNeighbourSetMembers = 0x3FFFFFFF;
// Table homes are scaled from a 32-bit hash, so no table takes more than
// 2^32 slots (ScaledLayout in linear_probe.h).
inline constexpr unsigned kTableSizeIndex = 58;
#endif

}  // namespace capacity

enum class Capacity {
  kNeighbourSet,  // members of one vertex's neighbour set
  kVertexTable,   // vertices of one graph
};

// Deliberately not a std::length_error: constructing one here would bind a
// libstdc++ entry point newer than the oldest library wheels load against,
// and the binding must tell a cap from any other refused size.
class CapacityExceeded {
 public:
  explicit CapacityExceeded(Capacity which) noexcept : which_(which) {}
  Capacity which() const noexcept { return which_; }

 private:
  Capacity which_;
};

}  // namespace quiverlane
