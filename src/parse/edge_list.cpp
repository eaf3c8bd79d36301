#include "parse/edge_list.h"

#include <string>

#include "graph/graph_builder.h"
#include "parse/gzip_decoder.h"
#include "parse/posix_file.h"
#include "parse/read_error.h"
#include "parse/read_lines.h"

namespace quiverlane {

namespace {

EdgeListError open_failure(const PosixFile& file) {
  std::string message = file.error() == 0 ? std::string("data provided contains a nul byte")
                                          : os_error_text(file.error()) + " (errno " +
                                                std::to_string(file.error()) + ")";
  return EdgeListError{EdgeListError::Kind::kOpenFailure, std::move(message), 0, {}};
}

// On a refused line the graph built so far is dropped here, never returned.
template <class Source>
EdgeListResult read_graph(Source& source, std::size_t window_capacity) {
  GraphBuilder builder;
  if (auto error = read_lines(source, builder, window_capacity)) return std::move(*error);
  return std::move(builder).finish();
}

}  // namespace

std::string EdgeListError::explanation() const {
  switch (kind) {
    case Kind::kOpenFailure:
      return message;
    case Kind::kTokenCount:
      return "line " + std::to_string(line + 1) + " does not contain two tokens";
    case Kind::kBadVertex:
      return "line " + std::to_string(line + 1) + ": cannot parse vertex id " + token;
  }
  return message;
}

EdgeListResult read_edge_list(std::string_view filename, const ReaderBuffers& buffers) {
  PosixFile file(filename);
  if (!file.is_open()) return open_failure(file);
  return read_graph(file, buffers.text);
}

EdgeListResult read_gzip_edge_list(std::string_view filename, const ReaderBuffers& buffers) {
  PosixFile file(filename);
  if (!file.is_open()) return open_failure(file);
  GzipDecoder decoder(file, buffers.compressed);
  return read_graph(decoder, buffers.text);
}

EdgeListResult read_edge_list(std::string_view filename) {
  return read_edge_list(filename, ReaderBuffers{});
}

EdgeListResult read_gzip_edge_list(std::string_view filename) {
  return read_gzip_edge_list(filename, ReaderBuffers{});
}

}  // namespace quiverlane
