#include "recordio/console.h"

#include "recordio/message_line.h"
#include "recordio/record_format.h"
#include "recordio/failure.h"

namespace quorlant::recordio {

namespace {

bool is_blank(char c) {
  return c == ' ' || c == '\t';
}

}  // namespace

void Console::write(std::string_view lines) {
  out_.write(lines.data(), static_cast<std::streamsize>(lines.size()));
  if (!out_) throw Failure("cannot write to standard output");
}

void Console::flush() {
  out_.flush();
  if (!out_) throw Failure("cannot write to standard output");
}

std::string Console::next_line(std::string_view what) {
  flush();  // the operator sees the question before the program waits for the answer
  std::string line;
  char c = 0;
  bool ended = false;  // by its terminator
  // Two characters beyond the bound tell a longer line, the last of them being perhaps a
  // carriage return that belongs to the terminator.
  while (line.size() <= kLineBound + 1 && in_.get(c)) {
    if (c == '\n') {
      ended = true;
      break;
    }
    line += c;
  }
  if (in_.bad()) throw Failure("cannot read standard input while waiting for " + std::string(what));
  if (!ended && line.empty())
    throw Failure("end of input while waiting for " + std::string(what));
  const bool overlong = !ended && line.size() > kLineBound + 1;
  if (!overlong && !line.empty() && line.back() == '\r') line.pop_back();
  ++line_number_;
  // No answer is that long: the input is not an answer script (a device, a binary file), and
  // reading on to its end could take for ever.
  if (overlong || line.size() > kLineBound) {
    throw Failure(line_of_the_answers(line_number_) + " is longer than 64 KiB");
  }
  last_line_ = line;
  return line;
}

bool Console::read_enter(std::string_view what) {
  flush();
  // What is typed at a pause is passed over; an input that has ended is taken as Enter.
  script_ += "\n";
  if (at_end() && !in_.bad()) return false;
  (void)next_line(what);
  return true;
}

std::string line_of_the_answers(int number) {
  return "line " + std::to_string(number) + " of the answers";
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
    if (check && asked_again(line, what, check(line))) continue;
    script_ += line + "\n";
    return line;
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
                            const AnswerCheck& check,
                            std::optional<Number> (*parse)(std::string_view)) {
  for (;;) {
    const std::string value = read_value(what);
    const std::optional<Number> number = parse(value);
    const std::optional<std::string> problem =
        check ? check(value)
              : (number ? std::nullopt : std::optional("expected " + std::string(form)));
    if (asked_again(value, what, problem)) continue;
    script_ += last_line_ + "\n";
    if (number) return *number;
    // In the answer's own terms: its check's range, never the range of the machine's integer.
    throw Failure(line_of_the_answers(line_number_) + " (" + std::string(what) +
                    "): " + quoted_answer(value) + ": " +
                    problem.value_or("expected " + std::string(form)));
  }
}

std::int32_t Console::read_integer(std::string_view what, const AnswerCheck& check) {
  return read_number(what, "a whole number", check, parse_integer);
}

float Console::read_real(std::string_view what, const AnswerCheck& check) {
  return read_number(what, "a number", check, parse_real);
}

}  // namespace quorlant::recordio
