#pragma once

#include <cstddef>
#include <streambuf>
#include <string>

namespace quorlant::check {

/// Reads a text file line by line, never holding more than one bounded line, so a huge or
/// binary file costs no more than a short one.
class LineReader {
 public:
  /// Longer lines than this are not text this program reads.
  static constexpr std::size_t kMaxLineLength = 1024;

  enum class Result {
    kLine,     // `line` holds the next line, without its LF or CR LF
    kEnd,      // no line is left
    kTooLong,  // the line runs past kMaxLineLength characters
    kNotText,  // the line holds a control character (a tab is text)
  };

  explicit LineReader(std::streambuf& in) : in_(in) {}

  /// The next line into `line`. Anything but kLine ends the reading.
  Result next(std::string& line);
  /// The number of the line last read, from 1.
  std::size_t number() const { return number_; }

 private:
  std::streambuf& in_;
  std::size_t number_ = 0;
};

/// Why the reader refused a line: "more than 1024 characters; not a text file".
std::string refusal(LineReader::Result result);

}  // namespace quorlant::check
