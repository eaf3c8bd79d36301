#include "support/stderr.h"

#include <cerrno>
#include <unistd.h>

namespace quiverlane {

void write_stderr(std::string_view text) noexcept {
  const char* data = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    const ssize_t written = ::write(2, data, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      return;  // nowhere left to report to
    }
    data += written;
    left -= static_cast<std::size_t>(written);
  }
}

}  // namespace quiverlane
