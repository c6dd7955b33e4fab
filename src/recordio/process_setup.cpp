#include "recordio/process_setup.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "recordio/interrupt_guard.h"

namespace quorlant::recordio {

namespace {

// Returns whether standard output was among the closed streams.
bool fill_closed_standard_streams() {
  bool output_closed = false;
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    if (fd == STDOUT_FILENO) output_closed = true;
    const int null_fd = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    if (null_fd >= 0 && null_fd != fd) {
      ::dup2(null_fd, fd);
      ::close(null_fd);
    }
  }
  return output_closed;
}

}  // namespace

bool prepare_process() {
  const bool output_closed = fill_closed_standard_streams();
  std::signal(SIGPIPE, SIG_IGN);
  install_interrupt_cleanup();
  return !output_closed;
}

bool standard_input_is_terminal() {
  return ::isatty(STDIN_FILENO) == 1;
}

}  // namespace quorlant::recordio
