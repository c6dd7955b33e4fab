#include "recordio/console.h"

#include "recordio/record_format.h"
#include "recordio/stop.h"

namespace quorlant::recordio {

namespace {

bool is_blank(char c) {
  return c == ' ' || c == '\t';
}

std::string quoted(std::string_view text) {
  return "\"" + std::string(text) + "\"";
}

}  // namespace

void Console::write(std::string_view lines) {
  out_.write(lines.data(), static_cast<std::streamsize>(lines.size()));
  if (!out_) throw IoFailure("cannot write to standard output");
}

void Console::flush() {
  out_.flush();
  if (!out_) throw IoFailure("cannot write to standard output");
}

std::string Console::read_line(std::string_view what) {
  flush();  // the operator sees the question before the program waits for the answer
  std::string line;
  if (!std::getline(in_, line)) {
    if (in_.bad())
      throw IoFailure("cannot read standard input while waiting for " + std::string(what));
    throw IoFailure("end of input while waiting for " + std::string(what));
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

std::string Console::read_value(std::string_view what) {
  for (;;) {
    const std::string line = read_line(what);
    std::size_t begin = 0;
    while (begin < line.size() && is_blank(line[begin])) ++begin;
    if (begin == line.size()) continue;  // a blank line holds no value
    std::size_t end = begin;
    while (end < line.size() && !is_blank(line[end]) && line[end] != ',') ++end;
    return line.substr(begin, end - begin);
  }
}

std::int32_t Console::read_integer(std::string_view what) {
  const std::string value = read_value(what);
  if (auto number = parse_integer(value)) return *number;
  throw IoFailure("the answer for " + std::string(what) + " must be a whole number from " +
                  "-2147483648 to 2147483647, not " + quoted(value));
}

float Console::read_real(std::string_view what) {
  const std::string value = read_value(what);
  if (auto number = parse_real(value)) return *number;
  throw IoFailure("the answer for " + std::string(what) + " must be a number, not " +
                  quoted(value));
}

}  // namespace quorlant::recordio
