#include "parse/edge_lines.h"

#include <array>
#include <cstring>
#include <string>

#include "parse/read_error.h"
#include "parse/text.h"

namespace quiverlane {

namespace {

// Bounds of up to three tokens: a third one is enough to refuse the line.
constexpr unsigned kTokenSlots = 3;

// Byte classes of the ASCII fast path.
enum : std::uint8_t { kTokenByte = 0, kSpaceByte = 1, kHighByte = 2 };

constexpr auto kClasses = [] {
  std::array<std::uint8_t, 256> classes{};
  for (unsigned b = 0; b < 256; ++b) {
    classes[b] = b >= 0x80 ? kHighByte
                 : text::is_ascii_space(static_cast<std::uint8_t>(b)) ? kSpaceByte
                                                                       : kTokenByte;
  }
  return classes;
}();

}  // namespace

const std::uint8_t* EdgeLineParser::take_lines(const std::uint8_t* first,
                                               const std::uint8_t* last) {
  while (first != last) {
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

bool EdgeLineParser::take_last_line(const std::uint8_t* first, const std::uint8_t* last) {
  return take_line(first, last);
}

bool EdgeLineParser::take_line(const std::uint8_t* first, const std::uint8_t* last) {
  const std::uint8_t* bounds[2 * kTokenSlots];
  unsigned count = 0;
  const std::uint8_t* p = first;
  for (;;) {
    while (p != last && kClasses[*p] == kSpaceByte) ++p;
    if (p == last) break;
    if (kClasses[*p] == kHighByte) return take_unicode_line(first, last);
    const std::uint8_t* start = p;
    while (p != last && kClasses[*p] == kTokenByte) ++p;
    if (p != last && kClasses[*p] == kHighByte) return take_unicode_line(first, last);
    if (count < kTokenSlots) {
      bounds[2 * count] = start;
      bounds[2 * count + 1] = p;
    }
    ++count;
  }
  return take_tokens(bounds, count);
}

bool EdgeLineParser::take_unicode_line(const std::uint8_t* first, const std::uint8_t* last) {
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

bool EdgeLineParser::take_tokens(const std::uint8_t* const* bounds, unsigned count) {
  if (count != 2) {
    return refuse(EdgeListError::Kind::kTokenCount,
                  "Line " + std::to_string(line_) + " does not contain two tokens");
  }
  Vertex ends[2];
  for (unsigned i = 0; i < 2; ++i) {
    if (!text::parse_vertex(bounds[2 * i], bounds[2 * i + 1], ends[i])) {
      const auto* token = reinterpret_cast<const char*>(bounds[2 * i]);
      return refuse(EdgeListError::Kind::kBadVertex,
                    "Cannot parse vertex id " +
                        std::string(token, static_cast<std::size_t>(bounds[2 * i + 1] - bounds[2 * i])));
    }
  }
  graph_.add_edge(ends[0], ends[1]);
  ++line_;
  return true;
}

bool EdgeLineParser::refuse(EdgeListError::Kind kind, std::string message) {
  error_ = EdgeListError{kind, std::move(message), line_};
  return false;
}

}  // namespace quiverlane
