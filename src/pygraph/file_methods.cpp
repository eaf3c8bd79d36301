// Graph.from_file. (Being built: raises NotImplementedError for now.)
#include "pygraph/methods.h"

namespace quiverlane::methods {

QUIVERLANE_FAST_METHOD(from_file) {
  (void)self, (void)args, (void)nargs, (void)kwnames;
  PyErr_SetString(PyExc_NotImplementedError, "not built yet");
  return nullptr;
}

}  // namespace quiverlane::methods
