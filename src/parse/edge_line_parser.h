// Turns lines of text into edges, one sink.add_edge(u, v) per line.
//
// Works on bytes in the caller's buffer: the line splitter and the token
// parser copy nothing. Pure-ASCII lines take a fast path; a line holding any
// other byte is validated as UTF-8 (invalid UTF-8 is a fault) and split at
// Unicode white space. A refused line's index counts from 0 (the text made
// of it, EdgeListError::describe, counts from 1). The sink is a template
// parameter so that a benchmark can measure parsing alone; the reader's sink
// is a GraphBuilder.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>

#include "graph/vertex.h"
#include "parse/edge_list_error.h"
#include "parse/read_faults.h"
#include "parse/text.h"

namespace quiverlane {

namespace detail {

// Byte classes of the ASCII fast path.
enum : std::uint8_t { kTokenByte = 0, kSpaceByte = 1, kHighByte = 2 };

inline constexpr auto kByteClasses = [] {
  std::array<std::uint8_t, 256> classes{};
  for (unsigned b = 0; b < 256; ++b) {
    classes[b] = b >= 0x80 ? kHighByte
                 : text::is_ascii_space(static_cast<std::uint8_t>(b)) ? kSpaceByte
                                                                       : kTokenByte;
  }
  return classes;
}();

// Bounds of up to three tokens: a third one is enough to refuse the line.
inline constexpr unsigned kTokenSlots = 3;

// The number of ASCII digits that begin the eight bytes of `chunk` (the
// first byte lowest). A byte is a digit when b - '0' does not borrow and
// b + 0x46 does not carry into its top bit; a borrow or carry can only
// spill from a byte that is no digit into the bytes after it, so the first
// flagged byte is the first non-digit.
inline unsigned leading_digits(std::uint64_t chunk) noexcept {
  const std::uint64_t flagged =
      ((chunk - 0x3030303030303030ull) | (chunk + 0x4646464646464646ull)) & 0x8080808080808080ull;
  return flagged == 0 ? 8 : static_cast<unsigned>(__builtin_ctzll(flagged)) / 8;
}

// The value of eight ASCII digits, the first byte most significant; zero
// bytes count as leading zeros. Three multiplications fold 8 digits into 4
// pairs, 2 quads and one number.
inline std::uint64_t eight_digits(std::uint64_t chunk) noexcept {
  chunk = ((chunk & 0x0F0F0F0F0F0F0F0Full) * 2561) >> 8;
  chunk = ((chunk & 0x00FF00FF00FF00FFull) * 6553601) >> 16;
  return ((chunk & 0x0000FFFF0000FFFFull) * 42949672960001ull) >> 32;
}

// Up to ten ASCII digits at p, read eight bytes at a time; nullptr if there
// are none, more than ten (the general path reads those, leading zeros and
// all) or they run up to `last` (the line is not complete). The text window
// keeps readable bytes past its data, so the loads may run past `last`;
// what lies there never counts.
inline const std::uint8_t* take_digits(const std::uint8_t* p, const std::uint8_t* last,
                                       std::uint64_t& value) {
  const auto left = static_cast<std::size_t>(last - p);
  std::uint64_t chunk;
  std::memcpy(&chunk, p, sizeof chunk);
  const std::size_t n = std::min<std::size_t>(leading_digits(chunk), left);
  if (n == 0 || n == left) return nullptr;
  value = eight_digits(chunk << (8 * (8 - n)));
  if (n < 8) return p + n;
  std::memcpy(&chunk, p + 8, sizeof chunk);
  const std::size_t more = std::min<std::size_t>(leading_digits(chunk), left - 8);
  if (more > 2 || more == left - 8) return nullptr;
  for (std::size_t i = 0; i < more; ++i) value = value * 10 + (p[8 + i] - '0');
  return p + 8 + more;
}

// The line almost every file is made of, "digits SP digits LF" (with a CR
// before the LF or not), read in one pass with no tokenizing. Returns the
// start of the next line, or nullptr for a line of any other shape, which
// the general path then takes to exactly the same effect.
inline const std::uint8_t* take_plain_line(const std::uint8_t* p, const std::uint8_t* last,
                                           Vertex (&ends)[2]) {
  std::uint64_t a, b;
  p = take_digits(p, last, a);
  if (p == nullptr || *p != ' ') return nullptr;
  p = take_digits(p + 1, last, b);
  if (p == nullptr) return nullptr;
  if (*p == '\r' && ++p == last) return nullptr;
  if (*p != '\n' || a > kMaxVertex || b > kMaxVertex) return nullptr;
  ends[0] = static_cast<Vertex>(a);
  ends[1] = static_cast<Vertex>(b);
  return p + 1;
}

}  // namespace detail

// Where the edges go: a GraphBuilder, or a benchmark's stand-in.
template <class S>
concept EdgeSink = requires(S& sink, Vertex u, Vertex v) { sink.add_edge(u, v); };

template <EdgeSink Sink>
class EdgeLineParser {
 public:
  explicit EdgeLineParser(Sink& sink) : sink_(sink) {}

