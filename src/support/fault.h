// Internal faults: conditions an operation does not handle.
//
// A fault abandons the whole operation: fault() writes the report to
// standard error at the fault site, then throws InternalFault, so every
// clean-up on the way (RAII) runs until an entry point's fault guard turns it
// into a Python exception. Nothing here touches Python, so the graph core and
// the reader raise faults too.
#pragma once

#include <source_location>
#include <string>
#include <string_view>

namespace quiverlane {

class InternalFault {
 public:
  InternalFault(std::string message, bool report_written) noexcept
      : message_(std::move(message)), report_written_(report_written) {}
  const std::string& message() const noexcept { return message_; }
  bool report_written() const noexcept { return report_written_; }

 private:
  std::string message_;
  bool report_written_;
};

// Counts the fault as in progress on this thread until a guard catches it.
class FaultInProgress {
 public:
  static void begin() noexcept;
  static void end() noexcept;
  static unsigned count() noexcept;
};

// Reports the fault and unwinds to the nearest fault guard.
[[noreturn]] void fault(std::string_view message,
                        std::source_location where = std::source_location::current());

// A fault for an operation whose result was an unexpected failure: the
// generic text, ": " and the failure's debug form.
[[noreturn]] void unexpected_failure(std::string_view debug_form,
                                     std::source_location where = std::source_location::current());

// A fault for a required value that is missing.
[[noreturn]] void missing_value(std::source_location where = std::source_location::current());

// Resumes a fault that came back through Python: no second report.
[[noreturn]] void resume_fault(std::string message);

}  // namespace quiverlane
