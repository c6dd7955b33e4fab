#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

namespace quorlant::recordio {

/// Why an answer as typed cannot be taken ("expected 1 or 12"), or nothing when it can.
using AnswerCheck = std::function<std::optional<std::string>(std::string_view typed)>;

/// The operator's console: answer lines come from `in`, every message goes to `out`.
class Console {
 public:
  /// The longest answer line: far more than any answer uses or its field cuts. A longer line
  /// ends the run at once, so that neither memory nor time is unbounded whatever comes in.
  static constexpr std::size_t kLineBound = 64 * 1024;

  Console(std::istream& in, std::ostream& out) : in_(in), out_(out) {}

  /// Writes text made of whole lines. Throws Failure when standard output fails.
  void write(std::string_view lines);
  /// Pushes what is written out to the operator. Throws Failure when that fails.
  void flush();
  /// On a terminal an answer that fails its check is asked again with a one-line hint;
  /// otherwise (an answer script) the answer is taken as the field reads it.
  void set_terminal(bool terminal) { terminal_ = terminal; }
  bool terminal() const { return terminal_; }

  /// The next answer line without its terminator (a trailing carriage return is part of the
  /// terminator). Throws Failure naming `what` when the input has ended, and naming the line
  /// when it is longer than kLineBound. On a terminal a line that `check` refuses is asked
  /// again.
  std::string read_line(std::string_view what, const AnswerCheck& check = {});
  /// The Enter of a pause: reads a line and passes it over; false, reading nothing, when the
  /// input has ended.
  bool read_enter(std::string_view what);
  /// A free-form integer: blank lines are passed over, the value ends at a blank, a comma or
  /// the end of the line, and the rest of the line is discarded. On a terminal a value that
  /// `check` refuses, or without a check one that is not a number, is asked again.
  std::int32_t read_integer(std::string_view what, const AnswerCheck& check = {});
  /// A free-form real, read as read_integer reads an integer.
  float read_real(std::string_view what, const AnswerCheck& check = {});

  /// The line number in the input of the last answer line read, 0 before the first.
  int line_number() const { return line_number_; }
  /// The last answer line read, as read_line gives it.
  const std::string& last_line() const { return last_line_; }
  /// Whether the input holds no further line. Blocks on a terminal until it knows.
  bool at_end();
  /// The answer script of what was read so far: each answer taken, as its line was typed
  /// (a line asked again, or a blank line passed over before a number, is left out), and an
  /// empty line for each pause.
  const std::string& script() const { return script_; }

 private:
  std::string next_line(std::string_view what);
  std::string read_value(std::string_view what);
  // On a terminal, whether `typed` is refused; if so the hint is shown.
  bool asked_again(std::string_view typed, std::string_view what,
                   const std::optional<std::string>& problem);
  template <class Number>
  Number read_number(std::string_view what, std::string_view form, const AnswerCheck& check,
                     std::optional<Number> (*parse)(std::string_view));

  std::istream& in_;
  std::ostream& out_;
  bool terminal_ = false;
  int line_number_ = 0;
  std::string last_line_;
  std::string script_;
};

/// How a failure names a line of the answer script: "line 7 of the answers".
std::string line_of_the_answers(int number);

}  // namespace quorlant::recordio
