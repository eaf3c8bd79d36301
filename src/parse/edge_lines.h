// Turns lines of text into edges of a graph, one add_edge per line.
//
// Works on bytes in the caller's buffer: the line splitter and the token
// parser copy nothing. Pure-ASCII lines take a fast path; a line holding any
// other byte is validated as UTF-8 (invalid UTF-8 is a fault) and split at
// Unicode white space. The line index counts from 0, as in the messages.
#pragma once

#include <cstdint>

#include "graph/graph.h"
#include "parse/edge_list.h"

namespace quiverlane {

class EdgeLineParser {
 public:
  // Handles every LF-terminated line in [first, last) and returns the start
  // of the unterminated rest, or nullptr once a line is refused (error()).
  const std::uint8_t* take_lines(const std::uint8_t* first, const std::uint8_t* last);

  // Handles the data's last line, which has no LF. False once refused.
  bool take_last_line(const std::uint8_t* first, const std::uint8_t* last);

  Graph& graph() noexcept { return graph_; }
  EdgeListError& error() noexcept { return error_; }

 private:
  bool take_line(const std::uint8_t* first, const std::uint8_t* last);
  bool take_unicode_line(const std::uint8_t* first, const std::uint8_t* last);
  bool take_tokens(const std::uint8_t* const* bounds, unsigned count);
  bool refuse(EdgeListError::Kind kind, std::string message);

  Graph graph_;
  std::uint64_t line_ = 0;
  EdgeListError error_{EdgeListError::Kind::kTokenCount, {}, 0};
};

}  // namespace quiverlane
