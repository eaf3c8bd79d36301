#include "parse/text.h"

namespace quiverlane::text {

namespace {
inline bool continuation(std::uint8_t byte) noexcept { return (byte & 0xC0) == 0x80; }
}  // namespace

bool is_valid_utf8(const std::uint8_t* p, const std::uint8_t* last) noexcept {
  while (p != last) {
    const std::uint8_t lead = *p;
    if (lead < 0x80) {
      ++p;
      continue;
    }
    const std::size_t left = static_cast<std::size_t>(last - p);
    if (lead >= 0xC2 && lead <= 0xDF) {
      if (left < 2 || !continuation(p[1])) return false;
      p += 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      if (left < 3 || !continuation(p[1]) || !continuation(p[2])) return false;
      // E0 would allow overlong forms, ED the UTF-16 surrogates.
      if (lead == 0xE0 && p[1] < 0xA0) return false;
      if (lead == 0xED && p[1] > 0x9F) return false;
      p += 3;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      if (left < 4 || !continuation(p[1]) || !continuation(p[2]) || !continuation(p[3]))
        return false;
      // F0 would allow overlong forms, F4 code points above U+10FFFF.
      if (lead == 0xF0 && p[1] < 0x90) return false;
      if (lead == 0xF4 && p[1] > 0x8F) return false;
      p += 4;
    } else {
      return false;  // stray continuation byte, C0, C1 or F5..FF
    }
  }
  return true;
}

std::size_t space_length(const std::uint8_t* p, const std::uint8_t* last) noexcept {
  const std::uint8_t lead = *p;
  if (lead < 0x80) return is_ascii_space(lead) ? 1 : 0;
  const std::size_t left = static_cast<std::size_t>(last - p);
  if (lead == 0xC2 && left >= 2) {
    return p[1] == 0x85 || p[1] == 0xA0 ? 2 : 0;  // U+0085, U+00A0
  }
  if (left < 3) return 0;
  if (lead == 0xE1) return p[1] == 0x9A && p[2] == 0x80 ? 3 : 0;  // U+1680
  if (lead == 0xE2 && p[1] == 0x80) {
    // U+2000..U+200A (U+200B is not White_Space), U+2028, U+2029, U+202F.
    const std::uint8_t c = p[2];
    return (c >= 0x80 && c <= 0x8A) || c == 0xA8 || c == 0xA9 || c == 0xAF ? 3 : 0;
  }
  if (lead == 0xE2 && p[1] == 0x81) return p[2] == 0x9F ? 3 : 0;  // U+205F
  if (lead == 0xE3) return p[1] == 0x80 && p[2] == 0x80 ? 3 : 0;  // U+3000
  return 0;
}

}  // namespace quiverlane::text
