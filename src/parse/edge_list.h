// The edge-list reader: a graph from a text file of one "u v" edge per line,
// stored plainly or gzip-compressed. Knows nothing of Python.
//
// Expected failures (the file cannot be opened, a line is refused) come back
// as an EdgeListError. Data that cannot be read at all once the file is open
// (an OS read error, invalid UTF-8, any gzip failure) is an internal fault.
// Either way the file is closed and no partial graph escapes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "graph/graph.h"

namespace quiverlane {

struct EdgeListError {
  enum class Kind {
    kOpenFailure,       // message: the operating system's reason
    kTokenCount,        // "Line {} does not contain two tokens"
    kBadVertex,         // "Cannot parse vertex id {}"
  };
  Kind kind;
  std::string message;
  // 0-based index of the refused line; meaningless for kOpenFailure.
  std::uint64_t line = 0;
  // The refused token, for kBadVertex.
  std::string token;

  // What went wrong for a person reading it, lines counted from 1:
  //   "No such file or directory (errno 2)"
  //   "line 2 does not contain two tokens"
  //   "line 2: cannot parse vertex id 1e3"
  std::string explanation() const;
};

using EdgeListResult = std::variant<Graph, EdgeListError>;

// O(bytes + lines * add_edge). `filename` is UTF-8 and may hold any byte.
EdgeListResult read_edge_list(std::string_view filename);
EdgeListResult read_gzip_edge_list(std::string_view filename);

// Buffer sizes, exposed so that the fuzzer can force lines and gzip
// members to straddle buffer boundaries. 64 KiB each: against 8 KiB text and
// 32 KiB compressed buffers, gzip loads ran about a tenth faster.
struct ReaderBuffers {
  std::size_t text = 64 * 1024;        // the line window (grows for longer lines)
  std::size_t compressed = 64 * 1024;  // gzip input
};

EdgeListResult read_edge_list(std::string_view filename, const ReaderBuffers& buffers);
EdgeListResult read_gzip_edge_list(std::string_view filename, const ReaderBuffers& buffers);

}  // namespace quiverlane
