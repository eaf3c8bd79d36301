// Why an edge-list file was refused: it cannot be opened, or a line of it
// is no edge. Faults (data that cannot be read at all) are not refusals and
// never come back as one.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quiverlane {

struct EdgeListError {
  enum class Kind {
    kOpenFailure,  // detail: the operating system's reason, valid UTF-8
    kTokenCount,   // the line has fewer or more than two tokens
    kBadVertex,    // detail: the token that is no vertex id
  };
  Kind kind;
  // 0-based index of the refused line; meaningless for kOpenFailure.
  std::uint64_t line = 0;
  std::string detail;  // as Kind says; empty for kTokenCount

  // What went wrong for a person reading it, lines counted from 1, around
  // the file's name as the caller quotes it:
  //   while opening 'x.txt': No such file or directory (errno 2)
  //   while reading 'x.txt': line 2 does not contain two tokens
  //   while reading 'x.txt': line 2: cannot parse vertex id 1e3
  // Valid UTF-8 wherever `quoted_name` is.
  std::string describe(std::string_view quoted_name) const;
};

}  // namespace quiverlane
