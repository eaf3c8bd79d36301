#include "support/fault.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <execinfo.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "support/stderr.h"

// glibc 2.34 moved dladdr from libdl into libc under a new symbol version and
// kept the old version as an alias of the same function. Binding the old one
// lets the module load on every glibc that wheels support (2.17 on): before
// 2.34 it resolves from libdl, which the interpreter loads to import
// extensions at all. The old version's name is the architecture's first glibc
// version; elsewhere the default binding is left alone.
#if defined(__GLIBC__) && defined(__x86_64__) && defined(__LP64__)
__asm__(".symver dladdr, dladdr@GLIBC_2.2.5");
#elif defined(__GLIBC__) && defined(__aarch64__) && defined(__LP64__)
__asm__(".symver dladdr, dladdr@GLIBC_2.17");
#endif

namespace quiverlane {

namespace {

constexpr const char* kBacktraceVariable = "QUIVERLANE_BACKTRACE";

enum class BacktraceMode { kOff, kShort, kFull };

// Static TLS: counting a fault must not need an allocation of its own.
__thread unsigned faults_in_progress __attribute__((tls_model("initial-exec"))) = 0;

// Read at the first fault and fixed from then on.
BacktraceMode backtrace_mode() {
  static const BacktraceMode mode = [] {
    const char* value = std::getenv(kBacktraceVariable);
    if (value == nullptr || std::strcmp(value, "0") == 0) return BacktraceMode::kOff;
    if (std::strcmp(value, "full") == 0) return BacktraceMode::kFull;
    return BacktraceMode::kShort;
  }();
  return mode;
}

std::atomic<bool> first_fault_note_pending{true};
std::mutex backtrace_mutex;

std::string symbol_name(const char* mangled) {
  if (mangled == nullptr) return "<unknown>";
  int status = 0;
  char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
  std::string name = status == 0 && demangled != nullptr ? demangled : mangled;
  std::free(demangled);
  return name;
}

void write_backtrace(bool full) {
  std::lock_guard<std::mutex> lock(backtrace_mutex);
  void* frames[128];
  const int count = ::backtrace(frames, 128);
  std::string text = "stack backtrace:\n";
  char line[64];
  // Frame 0 is this function: the trace starts where the fault was raised.
  for (int i = 1; i < count; ++i) {
    Dl_info info{};
    const bool known = ::dladdr(frames[i], &info) != 0;
    std::snprintf(line, sizeof line, "%4d: ", i - 1);
    text += line;
    if (full) {
      std::snprintf(line, sizeof line, "%#018zx - ", reinterpret_cast<std::size_t>(frames[i]));
      text += line;
    }
    text += symbol_name(known ? info.dli_sname : nullptr);
    text += '\n';
    if (known && info.dli_fname != nullptr) {
      const char* object = info.dli_fname;
      if (!full) {
        const char* slash = std::strrchr(object, '/');
        if (slash != nullptr) object = slash + 1;
      }
      std::snprintf(line, sizeof line, "+%#zx\n",
                    reinterpret_cast<std::size_t>(frames[i]) -
                        reinterpret_cast<std::size_t>(info.dli_fbase));
      text += "             at ";
      text += object;
      text += line;
    }
  }
  if (!full) {
    text += "note: frames are shown in short form; set ";
    text += kBacktraceVariable;
    text += "=full to see every detail\n";
  }
  write_stderr(text);
}

void write_report(std::string_view message, const std::source_location& where) {
  std::string report = "thread '<unnamed>' panicked at '";
  report += message;
  report += "', ";
  report += where.file_name();
  report += ':';
  report += std::to_string(where.line());
  report += ':';
  report += std::to_string(where.column());
  report += '\n';
  write_stderr(report);

  // A fault raised while another unwinds on this thread gets every detail.
  const BacktraceMode mode = faults_in_progress > 1 ? BacktraceMode::kFull : backtrace_mode();
  if (mode == BacktraceMode::kOff) {
    if (first_fault_note_pending.exchange(false)) {
      std::string note = "note: set the environment variable ";
      note += kBacktraceVariable;
      note += "=1 to display a backtrace\n";
      write_stderr(note);
    }
    return;
  }
  write_backtrace(mode == BacktraceMode::kFull);
}

// Counts a fault as in progress from the fault site on. If building the
// report or the message fails (bad_alloc), the count comes back down here;
// once the InternalFault is thrown, the guard that catches it lowers it.
class FaultCount {
 public:
  FaultCount() noexcept { FaultInProgress::begin(); }
  ~FaultCount() {
    if (counting_) FaultInProgress::end();
  }
  FaultCount(const FaultCount&) = delete;
  FaultCount& operator=(const FaultCount&) = delete;
  void hand_on() noexcept { counting_ = false; }

 private:
  bool counting_ = true;
};

}  // namespace

void FaultInProgress::begin() noexcept { ++faults_in_progress; }
void FaultInProgress::end() noexcept {
  if (faults_in_progress > 0) --faults_in_progress;
}
unsigned FaultInProgress::count() noexcept { return faults_in_progress; }

void fault(std::string_view message, std::source_location where) {
  FaultCount counted;
  write_report(message, where);
  std::string text(message);
  counted.hand_on();
  throw InternalFault(std::move(text), true);  // moves only: nothing left to fail
}

void unexpected_failure(std::string_view debug_form, std::source_location where) {
  std::string message = "operation failed unexpectedly: ";
  message += debug_form;
  fault(message, where);
}

void missing_value(std::source_location where) {
  fault("a required value is missing", where);
}

void resume_fault(std::string message) {
  FaultInProgress::begin();
  throw InternalFault(std::move(message), false);
}

}  // namespace quiverlane
