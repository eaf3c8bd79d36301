// The per-call frame: CallScope, OwnedObjectPool and DeferredRefPool.
//
// Every entry from the interpreter opens a CallScope. It counts the call on
// the thread's lock depth (above 0 means this thread holds the interpreter
// lock for our purposes), applies reference-count changes that were deferred
// while the lock was not held, and marks the thread's OwnedObjectPool so that
// references the call registers live until the call returns and no longer.
//
// The per-call cost is a few thread-local loads and stores and one relaxed
// atomic load: DeferredRefPool is only locked when something was deferred.
#pragma once

#include <Python.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace quiverlane {

namespace detail {
struct ThreadState {
  std::uint32_t lock_depth;
  bool primed;        // see prime_thread()
  bool pool_retired;  // set once the thread's storage is being torn down
  PyObject** pool_items;
  std::size_t pool_size;
  std::size_t pool_capacity;
};
// Plain data in static TLS: `__thread` rather than `thread_local` tells the
// compiler there is no dynamic initialiser, so no access goes through a TLS
// wrapper check.
extern __thread ThreadState thread_state __attribute__((tls_model("initial-exec")));
// Set whenever DeferredRefPool holds something; read on every call.
extern std::atomic<bool> deferred_pending;

// Sets up, at a thread's first call, the per-thread storage that the error
// path needs later: the C++ runtime's exception state and our pool's
// clean-up record are made on first use, by an allocation that cannot fail
// gracefully (the C library aborts). Made while memory is still there, a
// failure later in the thread's life raises an exception instead.
void prime_thread() noexcept;
}  // namespace detail

// References owned by the calls running on this thread.
class OwnedObjectPool {
 public:
  static constexpr std::size_t kNoMark = ~std::size_t{0};
  static constexpr std::size_t kInitialCapacity = 256;

  // Start mark for a new scope, or kNoMark once the thread is shutting down.
  static std::size_t mark() noexcept {
    const detail::ThreadState& t = detail::thread_state;
    return t.pool_retired ? kNoMark : t.pool_size;
  }
  // Takes over a new reference; released when the registering call returns.
  // On allocation failure the reference is released and bad_alloc thrown.
  static void register_owned(PyObject* object);
  // Releases, in registration order, every reference registered after mark.
  static void release_from(std::size_t mark) noexcept {
    // Most calls register nothing: they pay one comparison here.
    if (detail::thread_state.pool_size > mark) release_slow(mark);
  }

 private:
  static void release_slow(std::size_t mark) noexcept;
};

// Reference-count changes made by threads not holding the interpreter lock,
// applied by the next scope opened on any thread.
class DeferredRefPool {
 public:
  static void defer_incref(PyObject* object);
  static void defer_decref(PyObject* object);
  static void apply_pending() noexcept {
    if (detail::deferred_pending.load(std::memory_order_acquire)) apply_pending_slow();
  }

 private:
  static void apply_pending_slow() noexcept;
};

class CallScope {
 public:
  CallScope() noexcept {
    if (!detail::thread_state.primed) [[unlikely]]
      detail::prime_thread();
    ++detail::thread_state.lock_depth;
    DeferredRefPool::apply_pending();
    mark_ = OwnedObjectPool::mark();
  }
  ~CallScope() {
    if (mark_ != OwnedObjectPool::kNoMark) OwnedObjectPool::release_from(mark_);
    --detail::thread_state.lock_depth;
  }
  CallScope(const CallScope&) = delete;
  CallScope& operator=(const CallScope&) = delete;

  static std::uint32_t lock_depth() noexcept { return detail::thread_state.lock_depth; }

 private:
  std::size_t mark_;
};

// Releases a reference now if this thread holds the lock, else defers it.
void release_reference(PyObject* object);

}  // namespace quiverlane
