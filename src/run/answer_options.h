#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace quorlant::run {

/// What the command line asks for.
struct Invocation {
  bool quiet = false;          // nothing on standard output
  bool dry_run = false;        // every check, no file written
  bool print_answers = false;  // the answer script on standard output, no run
  bool strict = false;         // answers the dialogue would take loosely end the run
  /// --answers: the file the dialogue reads its answers from ("-": standard input).
  std::optional<std::string> answer_file;
  /// --save-answers: the file that takes the answer script of a run that ends normally.
  std::optional<std::string> save_answers;
  /// The answers the options give, one a line, as the dialogue would take them (the two pauses
  /// included); none when the dialogue asks its questions.
  std::optional<std::string> answers;
};

/// Parses the options and checks every answer value, so that the run they make can use each.
/// Throws a Failure of status kUsage naming the option, what was given and the form expected.
Invocation parse_command_line(std::span<const std::string_view> arguments);

/// The text of --help: the options grouped as answers, modes and information.
std::string help_text();

}  // namespace quorlant::run
