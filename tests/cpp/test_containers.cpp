// Randomised property tests of VertexSet, VertexMap and the graph store,
// checked against the standard library's unordered containers.
//
// Usage: test_containers [seed ...]   (default seeds 1 2 3)
//
// When linked with -Wl,--wrap=malloc (QUIVERLANE_TEST_MALLOC_WRAP defined),
// every malloc made by the containers can be counted and made to fail, so
// the tests also check that reserve() really makes room and that a failed
// allocation leaves a container, or the graph, exactly as it was.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <new>
#include <random>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <tuple>
#include <utility>
#include <vector>

#include "graph/graph.h"
#include "graph/graph_builder.h"
#include "graph/vertex_map.h"
#include "graph/vertex_set.h"
#include "support/fault.h"

using quiverlane::Graph;
using quiverlane::Vertex;
using quiverlane::VertexMap;
using quiverlane::VertexSet;

// --- allocation control -------------------------------------------------------

namespace alloc {
long count = 0;       // mallocs seen since the last reset
bool runtime_too = false;  // operator new counts too (see below)
long fail_at = -1;    // the malloc (by count) that fails; -1 = none
bool failed = false;  // whether the planned failure happened
void reset(long fail = -1) {
  count = 0;
  fail_at = fail;
  failed = false;
}
}  // namespace alloc

#ifdef QUIVERLANE_TEST_MALLOC_WRAP
extern "C" void* __real_malloc(std::size_t size);
extern "C" void* __wrap_malloc(std::size_t size) {
  if (alloc::count++ == alloc::fail_at) {
    alloc::failed = true;
    return nullptr;
  }
  return __real_malloc(size);
}
// The C++ runtime's own allocations (strings, the standard containers) are
// counted, and can fail, only while alloc::runtime_too is set: the tests'
// own reference containers must not disturb the counts the others check.
void* operator new(std::size_t size) {
  if (size == 0) size = 1;
  void* memory = alloc::runtime_too ? std::malloc(size) : __real_malloc(size);
  if (memory == nullptr) throw std::bad_alloc();
  return memory;
}
// These replace the runtime's pair, so malloc'd memory is what they free.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
#pragma GCC diagnostic pop
constexpr bool kCanInjectFailures = true;
#else
constexpr bool kCanInjectFailures = false;
#endif

// Reported in the summary, so the runner can tell a sanitized build from a
// plain fallback.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

// --- checking -------------------------------------------------------------------

static long checks = 0;
static int failures = 0;

#define CHECK(cond)                                                                  \
  do {                                                                               \
    ++checks;                                                                        \
    if (!(cond)) {                                                                   \
      std::fprintf(stderr, "%s:%d: check failed: %s (seed %u, step %ld)\n", __FILE__, \
                   __LINE__, #cond, current_seed, current_step);                     \
      if (++failures > 20) std::exit(1);                                             \
    }                                                                                \
  } while (0)

static unsigned current_seed = 0;
static long current_step = 0;

using RefSet = std::unordered_set<Vertex>;

// Every member is yielded once, by both iteration paths, in the same order.
static void check_set(const VertexSet& set, const RefSet& ref) {
  CHECK(set.size() == ref.size());
  CHECK(set.empty() == ref.empty());
  std::vector<Vertex> by_for_each;
  set.for_each([&](Vertex v) { by_for_each.push_back(v); });
  std::vector<Vertex> by_iterator;
  for (Vertex v : set) by_iterator.push_back(v);
  CHECK(by_for_each == by_iterator);
  CHECK(by_for_each.size() == ref.size());
  RefSet seen(by_for_each.begin(), by_for_each.end());
  CHECK(seen == ref);
  for (Vertex v : ref) CHECK(set.contains(v));
}

// --- key generators -------------------------------------------------------------

constexpr Vertex kMax = 0xFFFFFFFFu;

struct Keys {
  // Homes scale the hash to the capacity, so a hash below 2^32 / 1024 is
  // at home in slot 0, and one in the top 2^32 / 1024 in the last slot, of
  // every table up to 1024 slots.
  std::vector<Vertex> colliding;  // one home slot in every table up to 1024 slots
  std::vector<Vertex> wrapping;   // home in the last slot: probe runs wrap round
  Keys() {
    constexpr std::uint32_t kSpan = 1u << 22;
    for (Vertex v = 0; colliding.size() < 48 || wrapping.size() < 24; ++v) {
      const std::uint32_t hash = quiverlane::table_hash(v);
      if (hash < kSpan && colliding.size() < 48) colliding.push_back(v);
      if (hash >= 0u - kSpan && wrapping.size() < 24) wrapping.push_back(v);
    }
  }
};

class KeySource {
 public:
  KeySource(std::mt19937& rng, const Keys& keys) : rng_(rng), keys_(keys) {}
  Vertex next() {
    switch (pick(6)) {
      case 0: return static_cast<Vertex>(pick(16));
      case 1: {
        static const Vertex extremes[] = {0, kMax, kMax - 1, 0x80000000u, 0x7FFFFFFFu};
        return extremes[pick(5)];
      }
      case 2: return keys_.colliding[pick(keys_.colliding.size())];
      case 3: return keys_.wrapping[pick(keys_.wrapping.size())];
      case 4: return static_cast<Vertex>(pick(200));
      default: return static_cast<Vertex>(rng_());
    }
  }
  std::size_t pick(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_); }

 private:
  std::mt19937& rng_;
  const Keys& keys_;
};

