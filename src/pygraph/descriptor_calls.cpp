#include "pygraph/descriptor_calls.h"

#include "binding/py_ref.h"
#include "pygraph/method_table.h"

namespace quiverlane {

void install_descriptor_calls(PyTypeObject* type) noexcept {
  for (const RegistrationEntry& entry : registration_table()) {
    if (entry.descriptor_call == nullptr) continue;
    PyRef found = PyRef::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(type), entry.name));
    if (!found) {
      PyErr_Clear();  // left with the interpreter's entry, which works as well
      continue;
    }
    if (!Py_IS_TYPE(found.get(), &PyMethodDescr_Type)) continue;
    auto* descriptor = reinterpret_cast<PyMethodDescrObject*>(found.get());
    if (interpreter_descriptor_call == nullptr) interpreter_descriptor_call = descriptor->vectorcall;
    // Every such descriptor shares the interpreter's one entry; one that
    // does not is not of the kind this replacement stands in for.
    if (descriptor->vectorcall != interpreter_descriptor_call || descriptor->vectorcall == nullptr) continue;
    descriptor->vectorcall = entry.descriptor_call;
  }
}

}  // namespace quiverlane
