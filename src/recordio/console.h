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

  /// The next answer line without its terminator (a trailing carriage return is part of the
  /// terminator). Throws IoFailure naming `what` when the input has ended.
  std::string read_line(std::string_view what);
  /// A free-form integer: blank lines are passed over, the value ends at a blank, a comma or
  /// the end of the line, and the rest of the line is discarded.
  std::int32_t read_integer(std::string_view what);
  /// A free-form real, read as read_integer reads an integer.
  float read_real(std::string_view what);

 private:
  std::string read_value(std::string_view what);

  std::istream& in_;
  std::ostream& out_;
};

}  // namespace quorlant::recordio