// --- VertexSet ------------------------------------------------------------------

static void test_vertex_set(std::mt19937& rng, const Keys& keys) {
  KeySource source(rng, keys);
  VertexSet set;
  RefSet ref;
  for (current_step = 0; current_step < 12000; ++current_step) {
    const std::size_t op = source.pick(100);
    if (op < 45) {
      const Vertex v = source.next();
      CHECK(set.insert(v) == ref.insert(v).second);
    } else if (op < 75) {
      const Vertex v = source.next();
      CHECK(set.erase(v) == (ref.erase(v) == 1));
    } else if (op < 85) {
      const Vertex v = source.next();
      CHECK(set.contains(v) == (ref.count(v) == 1));
    } else if (op < 88) {
      // reserve makes room: inserting up to n members allocates nothing.
      const std::size_t n = ref.size() + source.pick(40);
      set.reserve(n);
      alloc::reset();
      while (ref.size() < n) {
        const Vertex v = static_cast<Vertex>(rng());
        if (ref.insert(v).second) CHECK(set.insert_reserved(v));
      }
      CHECK(!kCanInjectFailures || alloc::count == 0);
    } else if (op < 90) {
      VertexSet copy(set);
      check_set(copy, ref);
      copy.insert(12345);  // the copy is independent
      CHECK(set.contains(12345) == (ref.count(12345) == 1));
      VertexSet assigned;
      assigned.insert(kMax);
      assigned = set;
      check_set(assigned, ref);
      const VertexSet& alias = assigned;
      assigned = alias;  // self-assignment
      check_set(assigned, ref);
    } else if (op < 92) {
      VertexSet moved(std::move(set));
      check_set(moved, ref);
      CHECK(set.empty());  // NOLINT: a moved-from set is empty and usable
      set.insert(7);
      set = std::move(moved);
      check_set(set, ref);
    } else if (op < 94) {
      // Never shrinks: erasing keeps the table's storage.
      const std::size_t bytes = set.heap_bytes();
      for (Vertex v : std::vector<Vertex>(ref.begin(), ref.end()))
        if (source.pick(2) == 0) {
          set.erase(v);
          ref.erase(v);
        }
      CHECK(set.heap_bytes() == bytes);
    } else if (op < 95) {
      // Erase everything, then re-insert some of it.
      std::vector<Vertex> members(ref.begin(), ref.end());
      for (Vertex v : members) CHECK(set.erase(v));
      ref.clear();
      check_set(set, ref);
      for (std::size_t i = 0; i < members.size(); i += 2) {
        CHECK(set.insert(members[i]));
        ref.insert(members[i]);
      }
    } else if (op < 97) {
      // Grow well past the inline members in one burst.
      for (int i = 0; i < 50; ++i) {
        const Vertex v = source.next();
        CHECK(set.insert(v) == ref.insert(v).second);
      }
    } else {
      check_set(set, ref);
    }
    if (current_step % 64 == 0) check_set(set, ref);
  }
  check_set(set, ref);
}

