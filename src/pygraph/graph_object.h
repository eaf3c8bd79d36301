// The Graph instance record and access to its graph.
//
// access_flag: 0 = not in use; n >= 1 = n shared accesses in progress; all
// bits set = one exclusive access. It only ever refuses re-entry on the same
// thread (Python code run during a call, such as an argument's __index__,
// calling back into the same object): the interpreter lock serialises the
// rest.
#pragma once

#include <Python.h>

#include <cstdint>

#include "binding/exceptions.h"
#include "binding/pending_error.h"
#include "binding/py_ref.h"
#include "graph/graph.h"

namespace quiverlane {

struct GraphObject {
  PyObject_HEAD
  std::uintptr_t access_flag;
  Graph graph;
};

inline constexpr std::uintptr_t kExclusiveAccess = ~std::uintptr_t{0};

inline GraphObject* as_graph_object(PyObject* self) { return reinterpret_cast<GraphObject*>(self); }

// Shared access for the life of the object; refused during exclusive access.
class SharedAccess {
 public:
  explicit SharedAccess(PyObject* self) : object_(as_graph_object(self)) {
    if (object_->access_flag == kExclusiveAccess) throw PendingError(borrow_error_type());
    ++object_->access_flag;
  }
  ~SharedAccess() { --object_->access_flag; }
  SharedAccess(const SharedAccess&) = delete;
  SharedAccess& operator=(const SharedAccess&) = delete;
  const Graph& graph() const noexcept { return object_->graph; }

 private:
  GraphObject* object_;
};

// Exclusive access for the life of the object; refused during any access.
class ExclusiveAccess {
 public:
  explicit ExclusiveAccess(PyObject* self) : object_(as_graph_object(self)) {
    if (object_->access_flag != 0) throw PendingError(borrow_mut_error_type());
    object_->access_flag = kExclusiveAccess;
  }
  ~ExclusiveAccess() { object_->access_flag = 0; }
  ExclusiveAccess(const ExclusiveAccess&) = delete;
  ExclusiveAccess& operator=(const ExclusiveAccess&) = delete;
  Graph& graph() const noexcept { return object_->graph; }

 private:
  GraphObject* object_;
};

// The Graph type object, created on first use and kept for the process.
PyTypeObject* graph_type();

// A new Graph object owning `graph`.
PyRef wrap_graph(Graph&& graph);

}  // namespace quiverlane
