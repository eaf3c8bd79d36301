#include "parse/read_faults.h"

#include <cstring>

#include "support/fault.h"

namespace quiverlane {

namespace {

// strerror_r comes in a GNU flavour (returns the text) and an XSI flavour
// (fills the buffer); overloads pick whichever the C library declares.
[[maybe_unused]] const char* strerror_result(const char* text, const char*) { return text; }
[[maybe_unused]] const char* strerror_result(int status, const char* buffer) {
  return status == 0 ? buffer : "Unknown error";
}

std::string_view kind_name(ReadErrorKind kind) {
  switch (kind) {
    case ReadErrorKind::kInvalidData:
      return "invalid data";
    case ReadErrorKind::kInvalidInput:
      return "invalid input";
    case ReadErrorKind::kUnexpectedEof:
      return "unexpected end of file";
  }
  return "other";
}

}  // namespace

std::string os_error_text(int error_number) {
  char buffer[256] = {};
  return strerror_result(::strerror_r(error_number, buffer, sizeof buffer), buffer);
}

void read_failed(ReadErrorKind kind, std::string_view message, std::source_location where) {
  std::string debug = "read error (";
  debug += kind_name(kind);
  debug += "): ";
  debug += message;
  unexpected_failure(debug, where);
}

void os_read_failed(int error_number, std::source_location where) {
  std::string debug = "read error (errno ";
  debug += std::to_string(error_number);
  debug += "): ";
  debug += os_error_text(error_number);
  unexpected_failure(debug, where);
}

}  // namespace quiverlane