// Small sets around the inline limit, each key kind on its own.
static void test_vertex_set_sizes(const Keys& keys) {
  const std::vector<std::vector<Vertex>> pools = {
      {0, 1, 2, 3, 4, 5, 6, 7, 8, 9},
      {kMax, 0, kMax - 1, 1, 2, 3, 4},
      keys.colliding,
      keys.wrapping,
      {kMax, keys.colliding[0], keys.colliding[1], keys.wrapping[0], keys.wrapping[1]},
  };
  for (const auto& pool : pools) {
    for (std::size_t n = 0; n <= pool.size(); ++n) {
      VertexSet set;
      RefSet ref;
      for (std::size_t i = 0; i < n; ++i) {
        CHECK(set.insert(pool[i]));
        CHECK(!set.insert(pool[i]));
        ref.insert(pool[i]);
        check_set(set, ref);
      }
      CHECK((set.heap_bytes() == 0) == (n <= VertexSet::kInlineCapacity));
      for (std::size_t i = n; i-- > 0;) {
        CHECK(set.erase(pool[i]));
        ref.erase(pool[i]);
        CHECK(!set.erase(pool[i]));
        check_set(set, ref);
      }
      CHECK(set.empty());
    }
  }
  VertexSet empty;
  CHECK(empty.heap_bytes() == 0);
  CHECK(!empty.contains(0) && !empty.contains(kMax));
  CHECK(empty.begin() == empty.end());
}

// --- VertexMap ------------------------------------------------------------------

template <class V, class Ref, class Compare>
static void check_map(const VertexMap<V>& map, const Ref& ref, Compare&& same_value) {
  CHECK(map.size() == ref.size());
  CHECK(map.empty() == ref.empty());
  std::vector<Vertex> by_for_each;
  map.for_each([&](Vertex key, const V& value) {
    by_for_each.push_back(key);
    auto it = ref.find(key);
    CHECK(it != ref.end() && same_value(value, it->second));
  });
  std::vector<Vertex> by_iterator;
  for (const auto& entry : map) by_iterator.push_back(entry.key);
  CHECK(by_for_each == by_iterator);
  CHECK(by_for_each.size() == ref.size());
  CHECK(RefSet(by_for_each.begin(), by_for_each.end()).size() == ref.size());
  for (const auto& [key, value] : ref) {
    const V* found = map.find(key);
    CHECK(found != nullptr && same_value(*found, value));
  }
}

