#include "recordio/message_line.h"


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

std::string message_line(std::initializer_list<MessageItem> items) {
  std::string line;
  append_message_line(line, items);
  line.pop_back();
  return line;
}

}  // namespace quorlant::recordio
