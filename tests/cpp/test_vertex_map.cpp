// Randomised property tests of VertexMap, with integer values (the degree
// map's shape) and with VertexSet values (the adjacency map's), checked
// against the standard library's unordered_map.

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <unordered_map>
#include <utility>
#include <vector>

#include "graph/linear_probe.h"
#include "graph/vertex_map.h"
#include "graph/vertex_set.h"
#include "harness.h"

using quiverlane::VertexMap;
using quiverlane::VertexSet;

namespace {

// Every entry is walked once, in slot order: for_each, for_each_ahead and
// the slot indices agree with each other and with the reference.
template <class V, class Ref, class Compare>
void check_map(const VertexMap<V>& map, const Ref& ref, Compare&& same_value) {
  CHECK(map.size() == ref.size());
  CHECK(map.empty() == ref.empty());
  std::vector<Vertex> by_for_each;
  map.for_each([&](Vertex key, const V& value) {
    by_for_each.push_back(key);
    auto it = ref.find(key);
    CHECK(it != ref.end() && same_value(value, it->second));
  });
  std::vector<Vertex> by_slot;
  for (std::size_t slot = 0; slot < map.slot_limit(); ++slot) {
    if (!map.occupied(slot)) continue;
    const Vertex key = map.entry_at_slot(slot).key;
    by_slot.push_back(key);
    CHECK(map.slot_of_hashed(key, quiverlane::table_hash(key)) == slot);
  }
  CHECK(by_for_each == by_slot);
  std::vector<Vertex> ahead;
  const_cast<VertexMap<V>&>(map).template for_each_ahead<3>([](V&) {}, [&](Vertex key, V&) { ahead.push_back(key); });
  CHECK(by_for_each == ahead);
  CHECK(by_for_each.size() == ref.size());
  CHECK(RefSet(by_for_each.begin(), by_for_each.end()).size() == ref.size());
  for (const auto& [key, value] : ref) {
    const V* found = map.find(key);
    CHECK(found != nullptr && same_value(*found, value));
    CHECK(map.find_hashed(key, quiverlane::table_hash(key)) == found);
  }
}

bool same_degree(std::uint32_t a, std::uint32_t b) { return a == b; }

void test_degree_map(std::mt19937& rng, const Keys& keys) {
  KeySource source(rng, keys);
  VertexMap<std::uint32_t> map;
  std::unordered_map<Vertex, std::uint32_t> ref;
  for (current_step = 0; current_step < 20000; ++current_step) {
    const std::size_t op = source.pick(100);
    const Vertex key = source.next();
    if (op < 45) {
      auto [value, inserted] = source.pick(2) == 0 ? map.try_emplace(key)
                                                   : map.try_emplace_hashed(key, quiverlane::table_hash(key));
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
      CHECK(map.find_hashed(key, quiverlane::table_hash(key)) == found);
      const std::size_t slot = map.slot_of_hashed(key, quiverlane::table_hash(key));
      CHECK((slot == quiverlane::detail::kNotFound) == (found == nullptr));
      if (found != nullptr) CHECK(*found == ref[key]);
    } else if (op < 90) {
      const std::size_t n = ref.size() + source.pick(40);
      map.reserve(n);
      CHECK(!map.could_grow_by(n - ref.size()) || n == 0);
      alloc::reset();
      while (ref.size() < n) {
        const Vertex v = source.next() ^ static_cast<Vertex>(rng());
        if (ref.try_emplace(v, 3).second) *map.try_emplace(v).first = 3;
      }
      CHECK(!kCanInjectFailures || alloc::count == 0);
    } else if (op < 92) {
      VertexMap<std::uint32_t> moved(std::move(map));
      check_map(moved, ref, same_degree);
      CHECK(map.empty());  // NOLINT: moved-from maps are empty and usable
      map.try_emplace(kMax);
      map.try_emplace(1);
      map = std::move(moved);
      check_map(map, ref, same_degree);
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
      check_map(map, ref, same_degree);
    } else {
      check_map(map, ref, same_degree);
    }
    if (current_step % 64 == 0) check_map(map, ref, same_degree);
  }
  check_map(map, ref, same_degree);
}

bool same_members(const VertexSet& a, const RefSet& b) {
  if (a.size() != b.size()) return false;
  for (Vertex v : b)
    if (!a.contains(v)) return false;
  return true;
}

// A value laid out as a VertexSet (16 bytes, 4-byte aligned, all-zero
// empty) that owns one elsewhere, for convert().
class Boxed {
 public:
  Boxed() = default;
  explicit Boxed(VertexSet* owned) noexcept { std::memcpy(words_, &owned, sizeof owned); }
  Boxed(Boxed&& other) noexcept { std::swap(words_, other.words_); }
  Boxed& operator=(Boxed&& other) noexcept {
    std::swap(words_, other.words_);
    return *this;
  }
  ~Boxed() { delete set(); }
  VertexSet* set() const noexcept {
    VertexSet* p;
    std::memcpy(&p, words_, sizeof p);
    return p;
  }

