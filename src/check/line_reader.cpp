#include "check/line_reader.h"

namespace quorlant::check {

namespace {

using Traits = std::streambuf::traits_type;

bool is_text(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return c == '\t' || (byte >= 0x20 && byte != 0x7F);  // bytes from 0x80 on may be UTF-8
}

}  // namespace

LineReader::Result LineReader::next(std::string& line) {
  line.clear();
  if (Traits::eq_int_type(in_.sgetc(), Traits::eof())) return Result::kEnd;
  ++number_;
  // A last line may end without its LF.
  for (auto got = in_.sbumpc(); !Traits::eq_int_type(got, Traits::eof()); got = in_.sbumpc()) {
    const char c = Traits::to_char_type(got);
    if (c == '\n') return Result::kLine;
    // Files made on Windows end their lines in CR LF; a CR anywhere else is not text.
    if (c == '\r' && Traits::eq_int_type(in_.sgetc(), Traits::to_int_type('\n'))) continue;
    if (!is_text(c)) return Result::kNotText;
    if (line.size() == kMaxLineLength) return Result::kTooLong;
    line.push_back(c);
  }
  return Result::kLine;
}

std::string refusal(LineReader::Result result) {
  if (result == LineReader::Result::kTooLong) {
    return "more than " + std::to_string(LineReader::kMaxLineLength) +
           " characters; not a text file";
  }
  return "a control character; not a text file";
}

}  // namespace quorlant::check
