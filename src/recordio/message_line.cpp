#include "recordio/message_line.h"

#include <cstdio>

#include "recordio/record_format.h"

namespace quorlant::recordio {

void append_message_line(std::string& out, std::initializer_list<MessageItem> items) {
  if (items.size() != 0) out += ' ';
  for (const MessageItem& item : items) {
    if (const auto* text = std::get_if<std::string_view>(&item)) {
      out += *text;  // nothing goes between two texts: a message carries its own blanks
    } else {
      out += format_integer(std::get<std::int32_t>(item), kMessageIntegerWidth);
    }
  }
  out += '\n';
}

std::string quoted_answer(std::string_view answer) {
  // A whole 10 MB line or a raw NUL byte on the error stream helps no one.
  constexpr std::size_t kShown = 60;
  std::string quoted = "\"";
  for (const char c : answer.substr(0, kShown)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F) {
      quoted += c;
    } else {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned>(byte));
      quoted += escaped;
    }
  }
  quoted += '"';
  if (answer.size() > kShown) quoted += "...";
  return quoted;
}

std::string message_line(std::initializer_list<MessageItem> items) {
  std::string line;
  append_message_line(line, items);
  line.pop_back();
  return line;
}

}  // namespace quorlant::recordio
