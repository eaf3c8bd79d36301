#include "binding/results.h"

#include "binding/pending_error.h"
#include "support/fault.h"
#include "support/interrupt.h"

namespace quiverlane {

PyRef bool_to_python(bool value) noexcept { return PyRef::borrow(value ? Py_True : Py_False); }

PyRef none_to_python() noexcept { return PyRef::borrow(Py_None); }

PyRef count_to_python(std::uint64_t count) {
  PyObject* object = PyLong_FromUnsignedLongLong(count);
  if (object == nullptr) python_api_call_failed();
  return PyRef::steal(object);
}

PyRef vertex_to_python(std::uint32_t value) { return PyRef::steal(new_python_int(value)); }

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
    PyTuple_SET_ITEM(pair, 0, new_python_int(a));
    PyTuple_SET_ITEM(pair, 1, new_python_int(b));
  });
  return list;
}

}  // namespace quiverlane
