#include <iostream>
#include <string_view>
#include <vector>

#include "recordio/process_setup.h"
#include "run/command_line.h"

int main(int argc, char** argv) {
  if (!quorlant::recordio::prepare_process()) {
    std::cerr << "quorlant: standard output is closed, so the run cannot show its questions\n";
    return 2;
  }
  std::ios::sync_with_stdio(false);
  const std::vector<std::string_view> arguments(argv + 1, argv + argc);
  return quorlant::run::main_program(arguments, std::cin, std::cout, std::cerr, ".",
                                     quorlant::recordio::standard_input_is_terminal());
}
