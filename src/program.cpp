#include "program.h"

#include "check/check_command.h"
#include "run/command_line.h"

namespace quorlant {

int main_program(std::span<const std::string_view> arguments, std::istream& in, std::ostream& out,
                 std::ostream& err, platform::FileSystem& files,
                 const std::filesystem::path& working_directory, bool input_is_terminal) {
  if (!arguments.empty() && arguments[0] == "check")
    return check::main_check(arguments.subspan(1), out, err, working_directory, files);
  return run::main_program(arguments, in, out, err, files, working_directory, input_is_terminal);
}

}  // namespace quorlant
