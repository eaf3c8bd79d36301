#include "binding/results.h"

#include <string>

#include "binding/pending_error.h"
#include "support/fault.h"
#include "support/interrupt.h"

namespace quiverlane {

namespace {

PyObject* new_int(std::uint32_t value) {
  PyObject* object = PyLong_FromLong(static_cast<long>(value));
  if (object == nullptr) python_api_call_failed();
  return object;
}

[[noreturn]] void set_failure(const char* what) {
  std::string message = what;
  message += ": ";
  message += describe_and_clear_python_error();
  fault(message);
}

// Fills `set` with the members; on failure the caller's PyRef drops it.
void add_members(PyObject* set, const VertexSet& members) {
  InterruptPoll poll;
  members.for_each([&](Vertex v) {
    poll.tick();
    PyObject* item = new_int(v);
    const int status = PySet_Add(set, item);
    Py_DECREF(item);  // the set holds the only reference
    if (status < 0) set_failure("Failed to add to set");
  });
}

}  // namespace

PyRef bool_to_python(bool value) noexcept { return PyRef::borrow(value ? Py_True : Py_False); }

PyRef none_to_python() noexcept { return PyRef::borrow(Py_None); }

PyRef count_to_python(std::uint64_t count) {
  PyObject* object = PyLong_FromUnsignedLongLong(count);
  if (object == nullptr) python_api_call_failed();
  return PyRef::steal(object);
}

PyRef vertex_to_python(std::uint32_t value) { return PyRef::steal(new_int(value)); }

PyRef set_to_python(const VertexSet& members) {
  PyRef set = PyRef::steal(PySet_New(nullptr));
  if (!set) set_failure("Failed to construct empty set");
  add_members(set.get(), members);
  return set;
}

PyRef sets_to_python(const std::vector<VertexSet>& sets) {
  PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(sets.size())));
  if (!list) python_api_call_failed();
  InterruptPoll poll;
  for (std::size_t i = 0; i < sets.size(); ++i, poll.tick())
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), set_to_python(sets[i]).release());
  return list;
}

PyRef edges_to_python(const Graph& graph) {
  PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(graph.num_edges())));
  if (!list) python_api_call_failed();
  Py_ssize_t index = 0;
  InterruptPoll poll;
  graph.for_each_edge([&](Vertex a, Vertex b) {
    poll.tick();
    PyObject* pair = PyTuple_New(2);
    if (pair == nullptr) python_api_call_failed();
    PyList_SET_ITEM(list.get(), index++, pair);  // owned by the list from here on
    PyTuple_SET_ITEM(pair, 0, new_int(a));
    PyTuple_SET_ITEM(pair, 1, new_int(b));
  });
  return list;
}

}  // namespace quiverlane
