#include "parse/edge_list_reader.h"

#include <string>

#include "graph/graph_builder.h"
#include "parse/gzip_decoder.h"
#include "parse/posix_file.h"
#include "parse/read_faults.h"
#include "parse/stream_parser.h"
#include "parse/text.h"

namespace quiverlane {

namespace {

EdgeListError open_failure(const PosixFile& file) {
  // The system's text follows the locale, which need not be UTF-8.
  std::string reason = file.error() == 0
                           ? std::string("data provided contains a nul byte")
                           : text::with_replacement_characters(os_error_text(file.error())) +
                                 " (errno " + std::to_string(file.error()) + ")";
  return EdgeListError{EdgeListError::Kind::kOpenFailure, 0, std::move(reason)};
}

// On a refused line the graph built so far is dropped here, never returned.
template <ByteSource Source>
EdgeListResult read_graph(Source& source, std::size_t window_capacity) {
  GraphBuilder builder;
  if (auto error = parse_stream(source, builder, window_capacity)) return std::move(*error);
  return std::move(builder).finish();
}

}  // namespace

EdgeListResult read_edge_list_file(std::string_view name) {
  return read_edge_list_file(name, format_for_name(name), ReaderBuffers{});
}

EdgeListResult read_edge_list_file(std::string_view name, EdgeListFormat format,
                                   const ReaderBuffers& buffers) {
  PosixFile file(name);
  if (!file.is_open()) return open_failure(file);
  if (format == EdgeListFormat::kGzip) {
    GzipDecoder decoder(file, buffers.compressed);
    return read_graph(decoder, buffers.text);
  }
  return read_graph(file, buffers.text);
}

}  // namespace quiverlane
