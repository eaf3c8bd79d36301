#include "parse/text.h"

namespace quiverlane::text {

namespace {

// The length of the well-formed character at p (p < last), or 0 if none
// begins there; then `ill_formed` gets the length of the longest start of
// one found there (at least 1), which is a single ill-formed sequence to the
// replacement rule of the Unicode standard.
std::size_t char_at(const std::uint8_t* p, const std::uint8_t* last,
                    std::size_t& ill_formed) noexcept {
  const std::uint8_t lead = *p;
  if (lead < 0x80) return 1;
  // Four leads narrow the second byte's range: E0 and F0 would allow
  // overlong forms, ED the UTF-16 surrogates, F4 code points above U+10FFFF.
  std::size_t length;
  std::uint8_t low = 0x80, high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    ill_formed = 1;  // stray continuation byte, C0, C1 or F5..FF
    return 0;
  }
  const std::size_t left = static_cast<std::size_t>(last - p);
  std::size_t i = 1;
  for (; i < length && i < left; ++i) {
    if (p[i] < low || p[i] > high) break;
    low = 0x80;
    high = 0xBF;
  }
  if (i == length) return length;
  ill_formed = i;
  return 0;
}

}  // namespace

bool is_valid_utf8(const std::uint8_t* p, const std::uint8_t* last) noexcept {
  std::size_t ill_formed = 0;
  while (p != last) {
    if (*p < 0x80) {
      ++p;
      continue;
    }
    const std::size_t length = char_at(p, last, ill_formed);
    if (length == 0) return false;
    p += length;
  }
  return true;
}

std::string with_replacement_characters(std::string_view bytes) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.data());
  const auto* last = p + bytes.size();
  std::string out;
  out.reserve(bytes.size());
  std::size_t ill_formed = 0;
  while (p != last) {
    if (const std::size_t length = char_at(p, last, ill_formed)) {
      out.append(reinterpret_cast<const char*>(p), length);
      p += length;
    } else {
      out += "\xEF\xBF\xBD";  // U+FFFD
      p += ill_formed;
    }
  }
  return out;
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
