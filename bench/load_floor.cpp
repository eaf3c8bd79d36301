// Floors for bench_load.py: the reader's own stages, timed without Python
// and without building a graph.
//
//   load_floor <plain|gzip> <path> <repeats>
//
// prints one JSON object with the best time in seconds of each stage over
// the same file, using the reader's real code and buffer sizes:
//   read    the file's bytes through PosixFile (plain and gzip)
//   inflate those bytes through GzipDecoder (gzip only)
//   parse   everything the reader does except add_edge: the line splitter
//           and token parser feed a sink that only folds the ids together
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "parse/edge_list_reader.h"
#include "parse/gzip_decoder.h"
#include "parse/posix_file.h"
#include "parse/stream_parser.h"

using namespace quiverlane;

namespace {

struct FoldingSink {
  std::uint64_t edges = 0;
  std::uint64_t fold = 0;
  void add_edge(Vertex u, Vertex v) {
    ++edges;
    fold = fold * 31 + u + (std::uint64_t{v} << 32);
  }
};

template <class F>
double best_of(int repeats, F&& body) {
  double best = 1e300;
  for (int i = 0; i < repeats; ++i) {
    const auto start = std::chrono::steady_clock::now();
    body();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (took.count() < best) best = took.count();
  }
  return best;
}

template <ByteSource Source>
std::uint64_t drain(Source& source) {
  const ReaderBuffers sizes;
  auto buffer = std::make_unique<std::uint8_t[]>(sizes.text);
  std::uint64_t total = 0;
  while (const std::size_t got = source.read(buffer.get(), sizes.text)) total += got + buffer[0];
  return total;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s <plain|gzip> <path> <repeats>\n", argv[0]);
    return 2;
  }
  const bool gzip = std::strcmp(argv[1], "gzip") == 0;
  const std::string path = argv[2];
  const int repeats = std::atoi(argv[3]);
  const ReaderBuffers sizes;
  volatile std::uint64_t keep = 0;

  const double read = best_of(repeats, [&] {
    PosixFile file(path);
    keep = keep + drain(file);
  });
  double inflate = -1;
  if (gzip) {
    inflate = best_of(repeats, [&] {
      PosixFile file(path);
      GzipDecoder decoder(file, sizes.compressed);
      keep = keep + drain(decoder);
    });
  }
  std::uint64_t edges = 0;
  const double parse = best_of(repeats, [&] {
    PosixFile file(path);
    FoldingSink sink;
    if (gzip) {
      GzipDecoder decoder(file, sizes.compressed);
      if (parse_stream(decoder, sink, sizes.text)) std::abort();
    } else {
      if (parse_stream(file, sink, sizes.text)) std::abort();
    }
    edges = sink.edges;
    keep = keep + sink.fold;
  });
  std::printf("{\"read\": %.6f, \"inflate\": %.6f, \"parse\": %.6f, \"lines\": %llu}\n", read,
              inflate, parse, static_cast<unsigned long long>(edges));
  return 0;
}
