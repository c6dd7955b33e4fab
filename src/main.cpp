#include <iostream>
#include <string_view>
#include <vector>

#include "recordio/console_window.h"
#include "recordio/process_setup.h"
#include "run/command_line.h"

int main(int argc, char** argv) {
  if (!quorlant::recordio::prepare_process()) {
    std::cerr << "quorlant: standard output is closed, so the run cannot show its questions\n";
    return 2;
  }
  std::ios::sync_with_stdio(false);
  const std::vector<std::string_view> arguments(argv + 1, argv + argc);
  const bool terminal = quorlant::recordio::standard_input_is_terminal();
  const int status = quorlant::run::main_program(arguments, std::cin, std::cout, std::cerr, ".",
                                                 terminal);
  quorlant::recordio::hold_own_window(std::cin, std::cout, terminal);
  return status;
}
