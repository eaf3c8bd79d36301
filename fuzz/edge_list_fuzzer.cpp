// libFuzzer target for the edge-list reader: the line parser and the gzip path.
//
// The input's first byte picks a mode and the buffer sizes; the rest is the
// data, written to a memfd and read back through its /proc path, so the
// reader runs exactly as it does on a file. Tiny buffers make lines, UTF-8
// sequences and gzip headers straddle every possible boundary.
//
//   mode 0: plain text, checked against a slow reference model below.
//   mode 1: the text gzip-compressed here (split into up to three members),
//           read by the gzip reader: must agree with the same reference.
//   mode 2: the data is taken as a gzip file as it stands; reading it with
//           tiny and with default buffers must both succeed or both fail,
//           and agree on the graph.
// Every mode also checks that the reader left no descriptor open on the file.
#include <dirent.h>
#include <sys/mman.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "parse/edge_list_reader.h"
#include "support/fault.h"

using namespace quiverlane;

namespace {

using Edges = std::set<std::pair<std::uint32_t, std::uint32_t>>;

// How a refusal's text quotes the file's name here.
constexpr std::string_view kName = "'edges'";

struct Outcome {
  enum class Kind { kGraph, kTokenCount, kBadVertex, kOpen, kFault } kind;
  std::string detail;  // the text of a refusal (around kName) or a fault
  std::uint64_t line = 0;
  Edges edges;
  std::uint64_t vertices = 0;
};

[[noreturn]] void fail(const char* what, const Outcome& got, const Outcome& want) {
  std::fprintf(stdout, "MISMATCH %s: got kind %d '%s' line %llu edges %zu; want kind %d '%s' line %llu edges %zu\n",
               what, static_cast<int>(got.kind), got.detail.c_str(),
               static_cast<unsigned long long>(got.line), got.edges.size(),
               static_cast<int>(want.kind), want.detail.c_str(),
               static_cast<unsigned long long>(want.line), want.edges.size());
  std::fflush(stdout);
  std::abort();
}

// ---- reference model: whole lines in strings, code points decoded ---------

bool decode_utf8(const std::string& s, std::vector<std::pair<std::uint32_t, std::size_t>>& out) {
  // (code point, byte offset) pairs; false on anything that is not UTF-8.
  out.clear();
  std::size_t i = 0;
  while (i < s.size()) {
    const auto b = static_cast<unsigned char>(s[i]);
    std::size_t n;
    std::uint32_t cp, min;
    if (b < 0x80) { n = 1; cp = b; min = 0; }
    else if ((b & 0xE0) == 0xC0) { n = 2; cp = b & 0x1F; min = 0x80; }
    else if ((b & 0xF0) == 0xE0) { n = 3; cp = b & 0x0F; min = 0x800; }
    else if ((b & 0xF8) == 0xF0) { n = 4; cp = b & 0x07; min = 0x10000; }
    else return false;
    if (i + n > s.size()) return false;
    for (std::size_t k = 1; k < n; ++k) {
      const auto c = static_cast<unsigned char>(s[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      cp = cp << 6 | (c & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    out.emplace_back(cp, i);
    i += n;
  }
  return true;
}

bool is_white_space(std::uint32_t cp) {
  static const std::set<std::uint32_t> spaces = {
      0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x20, 0x85, 0xA0, 0x1680, 0x2000, 0x2001, 0x2002, 0x2003,
      0x2004, 0x2005, 0x2006, 0x2007, 0x2008, 0x2009, 0x200A, 0x2028, 0x2029, 0x202F, 0x205F,
      0x3000};
  return spaces.count(cp) != 0;
}

bool reference_vertex(std::string token, std::uint32_t& out) {
  if (!token.empty() && token[0] == '+') token.erase(0, 1);
  if (token.empty()) return false;
  for (char c : token)
    if (c < '0' || c > '9') return false;
  const std::size_t first = token.find_first_not_of('0');
  const std::string digits = first == std::string::npos ? "0" : token.substr(first);
  if (digits.size() > 10 || (digits.size() == 10 && digits > "4294967295")) return false;
  out = static_cast<std::uint32_t>(std::stoull(digits));
  return true;
}

Outcome reference(const std::string& data) {
  Outcome outcome{Outcome::Kind::kGraph, {}, 0, {}, 0};
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < data.size()) {
    const std::size_t feed = data.find('\n', start);
    if (feed == std::string::npos) {
      lines.push_back(data.substr(start));
      break;
    }
    std::string line = data.substr(start, feed - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = feed + 1;
  }
  std::set<std::uint32_t> vertices;
  std::vector<std::pair<std::uint32_t, std::size_t>> cps;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (!decode_utf8(line, cps)) return {Outcome::Kind::kFault, "stream did not contain valid UTF-8", i, {}, 0};
    std::vector<std::string> tokens;
    std::size_t k = 0;
    while (k < cps.size()) {
      if (is_white_space(cps[k].first)) { ++k; continue; }
      const std::size_t from = cps[k].second;
      while (k < cps.size() && !is_white_space(cps[k].first)) ++k;
      const std::size_t to = k < cps.size() ? cps[k].second : line.size();
      tokens.push_back(line.substr(from, to - from));
    }
    const std::string refused = "while reading " + std::string(kName) + ": line " + std::to_string(i + 1);
    if (tokens.size() != 2)
      return {Outcome::Kind::kTokenCount, refused + " does not contain two tokens", i, {}, 0};
    std::uint32_t ends[2];
    for (int t = 0; t < 2; ++t) {
      if (!reference_vertex(tokens[t], ends[t]))
        return {Outcome::Kind::kBadVertex, refused + ": cannot parse vertex id " + tokens[t], i, {}, 0};
    }
    outcome.edges.emplace(std::min(ends[0], ends[1]), std::max(ends[0], ends[1]));
    vertices.insert(ends[0]);
    vertices.insert(ends[1]);
  }
  outcome.vertices = vertices.size();
  return outcome;
}

// ---- running the reader ------------------------------------------------------

int data_file() {
  static const int fd = [] {
    const int made = memfd_create("edge-list", 0);
    if (made < 0) std::abort();
    return made;
  }();
  return fd;
}

std::string put_on_disk(const std::string& data) {
  const int fd = data_file();
  if (ftruncate(fd, 0) != 0) std::abort();
  if (!data.empty() && pwrite(fd, data.data(), data.size(), 0) != static_cast<ssize_t>(data.size()))
    std::abort();
  return "/proc/self/fd/" + std::to_string(fd);
}

Outcome run(bool gzip, const std::string& path, const ReaderBuffers& buffers) {
  Outcome outcome{Outcome::Kind::kGraph, {}, 0, {}, 0};
  try {
    const EdgeListFormat format = gzip ? EdgeListFormat::kGzip : EdgeListFormat::kPlain;
    EdgeListResult result = read_edge_list_file(path, format, buffers);
    if (auto* error = std::get_if<EdgeListError>(&result)) {
      outcome.kind = error->kind == EdgeListError::Kind::kTokenCount ? Outcome::Kind::kTokenCount
                     : error->kind == EdgeListError::Kind::kBadVertex ? Outcome::Kind::kBadVertex
                                                                     : Outcome::Kind::kOpen;
      outcome.detail = error->describe(kName);
      outcome.line = error->line;
      return outcome;
    }
    const Graph& graph = std::get<Graph>(result);
    graph.for_each_edge([&](Vertex a, Vertex b) { outcome.edges.emplace(a, b); });
    if (outcome.edges.size() != graph.num_edges()) std::abort();
    outcome.vertices = graph.num_vertices();
  } catch (const InternalFault& fault) {
    FaultInProgress::end();
    outcome.kind = Outcome::Kind::kFault;
    outcome.detail = fault.message();
  }
  return outcome;
}

bool same(const Outcome& got, const Outcome& want) {
  if (got.kind != want.kind) return false;
  switch (got.kind) {
    case Outcome::Kind::kGraph:
      return got.edges == want.edges && got.vertices == want.vertices;
    case Outcome::Kind::kFault:
      return got.detail.find(want.detail) != std::string::npos;
    default:
      return got.detail == want.detail && got.line == want.line;
  }
}

std::string gzip_members(const std::string& text, std::size_t pieces, unsigned level) {
  std::string out;
  const std::size_t step = pieces == 0 ? text.size() + 1 : text.size() / pieces + 1;
  std::size_t at = 0;
  do {
    const std::string piece = text.substr(at, step);
    at += step;
    z_stream z{};
    if (deflateInit2(&z, static_cast<int>(level), Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY) != Z_OK) std::abort();
    std::string member(deflateBound(&z, piece.size()) + 32, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(piece.data()));
    z.avail_in = static_cast<uInt>(piece.size());
    z.next_out = reinterpret_cast<Bytef*>(member.data());
    z.avail_out = static_cast<uInt>(member.size());
    if (deflate(&z, Z_FINISH) != Z_STREAM_END) std::abort();
    member.resize(z.total_out);
    deflateEnd(&z);
    out += member;
  } while (at < text.size());
  return out;
}

int descriptors_on_data() {
  int count = 0;
  DIR* dir = opendir("/proc/self/fd");
  if (dir == nullptr) std::abort();
  char target[256];
  while (const dirent* entry = readdir(dir)) {
    const std::string link = std::string("/proc/self/fd/") + entry->d_name;
    const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
    if (n > 0 && std::string_view(target, static_cast<std::size_t>(n)).starts_with("/memfd:edge-list"))
      ++count;
  }
  closedir(dir);
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  if (size == 0) return 0;
  const unsigned selector = bytes[0];
  const std::string data(reinterpret_cast<const char*>(bytes + 1), size - 1);
  const unsigned mode = selector % 3;
  const ReaderBuffers tiny{1 + (selector >> 2) % 23, 1 + (selector >> 3) % 29};

  if (mode == 0) {
    const Outcome want = reference(data);
    const std::string path = put_on_disk(data);
    if (!same(run(false, path, tiny), want)) fail("plain, tiny buffers", run(false, path, tiny), want);
    if (!same(run(false, path, ReaderBuffers{}), want)) fail("plain", run(false, path, ReaderBuffers{}), want);
  } else if (mode == 1) {
    const Outcome want = reference(data);
    const std::string path = put_on_disk(gzip_members(data, (selector >> 2) % 3, (selector >> 4) % 10));
    const Outcome got = run(true, path, tiny);
    if (!same(got, want)) fail("gzip of text", got, want);
  } else {
    const std::string path = put_on_disk(data);
    const Outcome small = run(true, path, tiny);
    const Outcome large = run(true, path, ReaderBuffers{});
    const bool small_ok = small.kind == Outcome::Kind::kGraph;
    if (small_ok != (large.kind == Outcome::Kind::kGraph) || (small_ok && !same(small, large)))
      fail("raw gzip, tiny against default buffers", small, large);
  }
  // Our own memfd is the only descriptor on the data; any other one is a
  // reader that did not close its file. (Other descriptors come and go:
  // the sanitizers' symbolizer runs behind pipes.)
  if (const int open = descriptors_on_data(); open != 1) {
    std::fprintf(stdout, "%d descriptors are open on the data file\n", open);
    std::fflush(stdout);
    std::abort();
  }
  return 0;
}
