// What the stream parser reads from: a file as it is (PosixFile) or the
// bytes inflated from it (GzipDecoder).
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>

namespace quiverlane {

// read(into, capacity) with capacity > 0 gives up to `capacity` bytes and 0
// only at the end of the data. It never reports a failure by its result: a
// source that cannot go on faults (or lets an interrupt check throw).
template <class S>
concept ByteSource = requires(S& source, std::uint8_t* into, std::size_t capacity) {
  { source.read(into, capacity) } -> std::same_as<std::size_t>;
};

}  // namespace quiverlane
