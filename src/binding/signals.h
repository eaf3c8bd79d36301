// Ctrl-C and other signals during a long call.
//
// Every long operation asks every so often whether to stop (see
// support/interrupt.h). The answer comes from the interpreter: its own
// check runs the Python signal handlers, and if one raised (KeyboardInterrupt
// from Ctrl-C, or anything else) the call ends with that exception.
#pragma once

namespace quiverlane {

// Makes long operations run the interpreter's signal check. Called at import.
void answer_interrupts_from_python_signals() noexcept;

}  // namespace quiverlane
