#include "binding/call_scope.h"

#include <cxxabi.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <new>
#include <vector>

namespace quiverlane {

namespace detail {
__thread ThreadState thread_state __attribute__((tls_model("initial-exec"))) = {};
std::atomic<bool> deferred_pending{false};
}

namespace {

// Frees the thread's pool when the thread ends. It is created with the pool,
// so threads that never register a reference pay nothing for it.
struct PoolRetirer {
  bool armed = false;
  void touch() noexcept { asm volatile("" : : "r"(this) : "memory"); }
  ~PoolRetirer() {
    detail::ThreadState& t = detail::thread_state;
    t.pool_retired = true;
    std::free(t.pool_items);
    t.pool_items = nullptr;
    t.pool_size = t.pool_capacity = 0;
  }
};
thread_local PoolRetirer pool_retirer;

}  // namespace

void detail::prime_thread() noexcept {
  auto* exception_state = abi::__cxa_get_globals();
  asm volatile("" : : "r"(exception_state) : "memory");  // keep the call
  pool_retirer.touch();
  thread_state.primed = true;
}

namespace {

void grow_pool(detail::ThreadState& t) {
  const std::size_t capacity =
      t.pool_capacity == 0 ? OwnedObjectPool::kInitialCapacity : 2 * t.pool_capacity;
  void* items = std::realloc(t.pool_items, capacity * sizeof(PyObject*));
  if (items == nullptr) throw std::bad_alloc();
  if (t.pool_items == nullptr) pool_retirer.armed = true;  // first use registers it
  t.pool_items = static_cast<PyObject**>(items);
  t.pool_capacity = capacity;
}

struct PendingList {
  std::mutex mutex;
  std::vector<PyObject*> objects;
};
PendingList pending_increments;
PendingList pending_decrements;

std::vector<PyObject*> take(PendingList& list) {
  std::vector<PyObject*> taken;
  std::lock_guard<std::mutex> lock(list.mutex);
  taken.swap(list.objects);
  return taken;
}

void append(PendingList& list, PyObject* object) {
  {
    std::lock_guard<std::mutex> lock(list.mutex);
    list.objects.push_back(object);
  }
  detail::deferred_pending.store(true, std::memory_order_release);
}

}  // namespace

void OwnedObjectPool::register_owned(PyObject* object) {
  detail::ThreadState& t = detail::thread_state;
  if (t.pool_retired) {
    // No pool on a dying thread: the reference cannot outlive the call.
    Py_DECREF(object);
    return;
  }
  if (t.pool_size == t.pool_capacity) {
    try {
      grow_pool(t);
    } catch (...) {
      Py_DECREF(object);
      throw;
    }
  }
  t.pool_items[t.pool_size++] = object;
}

void OwnedObjectPool::release_slow(std::size_t mark) noexcept {
  detail::ThreadState& t = detail::thread_state;
  const std::size_t end = t.pool_size;
  // Releasing can run Python code that calls back into the module; those
  // nested scopes push after `end` and release their own entries before
  // returning, so indexes below `end` stay ours throughout.
  for (std::size_t i = mark; i < end; ++i) Py_DECREF(t.pool_items[i]);
  t.pool_size = mark;
}

void DeferredRefPool::apply_pending_slow() noexcept {
  detail::deferred_pending.store(false, std::memory_order_relaxed);
  for (PyObject* object : take(pending_increments)) Py_INCREF(object);
  for (PyObject* object : take(pending_decrements)) Py_DECREF(object);
}

void DeferredRefPool::defer_incref(PyObject* object) { append(pending_increments, object); }
void DeferredRefPool::defer_decref(PyObject* object) { append(pending_decrements, object); }

void release_reference(PyObject* object) {
  if (CallScope::lock_depth() > 0)
    Py_DECREF(object);
  else
    DeferredRefPool::defer_decref(object);
}

}  // namespace quiverlane
