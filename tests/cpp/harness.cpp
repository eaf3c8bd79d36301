#include "harness.h"

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>

// --- allocation control ---------------------------------------------------------

namespace alloc {
long count = 0;
bool runtime_too = false;
long fail_at = -1;
bool failed = false;
void reset(long fail) {
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

unsigned current_seed = 0;
long current_step = 0;

namespace {
long checks = 0;
int failures = 0;
}  // namespace

void count_check(bool passed, const char* file, int line, const char* condition) {
  ++checks;
  if (passed) return;
  std::fprintf(stderr, "%s:%d: check failed: %s (seed %u, step %ld)\n", file, line, condition,
               current_seed, current_step);
  if (++failures > 20) std::exit(1);
}

bool aborts(void (*op)()) {
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    // The assertion's own report would read as a failure in the log.
    std::freopen("/dev/null", "w", stderr);
    op();
    _exit(0);
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child) return false;
  return WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT;
}

// --- key generators -------------------------------------------------------------

Keys::Keys() {
  constexpr std::uint32_t kSpan = 1u << 22;
  for (Vertex v = 0; colliding.size() < 48 || wrapping.size() < 24; ++v) {
    const std::uint32_t hash = quiverlane::table_hash(v);
    if (hash < kSpan && colliding.size() < 48) colliding.push_back(v);
    if (hash >= 0u - kSpan && wrapping.size() < 24) wrapping.push_back(v);
  }
}

Vertex KeySource::next() {
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

// --- the runner -----------------------------------------------------------------

namespace {
// Reports each part's run time, to keep the whole run within a few seconds.
void timed(const TestPart& part, std::mt19937& rng, const Keys& keys) {
  const auto start = std::chrono::steady_clock::now();
  part.run(rng, keys);
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  std::printf("seed %u %-24s %.2fs\n", current_seed, part.name, took.count());
}
}  // namespace

int run_parts(int argc, char** argv, std::initializer_list<TestPart> once,
              std::initializer_list<TestPart> per_seed) {
  std::vector<unsigned> seeds;
  for (int i = 1; i < argc; ++i) seeds.push_back(static_cast<unsigned>(std::strtoul(argv[i], nullptr, 10)));
  if (seeds.empty()) seeds = {1, 2, 3};
  const Keys keys;
  std::mt19937 fixed(0);
  for (const TestPart& part : once) timed(part, fixed, keys);
  for (unsigned seed : seeds) {
    current_seed = seed;
    std::mt19937 rng(seed);
    for (const TestPart& part : per_seed) timed(part, rng, keys);
  }
  std::printf("%ld checks, %d failures, failure injection %s, address sanitizer %s, assertions %s\n",
              checks, failures, kCanInjectFailures ? "on" : "off", kAddressSanitizer ? "on" : "off",
              kAssertions ? "on" : "off");
  return failures == 0 ? 0 : 1;
}
