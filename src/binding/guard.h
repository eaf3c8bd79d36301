// The fault guard around every entry point.
//
// guarded() opens the call's CallScope and runs the body. Whatever leaves
// the body becomes the call's outcome: a result object, a raised
// PendingError, an internal fault turned into PanicException, or a failed
// native allocation turned into MemoryError (the graph operations are
// all-or-nothing, so the graph is consistent afterwards). A graph table
// past its fixed cap is a MemoryError too, with a note that names the cap:
// more memory would not help there.
#pragma once

#include <Python.h>

#include <new>
#include <stdexcept>

#include "binding/call_scope.h"
#include "binding/pending_error.h"
#include "binding/py_ref.h"
#include "graph/capacity.h"
#include "support/fault.h"

namespace quiverlane {

// Raises the Python exception for a caught fault.
void raise_fault(const InternalFault& fault) noexcept;
void raise_unknown_fault() noexcept;
// Raises MemoryError with a note naming the cap.
void raise_capacity_exceeded(Capacity which) noexcept;

template <class Body>
PyObject* guarded(Body&& body) noexcept {
  CallScope scope;
  try {
    PyRef result = body();
    return result.release();
  } catch (PendingError& error) {
    std::move(error).restore();
  } catch (const InternalFault& fault) {
    raise_fault(fault);
  } catch (const CapacityExceeded& error) {
    raise_capacity_exceeded(error.which());
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::length_error&) {
    PyErr_NoMemory();
  } catch (...) {
    raise_unknown_fault();
  }
  return nullptr;
}

}  // namespace quiverlane
