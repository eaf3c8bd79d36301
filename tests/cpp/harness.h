// What every native test program shares: checks, allocation control, key
// generators and the runner.
//
// Usage of each program: test_NAME [seed ...]   (default seeds 1 2 3)
//
// When linked with -Wl,--wrap=malloc (QUIVERLANE_TEST_MALLOC_WRAP defined),
// every malloc made by the containers can be counted and made to fail, so
// the tests also check that reserve() really makes room and that a failed
// allocation leaves a container, or the graph, exactly as it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <new>
#include <random>
#include <unordered_set>
#include <vector>

#include "graph/vertex.h"

using quiverlane::Vertex;

// --- allocation control ---------------------------------------------------------

namespace alloc {
extern long count;         // mallocs seen since the last reset
extern bool runtime_too;   // operator new counts too (see harness.cpp)
extern long fail_at;       // the malloc (by count) that fails; -1 = none
extern bool failed;        // whether the planned failure happened
void reset(long fail = -1);
}  // namespace alloc

#ifdef QUIVERLANE_TEST_MALLOC_WRAP
constexpr bool kCanInjectFailures = true;
#else
constexpr bool kCanInjectFailures = false;
#endif

// --- checking -------------------------------------------------------------------

extern unsigned current_seed;
extern long current_step;

void count_check(bool passed, const char* file, int line, const char* condition);

#define CHECK(cond) count_check(static_cast<bool>(cond), __FILE__, __LINE__, #cond)

// Runs op with the k-th allocation failing, for k = 0, 1, ... until op
// completes without a failure. After a failure, check() must hold.
template <class Op, class Check>
void with_each_failure(Op&& op, Check&& check) {
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

// Whether assertions are compiled into the containers.
#ifdef NDEBUG
constexpr bool kAssertions = false;
#else
constexpr bool kAssertions = true;
#endif

// Whether running `op` in a child process stops it with an assertion
// failure (SIGABRT). Each expected assertion is a broken precondition that
// would otherwise corrupt a container silently.
bool aborts(void (*op)());

// --- key generators -------------------------------------------------------------

constexpr Vertex kMax = 0xFFFFFFFFu;

using RefSet = std::unordered_set<Vertex>;

struct Keys {
  // Homes scale the hash to the capacity, so a hash below 2^32 / 1024 is
  // at home in slot 0, and one in the top 2^32 / 1024 in the last slot, of
  // every table up to 1024 slots.
  std::vector<Vertex> colliding;  // one home slot in every table up to 1024 slots
  std::vector<Vertex> wrapping;   // home in the last slot: probe runs wrap round
  Keys();
};

class KeySource {
 public:
  KeySource(std::mt19937& rng, const Keys& keys) : rng_(rng), keys_(keys) {}
  Vertex next();
  std::size_t pick(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_); }

 private:
  std::mt19937& rng_;
  const Keys& keys_;
};

// --- filling and reading sets ----------------------------------------------------

// The members in the order the set's for_each yields them.
template <class Set>
std::vector<Vertex> members_of(const Set& set) {
  std::vector<Vertex> members;
  set.for_each([&](Vertex v) { members.push_back(v); });
  return members;
}

// Inserts n keys from `source` into `set` and into its reference.
template <class Set>
void fill(Set& set, RefSet& ref, KeySource& source, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    const Vertex v = source.next();
    set.insert(v);
    ref.insert(v);
  }
}

// reserve(n) makes room: inserting up to n members in all (fresh random
// ids, by insert(set, v), which must report each as new) allocates nothing.
template <class Set, class Insert>
void check_reserve(Set& set, RefSet& ref, std::mt19937& rng, std::size_t n, Insert&& insert) {
  set.reserve(n);
  alloc::reset();
  while (ref.size() < n) {
    const Vertex v = static_cast<Vertex>(rng());
    if (ref.insert(v).second) CHECK(insert(set, v));
  }
  CHECK(!kCanInjectFailures || alloc::count == 0);
}

// --- the runner -----------------------------------------------------------------

struct TestPart {
  const char* name;
  void (*run)(std::mt19937& rng, const Keys& keys);
};

// Runs `once` first, then every part of `per_seed` for each seed given on
// the command line, timing each, and prints the summary the test runner
// reads. Returns the exit status.
int run_parts(int argc, char** argv, std::initializer_list<TestPart> once,
              std::initializer_list<TestPart> per_seed);
