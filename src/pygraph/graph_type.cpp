// The Graph type object: created once per process on first lookup, never
// freed, shared by every module object an import creates. Not subclassable,
// no instance dict, no weak references, not tracked by the cycle collector.
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "binding/call_scope.h"
#include "binding/guard.h"
#include "binding/results.h"
#include "pygraph/descriptor_calls.h"
#include "pygraph/graph_object.h"
#include "pygraph/method_table.h"
#include "pygraph/methods.h"
#include "support/fault.h"

namespace quiverlane {

namespace {

PyTypeObject* the_graph_type = nullptr;

// A new instance of `type` holding `graph`, or null with the allocation's
// Python error pending (the graph then stays with the caller).
PyRef new_graph_object(PyTypeObject* type, Graph&& graph) {
  allocfunc alloc = type->tp_alloc != nullptr ? type->tp_alloc : PyType_GenericAlloc;
  PyRef object = PyRef::steal(alloc(type, 0));
  if (!object) return object;
  GraphObject* self = as_graph_object(object.get());
  self->access_flag = 0;
  new (&self->graph) Graph(std::move(graph));
  return object;
}

PyObject* graph_repr(PyObject* self) {
  return guarded([&] {
    SharedAccess access(self);
    const Graph& graph = access.graph();
    const std::string text = "Graph (n=" + std::to_string(graph.num_vertices()) +
                             ",m=" + std::to_string(graph.num_edges()) + ")]";
    PyRef str = PyRef::steal(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
    if (!str) throw_python_error();
    return str;
  });
}

void graph_dealloc(PyObject* self) {
  CallScope scope;
  as_graph_object(self)->graph.~Graph();
  // The type has no tp_finalize, so there is no finaliser to call and no
  // resurrection to detect before freeing.
  Py_TYPE(self)->tp_free(self);
}

// Names are copied so they live as long as the type, whatever the table is.
const char* lasting_copy(const char* text) {
  char* copy = new char[std::strlen(text) + 1];
  std::strcpy(copy, text);
  return copy;
}

// The type, filled in but not yet readied.
PyTypeObject* make_graph_type() {
  auto* type = new PyTypeObject{};
  Py_SET_REFCNT(reinterpret_cast<PyObject*>(type), 1);
  type->tp_flags = Py_TPFLAGS_DEFAULT;
  type->tp_doc = nullptr;
  type->tp_base = &PyBaseObject_Type;
  type->tp_name = lasting_copy("Graph");
  type->tp_dealloc = graph_dealloc;
  type->tp_basicsize = sizeof(GraphObject);
  type->tp_itemsize = 0;
  type->tp_repr = graph_repr;
  type->tp_str = graph_repr;

  std::vector<PyMethodDef> defs;
  for (const RegistrationEntry& entry : registration_table()) {
    if (entry.kind == MethodKind::kConstructor) {
      type->tp_new = entry.constructor;
      continue;
    }
    defs.push_back({lasting_copy(entry.name), entry.method, entry.flags, ""});
  }
  defs.push_back({nullptr, nullptr, 0, nullptr});
  // Raw storage rather than new[]: an array new of a run-time length binds a
  // length check that older libstdc++ releases lack. PyMethodDef is a plain
  // struct, so copying into the storage creates the entries.
  auto* methods = static_cast<PyMethodDef*>(::operator new(defs.size() * sizeof(PyMethodDef)));
  std::copy(defs.begin(), defs.end(), methods);
  type->tp_methods = methods;
  type->tp_flags = Py_TPFLAGS_DEFAULT;
  return type;
}

}  // namespace

PyTypeObject* graph_type() {
  // Creation runs none of our code, so it cannot re-enter this lookup: the
  // first type made is the only one, kept for the life of the process. A
  // type that PyType_Ready refused (memory ran out) is kept too and readied
  // again by the next lookup, so a failed import leaks nothing and a later
  // one still finds the one type.
  static PyTypeObject* unready = nullptr;
  if (the_graph_type == nullptr) {
    if (unready == nullptr) unready = make_graph_type();
    if (PyType_Ready(unready) < 0) {
      PyErr_PrintEx(0);
      fault("An error occurred while initializing class Graph");
    }
    the_graph_type = std::exchange(unready, nullptr);
    PyType_Modified(the_graph_type);  // no class attributes to add
    install_descriptor_calls(the_graph_type);
  }
  return the_graph_type;
}

PyRef wrap_graph(Graph&& graph) {
  PyRef object = new_graph_object(graph_type(), std::move(graph));
  if (!object) {
    throw_if_out_of_memory();
    unexpected_failure(describe_and_clear_python_error());
  }
  return object;
}

PyRef methods::construct(PyTypeObject* type) {
  Graph graph;
  PyRef object = new_graph_object(type, std::move(graph));
  if (!object) throw_python_error();
  return object;
}

}  // namespace quiverlane
