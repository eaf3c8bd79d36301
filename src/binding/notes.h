// Notes on exceptions: a line of explanation shown under the traceback.
//
// Interpreters with exception notes get it through add_note; older ones get
// the same list in __notes__, which tools that show notes read too. A note
// only explains: if it cannot be attached, the exception is raised without.
#pragma once

#include <Python.h>

namespace quiverlane {

// Attaches `note` (a str) to `exception` (an instance); never fails.
void attach_note(PyObject* exception, PyObject* note) noexcept;

}  // namespace quiverlane
