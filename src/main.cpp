#include <csignal>
#include <iostream>
#include <string_view>
#include <vector>

#include "recordio/interrupt_guard.h"
#include "run/command_line.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  // A closed pipe on standard output is reported like any other failed write.
  std::signal(SIGPIPE, SIG_IGN);
  quorlant::recordio::install_interrupt_cleanup();
  const std::vector<std::string_view> arguments(argv + 1, argv + argc);
  return quorlant::run::main_program(arguments, std::cin, std::cout, std::cerr, ".");
}
