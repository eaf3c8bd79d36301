// Byte-level text rules of the edge-list format: UTF-8 validity, white
// space and vertex-id tokens. Everything works on raw bytes in place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "graph/vertex.h"

namespace quiverlane::text {

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool is_valid_utf8(const std::uint8_t* first, const std::uint8_t* last) noexcept;

// `bytes` made valid UTF-8: each maximal ill-formed sequence becomes one
// U+FFFD, the Unicode standard's recommended practice, which decoders such
// as Python's follow when told to replace.
std::string with_replacement_characters(std::string_view bytes);

// Byte length of the UTF-8 character starting at a valid lead byte.
inline std::size_t char_length(std::uint8_t lead) noexcept {
  return lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
}

constexpr bool is_ascii_space(std::uint8_t byte) noexcept {
  // U+0009..U+000D and U+0020; U+001C..U+001F are not White_Space.
  return byte == ' ' || (byte >= 0x09 && byte <= 0x0D);
}

// Byte length of the White_Space character at p (in valid UTF-8, p < last),
// or 0 when the character there is not white space.
std::size_t space_length(const std::uint8_t* p, const std::uint8_t* last) noexcept;

// An optional single '+' then one or more ASCII digits, value at most
// 4294967295; any number of leading zeros.
inline bool parse_vertex(const std::uint8_t* p, const std::uint8_t* last, Vertex& out) noexcept {
  if (p != last && *p == '+') ++p;
  if (p == last) return false;
  std::uint64_t value = 0;
  for (; p != last; ++p) {
    const unsigned digit = static_cast<unsigned>(*p) - '0';
    if (digit > 9) return false;
    // value <= kMaxVertex before this step, so the product cannot wrap.
    value = value * 10 + digit;
    if (value > kMaxVertex) return false;
  }
  out = static_cast<Vertex>(value);
  return true;
}

}  // namespace quiverlane::text