 private:
  std::uint32_t words_[4] = {0, 0, 0, 0};
};

// A map of sets: the values own heap tables, so moves, erasure and
// destruction must release each exactly once (the sanitizer checks that).
void test_adjacency_map(std::mt19937& rng, const Keys& keys) {
  KeySource source(rng, keys);
  auto map = std::make_unique<VertexMap<VertexSet>>();
  std::unordered_map<Vertex, RefSet> ref;
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
      check_map(*map, ref, same_members);
    } else if (op < 88) {
      // Destroy a whole map holding the largest id with a heap-sized set.
      VertexMap<VertexSet> scratch;
      for (Vertex v = 0; v < 30; ++v) scratch.try_emplace(kMax).first->insert(v);
      for (Vertex v = 0; v < 30; ++v) scratch.try_emplace(v).first->insert(kMax);
      CHECK(scratch.size() == 31);
    } else if (op < 89) {
      map = std::make_unique<VertexMap<VertexSet>>();
      ref.clear();
    } else if (op < 90 && source.pick(2) == 0) {
      // Made over in place into a map of another value type and back: the
      // same entries in the same slots. A make() that throws part way
      // leaves the map empty, and every set is released once (the
      // sanitizer checks that).
      std::vector<Vertex> order;
      map->for_each([&](Vertex k, const VertexSet&) { order.push_back(k); });
      auto boxed = std::move(*map).convert<Boxed, 2>(
          [](const VertexSet&) {}, [](Vertex, VertexSet& set) { return Boxed{new VertexSet(std::move(set))}; });
      CHECK(map->empty());
      std::vector<Vertex> boxed_order;
      boxed.for_each([&](Vertex k, const Boxed&) { boxed_order.push_back(k); });
      CHECK(order == boxed_order);
      const std::size_t fail_at = source.pick(order.size() + 2);
      std::size_t made = 0;
      try {
        *map = std::move(boxed).convert<VertexSet, 3>([](const Boxed&) {}, [&](Vertex, Boxed& box) {
          if (made++ == fail_at) throw std::bad_alloc();
          return std::move(*box.set());
        });
        CHECK(fail_at >= order.size());
      } catch (const std::bad_alloc&) {
        CHECK(fail_at < order.size() && map->empty());
        ref.clear();
      }
      CHECK(boxed.empty());
      check_map(*map, ref, same_members);
    } else if (op < 90) {
      // A clone has the same entries in the same slots, and its own sets.
      VertexMap<VertexSet> copy =
          map->clone<4>([](const VertexSet& set) { return set.clone(); }, [](const VertexSet&) {});
      check_map(copy, ref, same_members);
      std::vector<Vertex> original_order, copy_order;
      map->for_each([&](Vertex k, const VertexSet&) { original_order.push_back(k); });
      copy.for_each([&](Vertex k, const VertexSet&) { copy_order.push_back(k); });
      CHECK(original_order == copy_order);
      copy.for_each([](Vertex, VertexSet& set) { set.insert(kMax - 7); });
      check_map(*map, ref, same_members);
    } else {
      check_map(*map, ref, same_members);
    }
  }
  check_map(*map, ref, same_members);
}

