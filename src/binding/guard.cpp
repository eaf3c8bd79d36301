#include "binding/guard.h"

#include <string>

#include "binding/exceptions.h"
#include "graph/graph.h"

namespace quiverlane {

namespace {

void raise_panic(const std::string& message) noexcept {
  try {
    PendingError(panic_exception_type(), message).restore();
  } catch (const InternalFault&) {
    // The class itself could not be made; the interpreter's error stands.
    FaultInProgress::end();
    if (!PyErr_Occurred()) PyErr_SetString(PyExc_SystemError, message.c_str());
  } catch (...) {
    PyErr_NoMemory();
  }
}

}  // namespace

void raise_fault(const InternalFault& fault) noexcept {
  FaultInProgress::end();
  raise_panic(fault.message());
}

void raise_capacity_exceeded(Capacity which) noexcept {
  try {
    std::string note = which == Capacity::kNeighbourSet
                           ? "a vertex's neighbour set holds at most " + std::to_string(Graph::kMaxNeighbours) +
                                 " members"
                           : "a graph holds at most " + std::to_string(Graph::kMaxVertices) + " vertices";
    PendingError::with_note(PyExc_MemoryError, std::move(note)).restore();
  } catch (...) {
    PyErr_NoMemory();
  }
}

void raise_unknown_fault() noexcept { raise_panic("a fault of unknown kind occurred in native code"); }

}  // namespace quiverlane
