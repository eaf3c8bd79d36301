#include "parse/posix_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "parse/read_faults.h"
#include "support/interrupt.h"

namespace quiverlane {

PosixFile::PosixFile(std::string_view name) {
  if (name.find('\0') != std::string_view::npos) return;
  const std::string path(name);  // open(2) needs the terminating zero
  // Opening a FIFO waits for a writer: a signal ends the wait, and the
  // caller may then want to stop rather than wait again.
  while ((fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC)) < 0 && errno == EINTR) check_interrupt();
  if (fd_ < 0) error_ = errno;
}

PosixFile::~PosixFile() {
  // close(2) must not be retried on EINTR under Linux: the descriptor is gone.
  if (fd_ >= 0) ::close(fd_);
}

std::size_t PosixFile::read(std::uint8_t* into, std::size_t capacity) {
  for (;;) {
    const ssize_t got = ::read(fd_, into, capacity);
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno != EINTR) os_read_failed(errno);
    check_interrupt();  // a pipe whose writer stalls must not hold us for ever
  }
}

}  // namespace quiverlane
