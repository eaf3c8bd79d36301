#include "binding/results.h"

#include "binding/collector_pause.h"
#include "binding/list_builder.h"
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
  // Left running, the collector would walk the list (all of its slots, the
  // empty ones too) again and again while it fills, each pass out of reach
  // of Ctrl-C; a pair of ints can never be part of a cycle, so each pair
  // leaves its care as soon as it is filled, as a collection would do.
  const CollectorPause pause;
  ListBuilder list(graph.num_edges());
  InterruptPoll poll;
  auto add_pair = [&](Vertex a, Vertex b) {
    poll.tick();
    PyObject* pair = PyTuple_New(2);
    if (pair == nullptr) python_api_call_failed();
    list.append(pair);  // owned by the list from here on
    PyTuple_SET_ITEM(pair, 0, new_python_int(a));
    PyTuple_SET_ITEM(pair, 1, new_python_int(b));
    PyObject_GC_UnTrack(pair);
  };
  graph.for_each_edge(add_pair);
  return list.finish();
}

}  // namespace quiverlane