static void test_degree_map(std::mt19937& rng, const Keys& keys) {
  KeySource source(rng, keys);
  VertexMap<std::uint32_t> map;
  std::unordered_map<Vertex, std::uint32_t> ref;
  auto same = [](std::uint32_t a, std::uint32_t b) { return a == b; };
  for (current_step = 0; current_step < 20000; ++current_step) {
    const std::size_t op = source.pick(100);
    const Vertex key = source.next();
    if (op < 45) {
      auto [value, inserted] = map.try_emplace(key);
      auto [it, ref_inserted] = ref.try_emplace(key, 0);
      CHECK(inserted == ref_inserted);
      CHECK(*value == it->second);
      const auto bump = static_cast<std::uint32_t>(source.pick(1000));
      *value += bump;
      it->second += bump;
    } else if (op < 75) {
      CHECK(map.erase(key) == (ref.erase(key) == 1));
    } else if (op < 88) {
      const std::uint32_t* found = map.find(key);
      CHECK((found != nullptr) == (ref.count(key) == 1));
      CHECK(map.contains(key) == (found != nullptr));
      if (found != nullptr) CHECK(*found == ref[key]);
    } else if (op < 90) {
      const std::size_t n = ref.size() + source.pick(40);
      map.reserve(n);
      alloc::reset();
      while (ref.size() < n) {
        const Vertex v = source.next() ^ static_cast<Vertex>(rng());
        if (ref.try_emplace(v, 3).second) *map.try_emplace(v).first = 3;
      }
      CHECK(!kCanInjectFailures || alloc::count == 0);
    } else if (op < 92) {
      VertexMap<std::uint32_t> moved(std::move(map));
      check_map(moved, ref, same);
      CHECK(map.empty());  // NOLINT: moved-from maps are empty and usable
      map.try_emplace(kMax);
      map.try_emplace(1);
      map = std::move(moved);
      check_map(map, ref, same);
    } else if (op < 93) {
      const std::size_t bytes = map.table_bytes();
      for (auto it = ref.begin(); it != ref.end();) {
        if (source.pick(3) == 0) {
          CHECK(map.erase(it->first));
          it = ref.erase(it);
        } else {
          ++it;
        }
      }
      CHECK(map.table_bytes() == bytes);  // never shrinks
    } else if (op < 94) {
      for (const auto& [k, v] : ref) CHECK(map.erase(k));
      ref.clear();
      check_map(map, ref, same);
    } else {
      check_map(map, ref, same);
    }
    if (current_step % 64 == 0) check_map(map, ref, same);
  }
  check_map(map, ref, same);
}

// A map of sets: the values own heap tables, so moves, erasure and
// destruction must release each exactly once (the sanitizer checks that).
static void test_adjacency_map(std::mt19937& rng, const Keys& keys) {
  KeySource source(rng, keys);
  auto map = std::make_unique<VertexMap<VertexSet>>();
  std::unordered_map<Vertex, RefSet> ref;
  auto same = [](const VertexSet& a, const RefSet& b) {
    if (a.size() != b.size()) return false;
    for (Vertex v : b)
      if (!a.contains(v)) return false;
    return true;
  };
  for (current_step = 0; current_step < 8000; ++current_step) {
    const std::size_t op = source.pick(100);
    const Vertex key = source.next();
    if (op < 50) {
      VertexSet& set = *map->try_emplace(key).first;
      RefSet& ref_set = ref[key];
      const std::size_t burst = source.pick(3) == 0 ? 20 : 1;
      for (std::size_t i = 0; i < burst; ++i) {
        const Vertex v = source.next();
        CHECK(set.insert(v) == ref_set.insert(v).second);
      }
    } else if (op < 65) {
      VertexSet* set = map->find(key);
      CHECK((set != nullptr) == (ref.count(key) == 1));
      if (set != nullptr) {
        const Vertex v = source.next();
        CHECK(set->erase(v) == (ref[key].erase(v) == 1));
      }
    } else if (op < 85) {
      CHECK(map->erase(key) == (ref.erase(key) == 1));
    } else if (op < 87) {
      auto moved = std::make_unique<VertexMap<VertexSet>>(std::move(*map));
      CHECK(map->empty());
      map->try_emplace(kMax).first->insert(1);  // then dropped by the assignment
      for (Vertex v = 0; v < 10; ++v) map->try_emplace(kMax).first->insert(v);
      *map = std::move(*moved);
      moved.reset();
      check_map(*map, ref, same);
    } else if (op < 88) {
      // Destroy a whole map holding the largest id with a heap-sized set.
      VertexMap<VertexSet> scratch;
      for (Vertex v = 0; v < 30; ++v) scratch.try_emplace(kMax).first->insert(v);
      for (Vertex v = 0; v < 30; ++v) scratch.try_emplace(v).first->insert(kMax);
      CHECK(scratch.size() == 31);
    } else if (op < 89) {
      map = std::make_unique<VertexMap<VertexSet>>();
      ref.clear();
    } else {
      check_map(*map, ref, same);
    }
  }
  check_map(*map, ref, same);
}

// --- failed allocations -----------------------------------------------------------

