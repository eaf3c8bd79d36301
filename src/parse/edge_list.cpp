#include "parse/edge_list.h"

#include <string>

#include "parse/edge_lines.h"
#include "parse/gzip_decoder.h"
#include "parse/posix_file.h"
#include "parse/read_error.h"
#include "parse/text_window.h"

namespace quiverlane {

namespace {

EdgeListError open_failure(const PosixFile& file) {
  std::string message = file.error() == 0 ? std::string("data provided contains a nul byte")
                                          : os_error_text(file.error()) + " (os error " +
                                                std::to_string(file.error()) + ")";
  return EdgeListError{EdgeListError::Kind::kOpenFailure, std::move(message), 0};
}

// Lines are handled as soon as they are complete, so the file is never held
// whole; on a refused line the graph built so far is dropped with the parser.
template <class Source>
EdgeListResult read_lines(Source& source, std::size_t window_capacity) {
  TextWindow window(window_capacity);
  EdgeLineParser parser;
  for (;;) {
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
  return std::move(parser.graph());
}

}  // namespace

EdgeListResult read_edge_list(std::string_view filename, const ReaderBuffers& buffers) {
  PosixFile file(filename);
  if (!file.is_open()) return open_failure(file);
  return read_lines(file, buffers.text);
}

EdgeListResult read_gzip_edge_list(std::string_view filename, const ReaderBuffers& buffers) {
  PosixFile file(filename);
  if (!file.is_open()) return open_failure(file);
  GzipDecoder decoder(file, buffers.compressed);
  return read_lines(decoder, buffers.text);
}

EdgeListResult read_edge_list(std::string_view filename) {
  return read_edge_list(filename, ReaderBuffers{});
}

EdgeListResult read_gzip_edge_list(std::string_view filename) {
  return read_gzip_edge_list(filename, ReaderBuffers{});
}

}  // namespace quiverlane
