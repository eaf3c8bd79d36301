#include "binding/signals.h"

#include <Python.h>

#include "binding/pending_error.h"
#include "support/interrupt.h"

namespace quiverlane {

namespace {

// Every module call holds the interpreter lock, which the check needs.
void check_python_signals() {
  if (PyErr_CheckSignals() < 0) throw_python_error();
}

}  // namespace

void answer_interrupts_from_python_signals() noexcept { set_interrupt_check(check_python_signals); }

}  // namespace quiverlane
