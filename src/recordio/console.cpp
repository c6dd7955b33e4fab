#include "recordio/console.h"

#include <limits>

#include "recordio/message_line.h"
#include "recordio/record_format.h"
#include "recordio/stop.h"

namespace quorlant::recordio {

namespace {

bool is_blank(char c) {
  return c == ' ' || c == '\t';
}

template <class Number>
std::optional<Number> parse(std::string_view text);
template <>
std::optional<std::int32_t> parse(std::string_view text) {
  return parse_integer(text);
}
template <>
std::optional<float> parse(std::string_view text) {
  return parse_real(text);
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

std::string Console::next_line(std::string_view what) {
  flush();  // the operator sees the question before the program waits for the answer
  std::string line;
  char c = 0;
  bool ended = false;  // by its terminator
  while (line.size() < kLineBound && in_.get(c)) {
    if (c == '\n') {
      ended = true;
      break;
    }
    line += c;
  }
  if (!ended && line.size() == kLineBound) {
    // The rest of an overlong line is read and dropped, so memory stays flat whatever comes.
    in_.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
  } else if (!ended && line.empty()) {
    if (in_.bad())
      throw IoFailure("cannot read standard input while waiting for " + std::string(what));
    throw IoFailure("end of input while waiting for " + std::string(what));
  }
  if (in_.bad()) throw IoFailure("cannot read standard input while waiting for " + std::string(what));
  if (!line.empty() && line.back() == '\r') line.pop_back();
  ++line_number_;
  last_line_ = line;
  return line;
}

bool Console::asked_again(std::string_view typed, std::string_view what,
                          const std::optional<std::string>& problem) {
  if (!terminal_ || !problem) return false;
  // Someone is typing: a slip of the keyboard is asked again rather than ending the run.
  write(" " + quoted_answer(typed) + ": " + *problem + "; type " + std::string(what) + " again\n");
  return true;
}

std::string Console::read_line(std::string_view what, const AnswerCheck& check) {
  for (;;) {
    std::string line = next_line(what);
    if (!check || !asked_again(line, what, check(line))) return line;
  }
}

bool Console::at_end() {
  return in_.peek() == std::istream::traits_type::eof();
}

std::string Console::read_value(std::string_view what) {
  for (;;) {
    const std::string line = next_line(what);
    std::size_t begin = 0;
    while (begin < line.size() && is_blank(line[begin])) ++begin;
    if (begin == line.size()) continue;  // a blank line holds no value
    std::size_t end = begin;
    while (end < line.size() && !is_blank(line[end]) && line[end] != ',') ++end;
    return line.substr(begin, end - begin);
  }
}

template <class Number>
Number Console::read_number(std::string_view what, std::string_view form,
                            const AnswerCheck& check) {
  for (;;) {
    const std::string value = read_value(what);
    const auto number = parse<Number>(value);
    const std::optional<std::string> problem =
        check ? check(value)
              : (number ? std::nullopt : std::optional("expected " + std::string(form)));
    if (asked_again(value, what, problem)) continue;
    if (number) return *number;
    throw IoFailure("the answer for " + std::string(what) + " must be " + std::string(form) +
                    ", not " + quoted_answer(value));
  }
}

std::int32_t Console::read_integer(std::string_view what, const AnswerCheck& check) {
  return read_number<std::int32_t>(what, "a whole number from -2147483648 to 2147483647", check);
}

float Console::read_real(std::string_view what, const AnswerCheck& check) {
  return read_number<float>(what, "a number", check);
}

}  // namespace quorlant::recordio
