// Module definition and PyInit_quiverlane (single-phase initialisation).
#include <Python.h>

#include <string_view>

#include "binding/guard.h"
#include "binding/pending_error.h"
#include "binding/py_ref.h"
#include "binding/signals.h"
#include "pygraph/graph_object.h"
#include "support/fault.h"

namespace quiverlane {

namespace {

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT,
    "quiverlane",  // m_name
    nullptr,       // m_doc
    0,             // m_size
    nullptr,       // m_methods
    nullptr,       // m_slots
    nullptr,       // m_traverse
    nullptr,       // m_clear
    nullptr,       // m_free
};

PyRef new_str(std::string_view text) {
  PyRef str = PyRef::steal(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
  if (!str) throw_python_error();
  return str;
}

// The module's __all__ list, created if the module has none yet.
PyRef all_list(PyObject* module) {
  PyRef name = new_str("__all__");
  PyRef all = PyRef::steal(PyObject_GetAttr(module, name.get()));
  if (all) {
    if (!PyList_Check(all.get())) throw PendingError(PyExc_TypeError);
    return all;
  }
  if (!PyErr_ExceptionMatches(PyExc_AttributeError)) throw_python_error();
  PyErr_Clear();
  all = PyRef::steal(PyList_New(0));
  if (!all) throw_python_error();
  if (PyObject_SetAttr(module, name.get(), all.get()) < 0) throw_python_error();
  return all;
}

// Lists `name` in __all__ and sets the attribute.
void add_to_module(PyObject* module, std::string_view name, PyObject* value) {
  PyRef all = all_list(module);
  PyRef key = new_str(name);
  if (PyList_Append(all.get(), key.get()) < 0)
    fault("could not append __name__ to __all__: " + describe_and_clear_python_error());
  if (PyObject_SetAttr(module, key.get(), value) < 0) throw_python_error();
}

// The import runs under the same guard as every method, so whatever goes
// wrong during it fails the import with the exception a call would raise
// (PanicException for a fault, MemoryError, ...) instead of ending the
// process.
PyObject* create_module() {
  return guarded([]() -> PyRef {
    PyRef module = PyRef::steal(PyModule_Create2(&module_definition, 1013));
    if (!module) throw_python_error();
    answer_interrupts_from_python_signals();
    PyRef empty_doc = new_str("");
    add_to_module(module.get(), "__doc__", empty_doc.get());
    add_to_module(module.get(), "Graph", reinterpret_cast<PyObject*>(graph_type()));
    return module;
  });
}

}  // namespace

}  // namespace quiverlane

PyMODINIT_FUNC PyInit_quiverlane() { return quiverlane::create_module(); }