  // Handles every LF-terminated line in [first, last) and returns the start
  // of the unterminated rest, or nullptr once a line is refused (error()).
  const std::uint8_t* take_lines(const std::uint8_t* first, const std::uint8_t* last) {
    while (first != last) {
      Vertex ends[2];
      if (const std::uint8_t* next = detail::take_plain_line(first, last, ends)) {
        sink_.add_edge(ends[0], ends[1]);
        ++line_;
        first = next;
        continue;
      }
      const auto* feed = static_cast<const std::uint8_t*>(
          std::memchr(first, '\n', static_cast<std::size_t>(last - first)));
      if (feed == nullptr) break;
      // A CR before the LF is white space to the tokenizer, so leaving it in
      // place has the same effect as stripping it.
      if (!take_line(first, feed)) return nullptr;
      first = feed + 1;
    }
    return first;
  }

  // Handles the data's last line, which has no LF. False once refused.
  bool take_last_line(const std::uint8_t* first, const std::uint8_t* last) {
    return take_line(first, last);
  }

  EdgeListError& error() noexcept { return error_; }

 private:
  bool take_line(const std::uint8_t* first, const std::uint8_t* last) {
    using namespace detail;
    const std::uint8_t* bounds[2 * kTokenSlots];
    unsigned count = 0;
    const std::uint8_t* p = first;
    for (;;) {
      while (p != last && kByteClasses[*p] == kSpaceByte) ++p;
      if (p == last) break;
      if (kByteClasses[*p] == kHighByte) return take_unicode_line(first, last);
      const std::uint8_t* start = p;
      while (p != last && kByteClasses[*p] == kTokenByte) ++p;
      if (p != last && kByteClasses[*p] == kHighByte) return take_unicode_line(first, last);
      if (count < kTokenSlots) {
        bounds[2 * count] = start;
        bounds[2 * count + 1] = p;
      }
      ++count;
    }
    return take_tokens(bounds, count);
  }

  bool take_unicode_line(const std::uint8_t* first, const std::uint8_t* last) {
    using namespace detail;
    // The line as a whole is checked before its tokens are looked at, so an
    // invalid line faults even where it also has the wrong token count.
    if (!text::is_valid_utf8(first, last)) read_failed(ReadErrorKind::kInvalidData, kInvalidUtf8);
    const std::uint8_t* bounds[2 * kTokenSlots];
    unsigned count = 0;
    const std::uint8_t* p = first;
    while (p != last) {
      if (const std::size_t space = text::space_length(p, last)) {
        p += space;
        continue;
      }
      const std::uint8_t* start = p;
      while (p != last && text::space_length(p, last) == 0) p += text::char_length(*p);
      if (count < kTokenSlots) {
        bounds[2 * count] = start;
        bounds[2 * count + 1] = p;
      }
      ++count;
    }
    return take_tokens(bounds, count);
  }

  // Out of line: inlined, it crowds the registers of the fast path in
  // take_lines, which almost every line takes, and costs each of those lines
  // an instruction or so.
  [[gnu::noinline]] bool take_tokens(const std::uint8_t* const* bounds, unsigned count) {
    if (count != 2) return refuse(EdgeListError::Kind::kTokenCount, {});
    Vertex ends[2];
    for (unsigned i = 0; i < 2; ++i) {
      if (!text::parse_vertex(bounds[2 * i], bounds[2 * i + 1], ends[i])) {
        const auto* start = reinterpret_cast<const char*>(bounds[2 * i]);
        const auto length = static_cast<std::size_t>(bounds[2 * i + 1] - bounds[2 * i]);
        return refuse(EdgeListError::Kind::kBadVertex, std::string(start, length));
      }
    }
    sink_.add_edge(ends[0], ends[1]);
    ++line_;
    return true;
  }

  bool refuse(EdgeListError::Kind kind, std::string detail) {
    error_ = EdgeListError{kind, line_, std::move(detail)};
    return false;
  }

  Sink& sink_;
  std::uint64_t line_ = 0;
  EdgeListError error_{EdgeListError::Kind::kTokenCount, 0, {}};
};

}  // namespace quiverlane
