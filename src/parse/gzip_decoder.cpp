#include "parse/gzip_decoder.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

#include "parse/read_faults.h"
#include "support/fault.h"

namespace quiverlane {

namespace {

constexpr std::uint8_t kMagic0 = 0x1F;
constexpr std::uint8_t kMagic1 = 0x8B;
constexpr std::uint8_t kMethodDeflate = 8;
constexpr std::uint8_t kFlagHeaderCrc = 0x02;
constexpr std::uint8_t kFlagExtra = 0x04;
constexpr std::uint8_t kFlagName = 0x08;
constexpr std::uint8_t kFlagComment = 0x10;
// MTIME (4 bytes), XFL and OS.
constexpr std::size_t kFixedHeaderRest = 6;
// Peeking at the next member's magic needs two bytes in the buffer.
constexpr std::size_t kMinInput = 16;

[[noreturn]] void truncated() { read_failed(ReadErrorKind::kUnexpectedEof, kUnexpectedEof); }

}  // namespace

GzipDecoder::GzipDecoder(PosixFile& file, std::size_t input_capacity)
    : file_(file),
      input_capacity_(std::clamp<std::size_t>(input_capacity, kMinInput, UINT_MAX)) {
  input_ = std::make_unique_for_overwrite<std::uint8_t[]>(input_capacity_);
  stream_.next_in = input_.get();
  stream_.avail_in = 0;
  // Negative window bits: raw deflate, the gzip framing is ours.
  const int status = inflateInit2(&stream_, -MAX_WBITS);
  if (status == Z_MEM_ERROR) throw std::bad_alloc();
  if (status != Z_OK) fault("zlib refused to initialise an inflate stream");
}

GzipDecoder::~GzipDecoder() { inflateEnd(&stream_); }

bool GzipDecoder::refill() {
  // Unconsumed bytes move to the front; callers keep them below capacity.
  const std::size_t kept = stream_.avail_in;
  if (kept > 0 && stream_.next_in != input_.get())
    std::memmove(input_.get(), stream_.next_in, kept);
  const std::size_t got = file_.read(input_.get() + kept, input_capacity_ - kept);
  stream_.next_in = input_.get();
  stream_.avail_in = static_cast<uInt>(kept + got);
  return got > 0;
}

std::uint8_t GzipDecoder::next_byte() {
  if (stream_.avail_in == 0 && !refill()) truncated();
  --stream_.avail_in;
  return *stream_.next_in++;
}

std::uint8_t GzipDecoder::next_header_byte() {
  const std::uint8_t byte = next_byte();
  header_crc_ = static_cast<std::uint32_t>(crc32(header_crc_, &byte, 1));
  return byte;
}

void GzipDecoder::skip_header_bytes(std::size_t count) {
  while (count-- > 0) next_header_byte();
}

void GzipDecoder::read_header() {
  header_crc_ = static_cast<std::uint32_t>(crc32(0, Z_NULL, 0));
  if (next_header_byte() != kMagic0 || next_header_byte() != kMagic1 ||
      next_header_byte() != kMethodDeflate) {
    read_failed(ReadErrorKind::kInvalidInput, kInvalidGzipHeader);
  }
  const std::uint8_t flags = next_header_byte();
  skip_header_bytes(kFixedHeaderRest);
  if (flags & kFlagExtra) {
    const std::size_t low = next_header_byte();
    const std::size_t high = next_header_byte();
    skip_header_bytes(low | high << 8);
  }
  if (flags & kFlagName) {
    while (next_header_byte() != 0) {
    }
  }
  if (flags & kFlagComment) {
    while (next_header_byte() != 0) {
    }
  }
  if (flags & kFlagHeaderCrc) {
    const std::uint32_t expected = header_crc_ & 0xFFFFu;
    const std::uint32_t low = next_byte();
    const std::uint32_t high = next_byte();
    if ((low | high << 8) != expected) read_failed(ReadErrorKind::kInvalidData, kChecksumMismatch);
  }
  data_crc_ = static_cast<std::uint32_t>(crc32(0, Z_NULL, 0));
  data_size_ = 0;
  if (inflateReset(&stream_) != Z_OK) fault("zlib refused to reset an inflate stream");
  state_ = State::kBody;
}

void GzipDecoder::read_trailer() {
  std::uint32_t crc = 0, size = 0;
  for (int i = 0; i < 4; ++i) crc |= static_cast<std::uint32_t>(next_byte()) << (8 * i);
  for (int i = 0; i < 4; ++i) size |= static_cast<std::uint32_t>(next_byte()) << (8 * i);
  if (crc != data_crc_ || size != data_size_)
    read_failed(ReadErrorKind::kInvalidData, kChecksumMismatch);
}

bool GzipDecoder::next_member_follows() {
  while (stream_.avail_in < 2 && refill()) {
  }
  return stream_.avail_in >= 2 && stream_.next_in[0] == kMagic0 && stream_.next_in[1] == kMagic1;
}

std::size_t GzipDecoder::inflate_into(std::uint8_t* into, std::size_t capacity) {
  capacity = std::min<std::size_t>(capacity, UINT_MAX);
  stream_.next_out = into;
  stream_.avail_out = static_cast<uInt>(capacity);
  for (;;) {
    if (stream_.avail_in == 0 && !refill()) truncated();
    const int status = inflate(&stream_, Z_NO_FLUSH);
    const std::size_t produced = capacity - stream_.avail_out;
    if (status == Z_MEM_ERROR) throw std::bad_alloc();
    data_crc_ = static_cast<std::uint32_t>(crc32(data_crc_, into, static_cast<uInt>(produced)));
    data_size_ += static_cast<std::uint32_t>(produced);
    if (status == Z_STREAM_END) {
      state_ = State::kTrailer;
      return produced;
    }
    // Z_BUF_ERROR only says no progress was possible: the input ran dry.
    if (status != Z_OK && status != Z_BUF_ERROR) {
      state_ = State::kFailed;
      return produced;
    }
    if (produced > 0) return produced;
  }
}

void GzipDecoder::finish_member() {
  read_trailer();
  state_ = next_member_follows() ? State::kHeader : State::kDone;
}

std::size_t GzipDecoder::read(std::uint8_t* into, std::size_t capacity) {
  for (;;) {
    switch (state_) {
      case State::kDone:
        return 0;
      case State::kHeader:
        read_header();
        break;
      case State::kBody:
        if (const std::size_t produced = inflate_into(into, capacity)) return produced;
        break;
      case State::kTrailer:
        finish_member();
        break;
      case State::kFailed:
        read_failed(ReadErrorKind::kInvalidData, kCorruptDeflate);
    }
  }
}

}  // namespace quiverlane
