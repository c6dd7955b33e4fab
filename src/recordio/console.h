#pragma once

#include <cstdint>
#include <istream>
#include <ostream>
#include <string>
#include <string_view>

namespace quorlant::recordio {

/// The operator's console: answer lines come from `in`, every message goes to `out`.
class Console {
 public:
  Console(std::istream& in, std::ostream& out) : in_(in), out_(out) {}

  /// Writes text made of whole lines. Throws IoFailure when standard output fails.
  void write(std::string_view lines);
  /// Pushes what is written out to the operator. Throws IoFailure when that fails.
  void flush();
  /// On a terminal a number answer that cannot be read is asked again with a hint; otherwise
  /// (an answer script) it ends the run.
  void set_terminal(bool terminal) { terminal_ = terminal; }
  bool terminal() const { return terminal_; }

  /// The next answer line without its terminator (a trailing carriage return is part of the
  /// terminator). Throws IoFailure naming `what` when the input has ended.
  std::string read_line(std::string_view what);
  /// A free-form integer: blank lines are passed over, the value ends at a blank, a comma or
  /// the end of the line, and the rest of the line is discarded.
  std::int32_t read_integer(std::string_view what);
  /// A free-form real, read as read_integer reads an integer.
  float read_real(std::string_view what);

  /// The line number in the input of the last answer line read, 0 before the first.
  int line_number() const { return line_number_; }
  /// The last answer line read, whole.
  const std::string& last_line() const { return last_line_; }
  /// Whether the input holds no further line. Blocks on a terminal until it knows.
  bool at_end();

 private:
  std::string read_value(std::string_view what);
  template <class Number>
  Number read_number(std::string_view what, std::string_view form);

  std::istream& in_;
  std::ostream& out_;
  bool terminal_ = false;
  int line_number_ = 0;
  std::string last_line_;
};

}  // namespace quorlant::recordio
