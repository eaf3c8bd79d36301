// A whole byte stream parsed as edge lines, one window of it at a time: the
// loop shared by plain and gzip files.
#pragma once

#include <cstddef>
#include <optional>

#include "parse/byte_source.h"
#include "parse/edge_line_parser.h"
#include "parse/text_window.h"
#include "support/interrupt.h"

namespace quiverlane {

// Feeds every line of `source` to `sink`. Lines are handled as soon as they
// are complete, so the data is never held whole. A refused line ends the
// reading: what the source would give after it is never asked for, so a
// refusal wins over a fault further on.
template <ByteSource Source, EdgeSink Sink>
std::optional<EdgeListError> parse_stream(Source& source, Sink& sink, std::size_t window_capacity) {
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