// Runs op with the k-th allocation failing, for k = 0, 1, ... until op
// completes without a failure. After a failure, check() must hold.
template <class Op, class Check>
static void with_each_failure(Op&& op, Check&& check) {
  for (long k = 0;; ++k) {
    alloc::reset(k);
    bool threw = false;
    try {
      op();
    } catch (const std::bad_alloc&) {
      threw = true;
    }
    const bool failed = alloc::failed;
    alloc::reset();
    CHECK(threw == failed);
    if (!failed) return;
    check();
  }
}

static void test_failed_allocations(std::mt19937& rng, const Keys& keys) {
  if (!kCanInjectFailures) return;
  KeySource source(rng, keys);
  for (current_step = 0; current_step < 300; ++current_step) {
    VertexSet set;
    RefSet ref;
    const std::size_t n = source.pick(40);
    for (std::size_t i = 0; i < n; ++i) {
      const Vertex v = source.next();
      set.insert(v);
      ref.insert(v);
    }
    const Vertex extra = source.next();
    with_each_failure([&] { set.insert(extra); }, [&] { check_set(set, ref); });
    ref.insert(extra);
    check_set(set, ref);
    const std::size_t target = ref.size() + source.pick(100);
    with_each_failure([&] { set.reserve(target); }, [&] { check_set(set, ref); });
    with_each_failure([&] { VertexSet copy(set); check_set(copy, ref); }, [&] { check_set(set, ref); });

    VertexMap<std::uint32_t> map;
    std::unordered_map<Vertex, std::uint32_t> ref_map;
    for (std::size_t i = 0; i < n; ++i) {
      const Vertex v = source.next();
      *map.try_emplace(v).first = v / 2;
      ref_map[v] = v / 2;
    }
    auto same = [](std::uint32_t a, std::uint32_t b) { return a == b; };
    const Vertex key = source.next();
    with_each_failure([&] { *map.try_emplace(key).first = key / 2; },
                      [&] { check_map(map, ref_map, same); });
    ref_map[key] = key / 2;
    check_map(map, ref_map, same);
  }
}

// --- the graph store ----------------------------------------------------------------

using Model = std::map<Vertex, std::set<Vertex>>;

static void check_graph(const Graph& g, const Model& model) {
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
  const VertexSet all = g.vertices();
  CHECK(all.size() == model.size());
  for (const auto& entry : model) CHECK(all.contains(entry.first));
}

static void model_remove_vertex(Model& model, Vertex u) {
  for (Vertex w : model[u])
    if (w != u) model[w].erase(u);
  model.erase(u);
}

static void test_graph(std::mt19937& rng, const Keys& keys) {
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
static void test_graph_builder(std::mt19937& rng, const Keys& keys) {
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
static void test_fault_count_comes_back_down() {
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

// Reports each part's run time, to keep the whole run within a few seconds.
template <class F>
static void timed(const char* name, F&& f) {
  const auto start = std::chrono::steady_clock::now();
  f();
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  std::printf("seed %u %-20s %.2fs\n", current_seed, name, took.count());
}

int main(int argc, char** argv) {
  std::vector<unsigned> seeds;
  for (int i = 1; i < argc; ++i) seeds.push_back(static_cast<unsigned>(std::strtoul(argv[i], nullptr, 10)));
  if (seeds.empty()) seeds = {1, 2, 3};
  const Keys keys;
  test_vertex_set_sizes(keys);
  test_fault_count_comes_back_down();
  for (unsigned seed : seeds) {
    current_seed = seed;
    std::mt19937 rng(seed);
    timed("vertex set", [&] { test_vertex_set(rng, keys); });
    timed("degree map", [&] { test_degree_map(rng, keys); });
    timed("adjacency map", [&] { test_adjacency_map(rng, keys); });
    timed("failed allocations", [&] { test_failed_allocations(rng, keys); });
    timed("graph", [&] { test_graph(rng, keys); });
    timed("graph builder", [&] { test_graph_builder(rng, keys); });
  }
  std::printf("%ld checks, %d failures, failure injection %s, address sanitizer %s\n", checks,
              failures, kCanInjectFailures ? "on" : "off", kAddressSanitizer ? "on" : "off");
  return failures == 0 ? 0 : 1;
}
