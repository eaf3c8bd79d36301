// Vertex-set methods: neighbourhoods, balls, contraction, subgraphs and
// components. (Being built: each raises NotImplementedError for now.)
#include "binding/guard.h"
#include "pygraph/methods.h"

namespace quiverlane::methods {

namespace {
PyObject* not_yet() {
  PyErr_SetString(PyExc_NotImplementedError, "not built yet");
  return nullptr;
}
}  // namespace

QUIVERLANE_FAST_METHOD(neighbourhood) { (void)self, (void)args, (void)nargs, (void)kwnames; return not_yet(); }
QUIVERLANE_FAST_METHOD(closed_neighbourhood) { (void)self, (void)args, (void)nargs, (void)kwnames; return not_yet(); }
QUIVERLANE_FAST_METHOD(r_neighbours) { (void)self, (void)args, (void)nargs, (void)kwnames; return not_yet(); }
QUIVERLANE_FAST_METHOD(contract) { (void)self, (void)args, (void)nargs, (void)kwnames; return not_yet(); }
QUIVERLANE_FAST_METHOD(contract_into) { (void)self, (void)args, (void)nargs, (void)kwnames; return not_yet(); }
QUIVERLANE_FAST_METHOD(subgraph) { (void)self, (void)args, (void)nargs, (void)kwnames; return not_yet(); }
QUIVERLANE_NOARGS_METHOD(components) { (void)self, (void)unused; return not_yet(); }

}  // namespace quiverlane::methods
