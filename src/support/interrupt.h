// Interrupting long operations.
//
// A long operation (reading a file, copying or walking a large graph,
// building a large result) asks every so often whether its caller wants it
// to stop. The question is installed by whoever runs the operations (the
// binding runs the interpreter's signal handlers, so Ctrl-C stops a load);
// when the answer is yes the check throws, and the operation unwinds like
// any other error: every buffer and file is released on the way, and an
// operation that changes a graph checks only before its first change.
//
// An InterruptPoll counts units of work and asks once per batch of them,
// so the question costs nothing measurable on any loop.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quiverlane {

// Asks whether to stop; throws (whatever it likes) if so.
using InterruptCheck = void (*)();

// Installs the check; nullptr for none (the default).
void set_interrupt_check(InterruptCheck check) noexcept;

// Runs the installed check, if any. May throw.
void check_interrupt();

class InterruptPoll {
 public:
  // About a hundred microseconds of the cheapest loops between checks.
  static constexpr std::int64_t kEvery = std::int64_t{1} << 16;

  // Counts `units` of work; checks once at least kEvery have gone by.
  // True if it checked (the check may have run code of the caller's).
  bool tick(std::int64_t units = 1) {
    countdown_ -= units;
    if (countdown_ > 0) [[likely]]
      return false;
    countdown_ = kEvery;
    check_interrupt();
    return true;
  }

 private:
  std::int64_t countdown_ = kEvery;
};

}  // namespace quiverlane
