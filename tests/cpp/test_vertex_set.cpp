// Randomised property tests of VertexSet, checked against the standard
// library's unordered_set.

#include <cstdint>
#include <utility>
#include <vector>

#include "graph/neighbour_list.h"
#include "graph/vertex_set.h"
#include "harness.h"

using quiverlane::NeighbourList;
using quiverlane::VertexSet;

namespace {

// Every member is yielded once, by both walks, in the same order.
void check_set(const VertexSet& set, const RefSet& ref) {
  CHECK(set.size() == ref.size());
  CHECK(set.empty() == ref.empty());
  const std::vector<Vertex> by_for_each = members_of(set);
  std::vector<Vertex> gathered;
  set.for_each_gathered([&](Vertex v) { gathered.push_back(v); });
  CHECK(by_for_each == gathered);
  CHECK(by_for_each.size() == ref.size());
  CHECK(RefSet(by_for_each.begin(), by_for_each.end()) == ref);
  for (Vertex v : ref) CHECK(set.contains(v));
}

void test_random_operations(std::mt19937& rng, const Keys& keys) {
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
      check_reserve(set, ref, rng, ref.size() + source.pick(40),
                    [](VertexSet& s, Vertex v) { return s.insert_reserved(v); });
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
void test_sizes(std::mt19937&, const Keys& keys) {
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
  CHECK(members_of(empty).empty());
}

// clone() and clone_into() keep the members in the same order, the tag
// with them, and give sets independent of their source.
void test_clones(std::mt19937& rng, const Keys& keys) {
  KeySource source(rng, keys);
  for (current_step = 0; current_step < 300; ++current_step) {
    VertexSet set;
    RefSet ref;
    fill(set, ref, source, source.pick(60));
    set.set_tagged(source.pick(2) == 0);
    const std::vector<Vertex> order = members_of(set);

    VertexSet copy = set.clone();
    CHECK(members_of(copy) == order);
    CHECK(copy.tagged() == set.tagged());
    CHECK(copy.heap_bytes() == set.heap_bytes());

    std::vector<std::uint32_t> memory(set.heap_bytes() / sizeof(std::uint32_t) + 1);
    {
      VertexSet borrowed = set.clone_into(memory.data());
      CHECK(members_of(borrowed) == order);
      CHECK(borrowed.tagged() == set.tagged());
      // Outgrowing the borrowed memory moves to a table of its own; the
      // sanitizer checks the borrowed memory is never freed.
      RefSet grown = ref;
      for (int i = 0; i < 40; ++i) {
        const Vertex v = source.next();
        borrowed.insert(v);
        grown.insert(v);
      }
      check_set(borrowed, grown);
    }
    copy.insert(source.next());
    copy.erase(order.empty() ? 0 : order.front());
    check_set(set, ref);
  }
}

// Building a NeighbourList by append() and append_space(), then finishing
// it, gives the set insert() gives: repeats dropped, the largest id kept
// aside, three or fewer back inline; and so does one made a set part way.
void test_lists(std::mt19937& rng, const Keys& keys) {
  KeySource source(rng, keys);
  std::vector<Vertex> scratch;
  for (current_step = 0; current_step < 600; ++current_step) {
    NeighbourList built;
    RefSet ref;
    const std::size_t n = source.pick(4) == 0 ? source.pick(6) : source.pick(120);
    for (std::size_t i = 0; i < n; ++i) {
      const Vertex v = source.pick(3) == 0 && !ref.empty() ? *ref.begin() : source.next();
      if (built.is_set()) {
        CHECK(built.insert(v) == (ref.count(v) == 0));
      } else if (!built.is_list() && source.pick(2) == 0) {
        built.append(v, source.pick(8));
      } else if (source.pick(50) == 0) {
        built.make_set(scratch);
        CHECK(built.is_set());
        CHECK(built.insert(v) == (ref.count(v) == 0));
      } else {
        *built.append_space(1) = v;
        built.commit_appends(1);
      }
      ref.insert(v);
    }
    scratch.clear();
    scratch.shrink_to_fit();
    scratch.reserve(built.scratch_needed());
    const VertexSet finished = built.finish(scratch);
    CHECK(built.size() == 0 && !built.is_list() && !built.is_set());
    check_set(finished, ref);
    CHECK((finished.heap_bytes() == 0) == (ref.size() <= VertexSet::kInlineCapacity));
  }
}

void test_failed_allocations(std::mt19937& rng, const Keys& keys) {
  if (!kCanInjectFailures) return;
  KeySource source(rng, keys);
  for (current_step = 0; current_step < 300; ++current_step) {
    VertexSet set;
    RefSet ref;
    fill(set, ref, source, source.pick(40));
    const Vertex extra = source.next();
    with_each_failure([&] { set.insert(extra); }, [&] { check_set(set, ref); });
    ref.insert(extra);
    check_set(set, ref);
    const std::size_t target = ref.size() + source.pick(100);
    with_each_failure([&] { set.reserve(target); }, [&] { check_set(set, ref); });
    with_each_failure([&] { VertexSet copy(set); check_set(copy, ref); }, [&] { check_set(set, ref); });
    with_each_failure([&] { check_set(set.clone(), ref); }, [&] { check_set(set, ref); });
  }
}

// Broken preconditions stop a build with assertions.
void test_assertions(std::mt19937&, const Keys&) {
  if (!kAssertions) return;
  CHECK(aborts([] {
    VertexSet set;
    set.insert(5);
    set.insert_new(5);  // inline, already present
  }));
  CHECK(aborts([] {
    VertexSet set;
    for (Vertex v = 0; v < 10; ++v) set.insert(v);
    set.insert_new(kMax);
    set.insert_new(kMax);  // kept aside, already present
  }));
  CHECK(aborts([] {
    VertexSet set;
    for (Vertex v = 0; v < 7; ++v) set.insert(v);
    set.insert_new(100);  // no reserve(): the table is at its limit
  }));
  CHECK(aborts([] {
    NeighbourList list;
    for (Vertex v = 0; v < 5; ++v) list.append(v, 0);  // a list takes append_space() only
  }));
  // And the same calls with their preconditions met do not.
  CHECK(!aborts([] {
    VertexSet set;
    set.reserve(8);
    for (Vertex v = 0; v < 8; ++v) set.insert_new(v);
    std::vector<Vertex> scratch(8);
    NeighbourList list;
    for (Vertex v = 0; v < 4; ++v) list.append(v, 0);
    *list.append_space(1) = 4;
    list.commit_appends(1);
    (void)list.finish(scratch).contains(1);
  }));
}

}  // namespace

int main(int argc, char** argv) {
  return run_parts(argc, argv,
                   {{"vertex set sizes", test_sizes}, {"vertex set assertions", test_assertions}},
                   {{"vertex set", test_random_operations},
                    {"vertex set clones", test_clones},
                    {"vertex set lists", test_lists},
                    {"vertex set failures", test_failed_allocations}});
}
