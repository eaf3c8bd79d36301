// The edge-list reader: a graph from a text file of one "u v" edge per line,
// stored plainly or gzip-compressed. Knows nothing of Python.
//
// Expected failures (the file cannot be opened, a line is refused) come back
// as an EdgeListError. Data that cannot be read at all once the file is open
// (an OS read error, invalid UTF-8, any gzip failure) is an internal fault.
// Either way the file is closed and no partial graph escapes.
#pragma once

#include <cstddef>
#include <string_view>
#include <variant>

#include "graph/graph.h"
#include "parse/edge_list_error.h"

namespace quiverlane {

using EdgeListResult = std::variant<Graph, EdgeListError>;

enum class EdgeListFormat { kPlain, kGzip };

// gzip exactly when the name ends in ".gz", in that case.
constexpr EdgeListFormat format_for_name(std::string_view name) noexcept {
  return name.ends_with(".gz") ? EdgeListFormat::kGzip : EdgeListFormat::kPlain;
}

// Buffer sizes, exposed so that the fuzzer can force lines and gzip
// members to straddle buffer boundaries. 64 KiB each: against 8 KiB text and
// 32 KiB compressed buffers, gzip loads ran about a tenth faster.
struct ReaderBuffers {
  std::size_t text = 64 * 1024;        // the line window (grows for longer lines)
  std::size_t compressed = 64 * 1024;  // gzip input
};

// O(bytes + lines * add_edge). `name` is UTF-8 and may hold any byte; its
// format is format_for_name(name).
EdgeListResult read_edge_list_file(std::string_view name);

EdgeListResult read_edge_list_file(std::string_view name, EdgeListFormat format,
                                   const ReaderBuffers& buffers);

}  // namespace quiverlane
