#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

namespace quorlant::recordio {

/// An item of a message line: a text, written in full, or an integer.
using MessageItem = std::variant<std::string_view, std::int32_t>;

/// Columns an integer takes on a message line: room for any 32-bit value and a blank before it.
inline constexpr int kMessageIntegerWidth = 12;

/// Appends one message line to `out`: a blank, then the items back to back, then '\n'.
/// With no items the line is empty.
void append_message_line(std::string& out, std::initializer_list<MessageItem> items);

/// The message line without its terminator.
std::string message_line(std::initializer_list<MessageItem> items);

}  // namespace quorlant::recordio
