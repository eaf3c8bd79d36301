// Streaming gzip decoding (RFC 1952) over an open file.
//
// The header and trailer are parsed here, the deflate data is inflated raw by
// zlib. Every member is checked: method 8, the header CRC-16 when FHCRC is
// set, and the trailer's CRC-32 and length. Reserved flag bits are ignored.
// After a member, bytes that begin with the gzip magic are the next member
// and get the same checks; anything else is trailing garbage and ignored, as
// the gzip tool does. Truncation anywhere, a file of zero bytes included, is
// a fault, as is every other failure: nothing here is an expected error.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "parse/byte_source.h"
#include "parse/posix_file.h"

namespace quiverlane {

class GzipDecoder {
 public:
  GzipDecoder(PosixFile& file, std::size_t input_capacity);
  ~GzipDecoder();
  GzipDecoder(const GzipDecoder&) = delete;
  GzipDecoder& operator=(const GzipDecoder&) = delete;

  // Up to `capacity` (> 0) decompressed bytes; 0 only at the end of the last
  // member, once its trailer has been checked. A failure is reported by the
  // first call after every byte inflated before it has been returned.
  std::size_t read(std::uint8_t* into, std::size_t capacity);

 private:
  // kTrailer and kFailed hold back a check or a failure until the bytes
  // inflated before it have been handed out: a refused line in those bytes
  // is then reported first, as it would be if the data were read line by
  // line.
  enum class State { kHeader, kBody, kTrailer, kFailed, kDone };

  bool refill();  // false at end of file
  std::uint8_t next_byte();  // faults at end of file
  std::uint8_t next_header_byte();
  void skip_header_bytes(std::size_t count);
  bool next_member_follows();
  void read_header();
  void read_trailer();
  void finish_member();
  std::size_t inflate_into(std::uint8_t* into, std::size_t capacity);

  PosixFile& file_;
  std::unique_ptr<std::uint8_t[]> input_;
  std::size_t input_capacity_;
  z_stream stream_{};
  State state_ = State::kHeader;
  std::uint32_t header_crc_ = 0;
  std::uint32_t data_crc_ = 0;
  std::uint32_t data_size_ = 0;  // modulo 2^32, as ISIZE stores it
};

static_assert(ByteSource<GzipDecoder>);

}  // namespace quiverlane
