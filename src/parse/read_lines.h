// The read loop shared by the plain and the gzip reader.
#pragma once

#include <cstddef>
#include <optional>

#include "parse/edge_lines.h"
#include "parse/text_window.h"
#include "support/interrupt.h"

namespace quiverlane {

// Feeds every line of `source` (anything with read(into, capacity) that
// returns 0 only at the end) to `sink`. Lines are handled as soon as they
// are complete, so the data is never held whole.
template <class Source, class Sink>
std::optional<EdgeListError> read_lines(Source& source, Sink& sink, std::size_t window_capacity) {
  TextWindow window(window_capacity);
  EdgeLineParser<Sink> parser(sink);
  for (;;) {
    check_interrupt();  // once a buffer: a few hundred microseconds of work
    std::uint8_t* free = window.make_room();
    const std::size_t got = source.read(free, window.room());
    if (got == 0) break;
    window.fill(got);
    const std::uint8_t* rest = parser.take_lines(window.begin(), window.end());
    if (rest == nullptr) return std::move(parser.error());
    window.consume_to(rest);
  }
  // Data that ends without a LF still ends a line; an empty rest is no line.
  if (window.begin() != window.end() && !parser.take_last_line(window.begin(), window.end()))
    return std::move(parser.error());
  return std::nullopt;
}

}  // namespace quiverlane
