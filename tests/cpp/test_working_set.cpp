// Randomised property tests of WorkingSet and DelayedInserts, checked
// against the standard library's unordered_set, under the default hash key
// and random ones (as argument sets get).

#include <cstdint>
#include <utility>
#include <vector>

#include "graph/vertex_set.h"
#include "graph/working_set.h"
#include "harness.h"

using quiverlane::DelayedInserts;
using quiverlane::VertexSet;
using quiverlane::WorkingSet;
using quiverlane::WorkingSetKey;

namespace {

// Each member comes out once; the largest id, kept aside, comes out first
// or last as the key says; first() is what the walk yields first.
void check_set(const WorkingSet& set, const RefSet& ref, const WorkingSetKey& key) {
  CHECK(set.size() == ref.size());
  CHECK(set.empty() == ref.empty());
  const std::vector<Vertex> members = members_of(set);
  CHECK(members.size() == ref.size());
  CHECK(RefSet(members.begin(), members.end()) == ref);
  for (Vertex v : ref) CHECK(set.contains(v));
  if (members.empty()) return;
  CHECK(set.first() == members.front());
  if (ref.count(kMax) == 1) CHECK((key.kept_aside_first ? members.front() : members.back()) == kMax);
}

WorkingSetKey random_key(std::mt19937& rng) {
  WorkingSetKey key;
  key.offset = (std::uint64_t{rng()} << 32) | rng();
  key.multiplier = (std::uint64_t{rng()} << 32) | rng();  // made odd by the set
  key.kept_aside_first = (rng() & 1) != 0;
  return key;
}

void test_random_operations(std::mt19937& rng, const Keys& keys) {
  KeySource source(rng, keys);
  for (current_step = 0; current_step < 400; ++current_step) {
    const WorkingSetKey key = source.pick(3) == 0 ? WorkingSetKey{} : random_key(rng);
    WorkingSet set(key);
    RefSet ref;
    const std::size_t ops = source.pick(8) == 0 ? 2000 : source.pick(40);
    for (std::size_t i = 0; i < ops; ++i) {
      const std::size_t op = source.pick(100);
      const Vertex v = source.next();
      if (op < 62) {
        CHECK(set.insert(v) == ref.insert(v).second);
      } else if (op < 97) {
        set.prefetch(v);
        CHECK(set.contains(v) == (ref.count(v) == 1));
      } else if (op < 99) {
        check_reserve(set, ref, rng, ref.size() + source.pick(60),
                      [](WorkingSet& s, Vertex w) { return s.insert(w); });
      } else {
        check_set(set, ref, key);
      }
    }
    check_set(set, ref, key);
    const VertexSet copy = set.to_vertex_set();
    CHECK(copy.size() == ref.size());
    for (Vertex v : ref) CHECK(copy.contains(v));
  }
}

// The order is the key's: the same key and the same insertions give the
// same order, another key almost surely another one.
void test_order(std::mt19937& rng, const Keys&) {
  std::vector<Vertex> members(300);
  for (Vertex& v : members) v = static_cast<Vertex>(rng());
  members.push_back(kMax);
  const WorkingSetKey key = random_key(rng);
  WorkingSet a(key), b(key), other(random_key(rng));
  for (Vertex v : members) {
    a.insert(v);
    b.insert(v);
    other.insert(v);
  }
  CHECK(members_of(a) == members_of(b));
  CHECK(members_of(a) != members_of(other));
  CHECK(a.first() == members_of(a).front());
}

// A moved set has the members and the order; the moved-from set is empty,
// and usable, whether the members were inline or on the heap.
void test_moves(std::mt19937& rng, const Keys& keys) {
  KeySource source(rng, keys);
  for (current_step = 0; current_step < 200; ++current_step) {
    const WorkingSetKey key = random_key(rng);
    WorkingSet set(key);
    RefSet ref;
    fill(set, ref, source, source.pick(2) == 0 ? source.pick(6) : source.pick(200));
    const std::vector<Vertex> order = members_of(set);
    WorkingSet moved(std::move(set));
    CHECK(members_of(moved) == order);
    check_set(moved, ref, key);
    CHECK(set.empty());  // NOLINT: a moved-from set is empty and usable
    CHECK(members_of(set).empty());
    RefSet again;
    for (int i = 0; i < 30; ++i) {
      const Vertex v = source.next();
      CHECK(set.insert(v) == again.insert(v).second);
    }
    check_set(set, again, key);
  }
}

// DelayedInserts reports each vertex that was new, once, in the order given,
// and leaves every vertex in the set after flush().
void test_delayed_inserts(std::mt19937& rng, const Keys& keys) {
  KeySource source(rng, keys);
  for (current_step = 0; current_step < 200; ++current_step) {
    WorkingSet set;
    RefSet ref;
    std::vector<Vertex> expected, reported;
    fill(set, ref, source, 3);  // some members before the batch
    const std::size_t n = source.pick(100);
    std::vector<Vertex> given;
    for (std::size_t i = 0; i < n; ++i) {
      const Vertex v = source.next();
      given.push_back(v);
      if (ref.insert(v).second) expected.push_back(v);
    }
    auto on_new = [&reported](Vertex v) { reported.push_back(v); };
    DelayedInserts inserts(set);
    for (Vertex v : given) inserts.add(v, on_new);
    inserts.flush(on_new);
    CHECK(reported == expected);
    check_set(set, ref, WorkingSetKey{});
  }
}

void test_failed_allocations(std::mt19937& rng, const Keys& keys) {
  if (!kCanInjectFailures) return;
  KeySource source(rng, keys);
  for (current_step = 0; current_step < 300; ++current_step) {
    const WorkingSetKey key = random_key(rng);
    WorkingSet set(key);
    RefSet ref;
    fill(set, ref, source, source.pick(80));
    const std::vector<Vertex> order = members_of(set);
    auto unchanged = [&] {
      check_set(set, ref, key);
      CHECK(members_of(set) == order);
    };
    // Some sizes are at the load limit, where this insertion grows the table.
    Vertex extra = static_cast<Vertex>(rng());
    while (ref.count(extra) == 1) extra = static_cast<Vertex>(rng());
    with_each_failure([&] { set.insert(extra); }, unchanged);
    ref.insert(extra);
    check_set(set, ref, key);
    const std::size_t target = ref.size() + 1 + source.pick(200);
    const std::vector<Vertex> before_reserve = members_of(set);
    with_each_failure([&] { set.reserve(target); }, [&] {
      check_set(set, ref, key);
      CHECK(members_of(set) == before_reserve);
    });
  }
}

// Broken preconditions stop a build with assertions.
void test_assertions(std::mt19937&, const Keys&) {
  if (!kAssertions) return;
  CHECK(aborts([] {
    const WorkingSet set;
    (void)set.first();  // nothing to yield
  }));
  CHECK(!aborts([] {
    WorkingSet set;
    set.insert(kMax);
    (void)set.first();
  }));
}

}  // namespace

int main(int argc, char** argv) {
  return run_parts(argc, argv, {{"working set assertions", test_assertions}},
                   {{"working set", test_random_operations},
                    {"working set order", test_order},
                    {"working set moves", test_moves},
                    {"delayed inserts", test_delayed_inserts},
                    {"working set failures", test_failed_allocations}});
}
