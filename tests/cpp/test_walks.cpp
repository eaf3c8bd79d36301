// Native tests of the walks over a whole graph: components() and
// r_neighbours() on grids, worn grids and scattered isolated vertices, with
// ids packed near 0 (marked by id in a bitmap), packed just below the
// largest id or scattered over the whole range (marked in a working set),
// and both kinds in one graph; each answer against a breadth-first search
// of a plain model, and with every allocation of a call made to fail in
// turn, which must leave nothing behind but std::bad_alloc.

#include <algorithm>
#include <cstddef>
#include <deque>
#include <unordered_map>
#include <vector>

#include "graph/components.h"
#include "graph/graph.h"
#include "graph/neighbourhood.h"
#include "harness.h"

using quiverlane::Graph;
using quiverlane::VertexGroups;

namespace {

using Model = std::unordered_map<Vertex, std::vector<Vertex>>;
using Part = std::vector<Vertex>;

struct Case {
  Graph graph;
  Model model;
};

void add(Case& c, Vertex u, Vertex v) {
  if (!c.graph.add_edge(u, v)) return;
  c.model[u].push_back(v);
  if (u != v) c.model[v].push_back(u);
}

void add_vertex(Case& c, Vertex u) {
  c.graph.add_vertex(u);
  c.model[u];
}

// A side x side grid over `ids`, its edges in random order, a tenth of them
// left out when `worn`, plus a few loops.
void grid(Case& c, std::mt19937& rng, const std::vector<Vertex>& ids, std::size_t side, bool worn) {
  std::vector<std::pair<Vertex, Vertex>> edges;
  for (std::size_t row = 0; row < side; ++row)
    for (std::size_t col = 0; col < side; ++col) {
      const std::size_t cell = row * side + col;
      if (col + 1 < side) edges.emplace_back(ids[cell], ids[cell + 1]);
      if (row + 1 < side) edges.emplace_back(ids[cell], ids[cell + side]);
    }
  std::shuffle(edges.begin(), edges.end(), rng);
  if (worn) edges.resize(edges.size() - edges.size() / 10);
  for (const Vertex v : ids) add_vertex(c, v);
  for (const auto& [u, v] : edges) add(c, u, v);
  for (std::size_t k = 0; k < side; ++k) add(c, ids[k * side], ids[k * side]);
}

std::vector<Vertex> distinct_ids(std::mt19937& rng, std::size_t n, Vertex lowest, Vertex highest) {
  std::vector<Vertex> ids;
  if (std::size_t{highest} - lowest + 1 == n) {
    for (std::size_t k = 0; k < n; ++k) ids.push_back(static_cast<Vertex>(lowest + k));
  } else {
    RefSet seen;
    std::uniform_int_distribution<Vertex> pick(lowest, highest);
    while (ids.size() < n) {
      const Vertex v = pick(rng);
      if (seen.insert(v).second) ids.push_back(v);
    }
  }
  std::shuffle(ids.begin(), ids.end(), rng);
  return ids;
}

// --- the model's answers ----------------------------------------------------------

Part model_ball(const Model& model, Vertex u, std::uint32_t r) {
  std::unordered_map<Vertex, std::uint32_t> distance{{u, 0}};
  std::deque<Vertex> todo{u};
  Part ball{u};
  while (!todo.empty()) {
    const Vertex v = todo.front();
    todo.pop_front();
    if (distance[v] == r) continue;
    for (const Vertex w : model.at(v))
      if (distance.emplace(w, distance[v] + 1).second) {
        ball.push_back(w);
        todo.push_back(w);
      }
  }
  std::sort(ball.begin(), ball.end());
  return ball;
}

std::vector<Part> model_components(const Model& model) {
  std::vector<Part> parts;
  RefSet seen;
  for (const auto& entry : model) {
    if (seen.count(entry.first) != 0) continue;
    Part part = model_ball(model, entry.first, 0xFFFFFFFFu);
    seen.insert(part.begin(), part.end());
    parts.push_back(std::move(part));
  }
  std::sort(parts.begin(), parts.end());
  return parts;
}

std::vector<Part> parts_of(const VertexGroups& groups) {
  std::vector<Part> parts;
  for (const Vertex v : groups.singles) parts.push_back({v});
  std::size_t begin = 0;
  for (const std::size_t end : groups.ends) {
    Part part(groups.members.begin() + static_cast<std::ptrdiff_t>(begin),
              groups.members.begin() + static_cast<std::ptrdiff_t>(end));
    std::sort(part.begin(), part.end());
    parts.push_back(std::move(part));
    begin = end;
  }
  std::sort(parts.begin(), parts.end());
  return parts;
}

// --- the checks -------------------------------------------------------------------

void check_walks(const Case& c, std::mt19937& rng) {
  const std::vector<Part> expected = model_components(c.model);
  CHECK(parts_of(quiverlane::components(c.graph)) == expected);
  with_each_failure([&] { CHECK(parts_of(quiverlane::components(c.graph)) == expected); }, [] {});

  std::vector<Vertex> vertices;
  for (const auto& entry : c.model) vertices.push_back(entry.first);
  std::sort(vertices.begin(), vertices.end());
  for (int k = 0; k < 6; ++k) {
    const Vertex u = vertices[std::uniform_int_distribution<std::size_t>(0, vertices.size() - 1)(rng)];
    for (const std::uint32_t r : {1u, 2u, 3u, 25u}) {
      const Part expected_ball = model_ball(c.model, u, r);
      auto ball = [&] {
        quiverlane::VertexList got = quiverlane::r_neighbours(c.graph, u, r);
        std::sort(got.begin(), got.end());
        return got;
      };
      CHECK(ball() == expected_ball);
      if (k == 0) with_each_failure([&] { CHECK(ball() == expected_ball); }, [] {});
    }
  }
}

constexpr std::size_t kSide = 40;

void test_grid_near_zero(std::mt19937& rng, const Keys&) {
  Case c;
  grid(c, rng, distinct_ids(rng, kSide * kSide, 0, kSide * kSide - 1), kSide, rng() % 2 == 0);
  check_walks(c, rng);
}

void test_grid_near_max(std::mt19937& rng, const Keys&) {
  Case c;
  grid(c, rng, distinct_ids(rng, kSide * kSide, kMax - (kSide * kSide - 1), kMax), kSide, rng() % 2 == 0);
  check_walks(c, rng);
}

void test_grid_scattered(std::mt19937& rng, const Keys&) {
  Case c;
  std::vector<Vertex> ids = distinct_ids(rng, kSide * kSide - 2, 1, kMax - 1);
  ids.push_back(0);
  ids.push_back(kMax);
  std::shuffle(ids.begin(), ids.end(), rng);
  grid(c, rng, ids, kSide, true);
  check_walks(c, rng);
}

// Small and large ids side by side in the same components, and many
// vertices with no edge, the seeds that make no walk.
void test_mixed_and_isolated(std::mt19937& rng, const Keys&) {
  Case c;
  std::vector<Vertex> ids = distinct_ids(rng, kSide * kSide / 2, 0, kSide * kSide / 2 - 1);
  const std::vector<Vertex> large = distinct_ids(rng, kSide * kSide / 2, 1u << 31, kMax);
  ids.insert(ids.end(), large.begin(), large.end());
  std::shuffle(ids.begin(), ids.end(), rng);
  grid(c, rng, ids, kSide, true);
  for (const Vertex v : distinct_ids(rng, 3000, 1u << 20, kMax)) add_vertex(c, v);
  for (int k = 0; k < 200; ++k) {
    const Vertex v = static_cast<Vertex>(rng());
    add(c, v, v ^ 1u);
  }
  check_walks(c, rng);
}

}  // namespace

int main(int argc, char** argv) {
  return run_parts(argc, argv, {},
                   {{"grid near 0", test_grid_near_zero},
                    {"grid near the largest id", test_grid_near_max},
                    {"grid scattered", test_grid_scattered},
                    {"mixed and isolated", test_mixed_and_isolated}});
}
