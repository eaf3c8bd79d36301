#include "binding/notes.h"

#include "binding/py_ref.h"

namespace quiverlane {

void attach_note(PyObject* exception, PyObject* note) noexcept {
#if PY_VERSION_HEX >= 0x030B0000
  PyRef added = PyRef::steal(PyObject_CallMethod(exception, "add_note", "O", note));
  if (!added) PyErr_Clear();
#else
  PyRef notes = PyRef::steal(PyList_New(1));
  if (!notes) {
    PyErr_Clear();
    return;
  }
  Py_INCREF(note);
  PyList_SET_ITEM(notes.get(), 0, note);
  if (PyObject_SetAttrString(exception, "__notes__", notes.get()) < 0) PyErr_Clear();
#endif
}

}  // namespace quiverlane
