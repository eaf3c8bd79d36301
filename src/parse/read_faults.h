// Faults for data that cannot be read once the file is open.
//
// The fault message carries the read error's debug form, naming its category
// and its message, e.g.
//   read error (invalid data): corrupt deflate stream
//   read error (errno 21): Is a directory
#pragma once

#include <source_location>
#include <string>
#include <string_view>

namespace quiverlane {

enum class ReadErrorKind { kInvalidData, kInvalidInput, kUnexpectedEof };

inline constexpr std::string_view kInvalidUtf8 = "stream did not contain valid UTF-8";
inline constexpr std::string_view kInvalidGzipHeader = "invalid gzip header";
inline constexpr std::string_view kChecksumMismatch =
    "corrupt gzip stream does not have a matching checksum";
inline constexpr std::string_view kCorruptDeflate = "corrupt deflate stream";
inline constexpr std::string_view kUnexpectedEof = "unexpected end of file";

[[noreturn]] void read_failed(ReadErrorKind kind, std::string_view message,
                              std::source_location where = std::source_location::current());

// For a failed read(2): errno and the system's text for it.
[[noreturn]] void os_read_failed(int error_number,
                                 std::source_location where = std::source_location::current());

// The system's text for errno, thread-safe.
std::string os_error_text(int error_number);

}  // namespace quiverlane
