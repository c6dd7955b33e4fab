#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "recordio/console_window.h"
#include "platform/platform.h"
#include "recordio/process_setup.h"
#include "program.h"

int main(int argc, char** argv) {
  if (const std::string failure = quorlant::recordio::prepare_process(); !failure.empty()) {
    std::cerr << "quorlant: " << failure << '\n';
    return 2;
  }
  std::ios::sync_with_stdio(false);
  const std::vector<std::string_view> arguments(argv + 1, argv + argc);
  quorlant::platform::SystemFileSystem files;
  const bool terminal = quorlant::recordio::standard_input_is_terminal();
  const int status = quorlant::main_program(arguments, std::cin, std::cout, std::cerr, files,
                                                 ".", terminal);
  // An interrupt that waited while the run put its series back ends the process by itself now.
  quorlant::platform::end_if_interrupted();
  quorlant::recordio::hold_own_window(std::cin, std::cout, terminal);
  return status;
}
