#include "run/command_line.h"

#include "check/check_command.h"
#include "recordio/record_io.h"
#include "run/run_sequence.h"

namespace quorlant::run {

namespace {

constexpr std::string_view kUsage =
    "Usage: quorlant [--help | --version]\n"
    "\n"
    "Writes the event files of a long modelling run in the current working directory.\n"
    "It asks its questions on standard output and reads the answers, one per line, from\n"
    "standard input, so they can be piped from a file:  quorlant < run.answers\n"
    "\n"
    "Files written: event\\<yyyymmdd>.evt (one per event), event\\events_to_follow.txt,\n"
    "evt_info.txt, and the scratch files temp0.fls, temp1.fls, temp2.fls, temp3.fls and\n"
    "temp5.fls. The event directory must exist; event\\20150101.evt is the file\n"
    "event/20150101.evt.\n"
    "\n"
    "Exit status: 0 after \"Normal ending\"; 1 when the program aborts the run or rejects an\n"
    "answer; 2 when an answer is not a number of the required kind, the input ends, a file\n"
    "cannot be opened, written or closed, or the arguments are wrong.\n"
    "\n"
    "The questions and what each answer does: man quorlant\n";

// Standard output that takes no text is a failure like any other, with its report.
int print(std::string_view text, std::ostream& out, std::ostream& err) {
  out << text;
  out.flush();
  if (out) return 0;
  err << "quorlant: cannot write to standard output\n";
  return static_cast<int>(recordio::ExitStatus::kIoFailure);
}

}  // namespace

int main_program(std::span<const std::string_view> arguments, std::istream& in, std::ostream& out,
                 std::ostream& err, const std::filesystem::path& working_directory) {
  if (!arguments.empty() && arguments[0] == "check") {
    return check::main_check(arguments.subspan(1), out, err, working_directory);
  }
  if (arguments.size() == 1 && arguments[0] == "--help") return print(kUsage, out, err);
  if (arguments.size() == 1 && arguments[0] == "--version") {
    return print("quorlant " QUORLANT_VERSION "\n", out, err);
  }
  if (!arguments.empty()) {
    if (arguments.size() > 1) {
      err << "quorlant: " << arguments.size() << " arguments given, at most one is taken";
    } else {
      err << "quorlant: unexpected argument '" << arguments[0] << "'";
    }
    err << "; usage: quorlant [--help | --version] (answers are read from standard input)\n";
    return static_cast<int>(recordio::ExitStatus::kIoFailure);
  }
  recordio::RecordIo io(in, out, err, working_directory);
  return run_sequence(io);
}

}  // namespace quorlant::run
