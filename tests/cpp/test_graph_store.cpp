// Randomised property tests of the graph store (Graph and GraphBuilder),
// checked against a model built from the standard library's ordered
// containers, and of the fault count the store raises through.

#include <cstdint>
#include <map>
#include <set>
#include <tuple>
#include <utility>
#include <vector>

#include "graph/graph.h"
#include "graph/graph_builder.h"
#include "graph/vertex_set.h"
#include "harness.h"
#include "support/fault.h"
#include "support/interrupt.h"

using quiverlane::Graph;
using quiverlane::VertexSet;

namespace {

using Model = std::map<Vertex, std::set<Vertex>>;

void check_graph(const Graph& g, const Model& model) {
  CHECK(g.num_vertices() == model.size());
  std::uint64_t edges = 0, degree_sum = 0;
  for (const auto& [u, nbrs] : model) {
    CHECK(g.contains(u));
    const VertexSet& set = g.neighbours(u);
    CHECK(set.size() == nbrs.size());
    for (Vertex w : nbrs) {
      CHECK(set.contains(w));
      CHECK(g.adjacent(w, u));
      if (u <= w) ++edges;
    }
    const std::uint32_t expected = static_cast<std::uint32_t>(nbrs.size() + (nbrs.count(u) ? 1 : 0));
    CHECK(g.degree(u) == expected);
    degree_sum += g.degree(u);
  }
  CHECK(g.num_edges() == edges);
  CHECK(degree_sum == 2 * edges);
  std::uint64_t listed = 0;
  g.for_each_edge([&](Vertex a, Vertex b) {
    ++listed;
    CHECK(a <= b);
    auto it = model.find(a);
    CHECK(it != model.end() && it->second.count(b) == 1);
  });
  CHECK(listed == edges);
  std::size_t walked = 0;
  g.for_each_vertex([&](Vertex u) {
    ++walked;
    CHECK(model.count(u) == 1);
  });
  CHECK(walked == model.size());
}

void model_remove_vertex(Model& model, Vertex u) {
  for (Vertex w : model[u])
    if (w != u) model[w].erase(u);
  model.erase(u);
}

void test_graph(std::mt19937& rng, const Keys& keys) {
  KeySource source(rng, keys);
  Graph g;
  Model model;
  for (current_step = 0; current_step < 4000; ++current_step) {
    const std::size_t op = source.pick(100);
    const Vertex u = source.next(), v = source.next();
    if (op < 50) {
      const auto found = model.find(u);
      const bool is_new = found == model.end() || found->second.count(v) == 0;
      if (kCanInjectFailures && source.pick(4) == 0) {
        const Model before = model;
        with_each_failure([&] { CHECK(g.add_edge(u, v) == is_new); }, [&] { check_graph(g, before); });
      } else {
        CHECK(g.add_edge(u, v) == is_new);
      }
      model[u].insert(v);
      model[v].insert(u);
    } else if (op < 60) {
      if (kCanInjectFailures && source.pick(4) == 0) {
        Model before = model;
        with_each_failure([&] { g.add_vertex(u); }, [&] { check_graph(g, before); });
      } else {
        g.add_vertex(u);
      }
      model[u];
    } else if (op < 75) {
      const bool present = model.count(u) && model[u].count(v);
      CHECK(g.remove_edge(u, v) == present);
      if (present) {
        model[u].erase(v);
        model[v].erase(u);
      }
    } else if (op < 85) {
      const bool present = model.count(u) == 1;
      CHECK(g.remove_vertex(u) == present);
      if (present) model_remove_vertex(model, u);
    } else if (op < 87) {
      std::uint64_t loops = 0;
      for (auto& [w, nbrs] : model) loops += nbrs.erase(w);
      CHECK(g.remove_loops() == loops);
    } else if (op < 89) {
      std::vector<Vertex> isolated;
      for (const auto& [w, nbrs] : model)
        if (nbrs.empty()) isolated.push_back(w);
      CHECK(g.remove_isolates() == isolated.size());
      for (Vertex w : isolated) model.erase(w);
    } else if (op < 91) {
      // Every allocation of a copy fails in turn: kept to small graphs.
      if (kCanInjectFailures && model.size() <= 64)
        with_each_failure([&] { check_graph(g.copy(), model); }, [&] { check_graph(g, model); });
      Graph copy = g.copy();
      check_graph(copy, model);
      if (source.pick(2) == 0) {
        g = std::move(copy);  // carry on with the copy
      } else {
        copy.add_edge(kMax, u);
        copy.remove_vertex(v);
        check_graph(g, model);  // the source is independent of its copy
      }
    } else {
      check_graph(g, model);
    }
    if (current_step % 200 == 0) check_graph(g, model);
  }
  check_graph(g, model);
}

// A graph built from many edges at once is the graph add_edge gives:
// repeats, both orientations, loops and the largest id included, in graphs
// large enough for sorted sweeps, lists and growing tables.
void test_graph_builder(std::mt19937& rng, const Keys& keys) {
  KeySource source(rng, keys);
  for (const std::size_t edges : {std::size_t{0}, std::size_t{50}, std::size_t{90000}}) {
    quiverlane::GraphBuilder builder;
    Graph single;
    Model model;
    std::vector<std::pair<Vertex, Vertex>> seen;
    for (std::size_t i = 0; i < edges; ++i) {
      Vertex u, v;
      const std::size_t kind = source.pick(10);
      if (kind == 0 && !seen.empty()) {
        std::tie(v, u) = seen[source.pick(seen.size())];  // a repeat, either way round
      } else if (kind == 1) {
        u = v = source.next();  // a loop
      } else if (kind == 2) {
        u = static_cast<Vertex>(source.pick(40));  // hubs, with lists that grow
        v = source.next();
      } else {
        // Mostly fresh ids, so that the vertex count outgrows the table.
        u = kind < 6 ? static_cast<Vertex>(rng()) : source.next();
        v = static_cast<Vertex>(rng());
      }
      seen.emplace_back(u, v);
      builder.add_edge(u, v);
      single.add_edge(u, v);
      model[u].insert(v);
      model[v].insert(u);
    }
    Graph built = std::move(builder).finish();
    check_graph(built, model);
    check_graph(single, model);
    // Sets of three or fewer are inline, as add_edge would have them.
    for (const auto& [u, nbrs] : model)
      if (nbrs.size() <= VertexSet::kInlineCapacity) CHECK(built.neighbours(u).heap_bytes() == 0);
  }
  // A failed allocation anywhere leaves a builder that is only ever
  // discarded: it must not leak or corrupt memory (the sanitizer checks).
  if (!kCanInjectFailures) return;
  for (long k = 0; k < 400; k += 7) {
    quiverlane::GraphBuilder builder;
    for (int i = 0; i < 3000; ++i) builder.add_edge(static_cast<Vertex>(source.pick(30)), source.next());
    alloc::reset(k);
    try {
      const Graph built = std::move(builder).finish();
      CHECK(built.num_edges() > 0);
    } catch (const std::bad_alloc&) {
    }
    alloc::reset();
  }
}

// A fault counts as in progress until its guard catches it. When building
// its report or its message runs out of memory, bad_alloc leaves instead,
// and the count must come back down all the same: a count left raised would
// make every later fault on the thread print a full backtrace.
void test_fault_count_comes_back_down(std::mt19937&, const Keys&) {
  if (!kCanInjectFailures) return;
  alloc::runtime_too = true;
  for (long k = 0;; ++k) {
    alloc::reset(k);
    bool faulted = false;
    try {
      quiverlane::fault("a fault raised by the native tests");
    } catch (const quiverlane::InternalFault&) {
      faulted = true;
      quiverlane::FaultInProgress::end();  // what the guard does
    } catch (const std::bad_alloc&) {
    }
    const bool failed = alloc::failed;
    alloc::reset();
    CHECK(quiverlane::FaultInProgress::count() == 0);
    if (!failed) {
      CHECK(faulted);
      break;
    }
  }
  alloc::runtime_too = false;
}

// An interrupt anywhere in a large build, finish() included, where the
// builder's lists are part way to becoming the graph's sets: the exception
// leaves, and nothing leaks or is released twice (the sanitizer checks).
struct Interrupted {};
long checks_left = 0;
void interrupt_when_due() {
  if (--checks_left == 0) throw Interrupted{};
}

void test_interrupted_builds(std::mt19937& rng, const Keys& keys) {
  KeySource source(rng, keys);
  quiverlane::set_interrupt_check(interrupt_when_due);
  std::size_t interrupted = 0;
  for (long due = 1; due < 40; due += 3) {
    checks_left = due;
    try {
      quiverlane::GraphBuilder builder;
      for (int i = 0; i < 200000; ++i) {
        const Vertex hub = static_cast<Vertex>(source.pick(50));
        builder.add_edge(source.pick(4) == 0 ? hub : source.next(), source.next());
      }
      const Graph built = std::move(builder).finish();
      CHECK(built.num_edges() > 0);
    } catch (const Interrupted&) {
      ++interrupted;
    }
  }
  quiverlane::set_interrupt_check(nullptr);
  CHECK(interrupted > 0);
}

}  // namespace

int main(int argc, char** argv) {
  return run_parts(argc, argv, {{"fault count", test_fault_count_comes_back_down}},
                   {{"graph", test_graph},
                    {"graph builder", test_graph_builder},
                    {"interrupted builds", test_interrupted_builds}});
}
