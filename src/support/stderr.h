// Direct writes to file descriptor 2, bypassing Python's sys.stderr, so fault
// reports appear even when Python's streams are redirected or broken.
#pragma once

#include <string_view>

namespace quiverlane {

void write_stderr(std::string_view text) noexcept;

}  // namespace quiverlane
