// A file opened read-only, closed by its destructor on every path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "parse/byte_source.h"

namespace quiverlane {

class PosixFile {
 public:
  // Opens `name`; on failure is_open() is false and error() holds errno.
  // A name holding a zero byte cannot reach open(2) at all: error() is 0.
  // Interrupted waits run check_interrupt(), which may throw.
  explicit PosixFile(std::string_view name);
  ~PosixFile();
  PosixFile(const PosixFile&) = delete;
  PosixFile& operator=(const PosixFile&) = delete;

  bool is_open() const noexcept { return fd_ >= 0; }
  int error() const noexcept { return error_; }

  // Up to `capacity` bytes; 0 only at end of file. Retries on EINTR (after
  // check_interrupt(), which may throw) and faults on any other read error
  // (a directory gives EISDIR here).
  std::size_t read(std::uint8_t* into, std::size_t capacity);

 private:
  int fd_ = -1;
  int error_ = 0;
};

static_assert(ByteSource<PosixFile>);

}  // namespace quiverlane
