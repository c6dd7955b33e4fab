#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/console_owner.h"
#include "platform/platform.h"
#include "program.h"
#include "recordio/console_window.h"
#include "recordio/failure.h"
#include "recordio/process_setup.h"

int main(int argc, char** argv) {
  try {
    quorlant::recordio::prepare_process();
  } catch (const quorlant::recordio::Failure& failure) {
    return quorlant::report(failure, "quorlant", std::cerr);
  }
  std::ios::sync_with_stdio(false);
  const std::vector<std::string_view> arguments(argv + 1, argv + argc);
  quorlant::platform::SystemFileSystem files;
  const bool terminal = quorlant::platform::standard_input_is_terminal();
  const int status =
      quorlant::main_program(arguments, std::cin, std::cout, std::cerr, files, ".", terminal);
  // An interrupt that waited while the run put its series back ends the process by itself now.
  quorlant::platform::end_if_interrupted();
  quorlant::recordio::hold_own_window(std::cin, std::cout, terminal,
                                      quorlant::platform::processes_on_console);
  return status;
}
