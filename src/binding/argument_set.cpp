#include "binding/argument_set.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>

#include "binding/call_scope.h"
#include "binding/conversions.h"
#include "binding/pending_error.h"
#include "support/interrupt.h"

#if PY_VERSION_HEX >= 0x030D0000 && PY_VERSION_HEX < 0x030E0000
// Still exported by 3.13, though its declaration moved to the internal
// headers; walking the table by position (rather than with an iterator) keeps
// conversion well defined when an element's __index__ changes the set.
extern "C" int _PySet_NextEntry(PyObject* set, Py_ssize_t* position, PyObject** key,
                                Py_hash_t* hash);
#endif

namespace quiverlane {

namespace {

// The 64-bit finaliser of SplitMix64: every input bit reaches every output
// bit, so neighbouring counters give unrelated keys.
constexpr std::uint64_t mix64(std::uint64_t x) noexcept {
  x ^= x >> 30;
  x *= 0xbf58476d1ce4e5b9ull;
  x ^= x >> 27;
  x *= 0x94d049bb133111ebull;
  x ^= x >> 31;
  return x;
}

bool read_fully(int descriptor, unsigned char* out, std::size_t length) noexcept {
  while (length > 0) {
    const ssize_t got = ::read(descriptor, out, length);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    out += got;
    length -= static_cast<std::size_t>(got);
  }
  return true;
}

bool os_random(unsigned char* out, std::size_t length) noexcept {
#ifdef SYS_getrandom
  // The system call itself rather than libc's wrapper, which only glibc 2.25
  // and newer have: the module must load on older ones.
  std::size_t filled = 0;
  while (filled < length) {
    const long got = ::syscall(SYS_getrandom, out + filled, length - filled, 0u);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    filled += static_cast<std::size_t>(got);
  }
  if (filled == length) return true;
#endif
  // Kernels without the system call (ENOSYS) still have the device.
  const int descriptor = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) return false;
  const bool ok = read_fully(descriptor, out, length);
  ::close(descriptor);
  return ok;
}

struct KeyPair {
  bool seeded;
  std::uint64_t first;
  std::uint64_t second;
};
// Static TLS, like the rest of our per-thread state: nothing to allocate.
__thread KeyPair thread_key __attribute__((tls_model("initial-exec"))) = {};

void seed(KeyPair& key) noexcept {
  unsigned char bytes[16];
  if (os_random(bytes, sizeof bytes)) {
    std::memcpy(&key.first, bytes, 8);
    std::memcpy(&key.second, bytes + 8, 8);
  } else {
    // No random source at all: the order need only differ, not be secret.
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    key.first = mix64(static_cast<std::uint64_t>(now));
    key.second = mix64(reinterpret_cast<std::uintptr_t>(&key) ^ static_cast<std::uint64_t>(::getpid()));
  }
  key.seeded = true;
}

#if PY_VERSION_HEX < 0x030E0000
// Walks the set by position, reading a few elements ahead of the one being
// converted and loading their objects: ints made in another order than the
// set's lie all over memory, and would each cost a cache miss of their own.
// An element other than an exact int may run Python code (__index__) that
// changes the set, so after one the elements read ahead are dropped and the
// walk resumes from its position, as if it had never read ahead.
void add_members(ArgumentSet& set, PyObject* object) {
  constexpr std::size_t kAhead = 64;
  struct Pending {
    PyObject* item;
    Py_ssize_t after;  // the walk's position once the item was read
  };
  Pending ahead[kAhead];
  std::size_t first = 0, count = 0;
  Py_ssize_t position = 0;
  bool more = true;
  // Converted vertices in turn wait a few steps for their slot in the set.
  DelayedInserts inserts(set);
  auto ignore = [](Vertex) {};
  // The walk's position after the element converted last.
  Py_ssize_t done = 0;
  InterruptPoll poll;
  for (;;) {
    if (poll.tick()) {
      // The check may have run a signal handler that changed the set.
      count = 0;
      position = done;
      more = true;
    }
    while (more && count < kAhead) {
      PyObject* item = nullptr;
      Py_hash_t hash = 0;
      more = _PySet_NextEntry(object, &position, &item, &hash) != 0;
      if (!more) break;
      __builtin_prefetch(item);
      ahead[(first + count++) % kAhead] = {item, position};
    }
    if (count == 0) break;
    const Pending next = ahead[first];
    first = (first + 1) % kAhead;
    --count;
    done = next.after;
    if (PyLong_CheckExact(next.item)) {
      inserts.add(to_vertex(next.item), ignore);  // no Python code runs
      continue;
    }
    // __index__ may change the set and drop its reference to the item;
    // ours keeps the item alive until the call returns.
    Py_INCREF(next.item);
    OwnedObjectPool::register_owned(next.item);
    inserts.add(to_vertex(next.item), ignore);
    count = 0;
    position = next.after;
    more = true;
  }
  inserts.flush(ignore);
}
#endif

}  // namespace

WorkingSetKey next_argument_set_key() noexcept {
  KeyPair& key = thread_key;
  if (!key.seeded) seed(key);
  const std::uint64_t derived = mix64(key.first ^ mix64(key.second));
  ++key.first;
  WorkingSetKey result;
  result.offset = derived;
  result.multiplier = mix64(derived + key.second) | 1u;
  result.kept_aside_first = (derived >> 63) != 0;
  return result;
}

ArgumentSet to_argument_set(PyObject* object) {
  // frozenset passes PyAnySet_Check, so the type is tested directly.
  if (!Py_IS_TYPE(object, &PySet_Type) && !PyType_IsSubtype(Py_TYPE(object), &PySet_Type))
    throw PendingError::with_note(PyExc_TypeError, std::string("vertex sets must be given as a set (got ") +
                                                     Py_TYPE(object)->tp_name + ")");
  ArgumentSet set;
  // Distinct elements can only map to fewer vertices, never more.
  set.reserve(static_cast<std::size_t>(PySet_GET_SIZE(object)));
#if PY_VERSION_HEX < 0x030E0000
  add_members(set, object);
#else
  // The set type's own iterator: a subclass's __iter__ is not consulted.
  PyObject* iterator = PySet_Type.tp_iter(object);
  if (iterator == nullptr) throw_python_error();
  OwnedObjectPool::register_owned(iterator);
  InterruptPoll poll;
  while (PyObject* item = PyIter_Next(iterator)) {
    poll.tick();
    OwnedObjectPool::register_owned(item);
    set.insert(to_vertex(item));
  }
  if (PyErr_Occurred()) throw_python_error();
#endif
  return set;
}

}  // namespace quiverlane
