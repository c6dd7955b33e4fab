#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <iostream>
#include <string_view>
#include <vector>

#include "recordio/interrupt_guard.h"
#include "run/command_line.h"

namespace {

// A standard stream the process was started without would lend its number to the first file the
// run opens, and console text would land in that file (or answers be read from it). Each closed
// one gets /dev/null instead. Returns whether standard output was among them.
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

int main(int argc, char** argv) {
  if (fill_closed_standard_streams()) {
    std::cerr << "quorlant: standard output is closed, so the run cannot show its questions\n";
    return 2;
  }
  std::ios::sync_with_stdio(false);
  // A closed pipe on standard output is reported like any other failed write.
  std::signal(SIGPIPE, SIG_IGN);
  quorlant::recordio::install_interrupt_cleanup();
  const std::vector<std::string_view> arguments(argv + 1, argv + argc);
  return quorlant::run::main_program(arguments, std::cin, std::cout, std::cerr, ".");
}
