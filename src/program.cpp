#include "program.h"

#include <new>
#include <ostream>

#include "check/check_command.h"
#include "recordio/record_format.h"
#include "run/command_line.h"

namespace quorlant {

int report(const recordio::Failure& failure, std::string_view who, std::ostream& err) {
  // An interrupt says nothing of itself: the process ends by the interrupt.
  // A name in a message is the user's: it may hold a line end or a terminal's escape.
  if (!failure.is_interrupt()) err << who << ": " << recordio::printable(failure.what()) << '\n';
  if (!failure.aftermath().empty()) err << who << ": " << failure.aftermath() << '\n';
  err.flush();
  return static_cast<int>(failure.status());
}

int main_program(std::span<const std::string_view> arguments, std::istream& in, std::ostream& out,
                 std::ostream& err, platform::FileSystem& files,
                 const std::filesystem::path& working_directory, bool input_is_terminal) {
  const bool check = !arguments.empty() && arguments[0] == "check";
  const std::string_view who = check ? "quorlant check" : "quorlant";
  try {
    if (check) return check::main_check(arguments.subspan(1), out, err, working_directory, files);
    return run::main_program(arguments, in, out, err, files, working_directory,
                             input_is_terminal);
  } catch (const recordio::Failure& failure) {
    return report(failure, who, err);
  } catch (const std::bad_alloc&) {
    return report(recordio::Failure("out of memory"), who, err);
  } catch (const std::exception& error) {
    // A fault of the program itself: still one line and a failing status, never an abort.
    return report(recordio::Failure(std::string("internal error: ") + error.what()), who, err);
  }
}

}  // namespace quorlant
