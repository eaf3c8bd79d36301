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

namespace {

// Vertices whose neighbour table starts loading before the walk reaches
// them: in a large graph each table is a separate allocation, so a walk
// that waits for each in turn spends most of its time waiting.
constexpr std::size_t kTablesAhead = 16;

// Whether the average vertex keeps its neighbours in a table of their own
// rather than inline: only then does loading tables ahead pay for looking
// ahead at every vertex (a graph of mostly isolated vertices walks faster
// without).
bool tables_worth_loading_ahead(const Graph& graph) {
  return 2 * graph.num_edges() > VertexSet::kInlineCapacity * graph.num_vertices();
}

template <class Pairs>
void for_each_edge_with_tables_ahead(const Graph& graph, Pairs&& pair) {
  graph.for_each_slot_ahead(
      kTablesAhead, [](std::size_t, Vertex, const VertexSet& later) { later.prefetch_table(); },
      [&](std::size_t, Vertex a, const VertexSet& neighbours) {
        neighbours.for_each([&](Vertex b) {
          if (a <= b) pair(a, b);  // else listed from its other end
        });
      });
}

}  // namespace

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
  if (tables_worth_loading_ahead(graph)) {
    for_each_edge_with_tables_ahead(graph, add_pair);
  } else {
    graph.for_each_edge(add_pair);
  }
  return list.finish();
}

}  // namespace quiverlane
