#include "support/interrupt.h"

#include <atomic>

namespace quiverlane {

namespace {
std::atomic<InterruptCheck> installed{nullptr};
}

void set_interrupt_check(InterruptCheck check) noexcept {
  installed.store(check, std::memory_order_relaxed);
}

void check_interrupt() {
  if (InterruptCheck check = installed.load(std::memory_order_relaxed)) check();
}

}  // namespace quiverlane