// Large tables grow in place: every entry stays reachable and keeps its
// value across many growths, with erasures between them, and the sets the
// values own are neither lost nor released twice (the sanitizer checks).
void test_growth_in_place(std::mt19937& rng, const Keys& keys) {
  KeySource source(rng, keys);
  VertexMap<VertexSet> map;
  std::unordered_map<Vertex, RefSet> ref;
  std::size_t capacity_seen = 0;
  for (current_step = 0; current_step < 120000; ++current_step) {
    const Vertex key = source.pick(8) == 0 ? static_cast<Vertex>(source.pick(5000)) : source.next();
    if (source.pick(10) == 0) {
      CHECK(map.erase(key) == (ref.erase(key) == 1));
    } else {
      const Vertex member = source.next();
      CHECK(map.try_emplace(key).first->insert(member) == ref[key].insert(member).second);
    }
    if (map.table_bytes() != capacity_seen) {  // it has just grown
      capacity_seen = map.table_bytes();
      check_map(map, ref, same_members);
    }
  }
  check_map(map, ref, same_members);
  // Growing in place allocates before it moves anything: a failure leaves
  // the map as it was.
  if (kCanInjectFailures)
    with_each_failure([&] { map.reserve(map.size() * 2); }, [&] { check_map(map, ref, same_members); });
  check_map(map, ref, same_members);
}

void test_failed_allocations(std::mt19937& rng, const Keys& keys) {
  if (!kCanInjectFailures) return;
  KeySource source(rng, keys);
  for (current_step = 0; current_step < 300; ++current_step) {
    VertexMap<std::uint32_t> map;
    std::unordered_map<Vertex, std::uint32_t> ref;
    const std::size_t n = source.pick(40);
    for (std::size_t i = 0; i < n; ++i) {
      const Vertex v = source.next();
      *map.try_emplace(v).first = v / 2;
      ref[v] = v / 2;
    }
    const Vertex key = source.next();
    with_each_failure([&] { *map.try_emplace(key).first = key / 2; },
                      [&] { check_map(map, ref, same_degree); });
    ref[key] = key / 2;
    check_map(map, ref, same_degree);
    const std::size_t target = ref.size() + source.pick(100);
    with_each_failure([&] { map.reserve(target); }, [&] { check_map(map, ref, same_degree); });
  }
}

// Broken preconditions stop a build with assertions.
void test_assertions(std::mt19937&, const Keys&) {
  if (!kAssertions) return;
  CHECK(aborts([] {
    VertexMap<std::uint32_t> map;
    map.try_emplace(1);
    map.try_emplace(2);
    map.erase(1);
    for (std::size_t slot = 0; slot < map.slot_limit(); ++slot) (void)map.entry_at_slot(slot);
  }));
  CHECK(aborts([] {
    VertexMap<std::uint32_t> map;
    (void)map.find_hashed(1, quiverlane::table_hash(2));  // a hash not the key's
  }));
  CHECK(!aborts([] {
    VertexMap<std::uint32_t> map;
    map.try_emplace(1);
    map.try_emplace(kMax);
    for (std::size_t slot = 0; slot < map.slot_limit(); ++slot)
      if (map.occupied(slot)) (void)map.entry_at_slot(slot);
    (void)map.find_hashed(1, quiverlane::table_hash(1));
  }));
}

}  // namespace

int main(int argc, char** argv) {
  return run_parts(argc, argv, {{"vertex map assertions", test_assertions}},
                   {{"degree map", test_degree_map},
                    {"adjacency map", test_adjacency_map},
                    {"growth in place", test_growth_in_place},
                    {"vertex map failures", test_failed_allocations}});
}
