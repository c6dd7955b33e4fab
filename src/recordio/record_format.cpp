#include "recordio/record_format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>


namespace quorlant::recordio {

namespace {

template <class... Ts>
struct Overloaded : Ts... {
  using Ts::operator()...;
};
// clang 14 does not deduce an aggregate's template arguments by itself.
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

bool is_data_field(const Field& field) {
  return std::holds_alternative<TextField>(field) || std::holds_alternative<IntField>(field) ||
         std::holds_alternative<RealField>(field);
}

// Reversion starts the format again for what is left: without a data field it never ends.
void require_data_field(const Format& format, bool given, const char* mistake) {
  if (given && std::ranges::none_of(format.fields(), is_data_field))
    throw std::logic_error(mistake);
}

std::string asterisks(int width) {
  return std::string(static_cast<std::size_t>(width), '*');
}

// A text shorter than its field is right-justified; a longer one keeps its first w characters.
void append_text(std::string& record, std::string_view text, int width) {
  const std::size_t w = width == 0 ? text.size() : static_cast<std::size_t>(width);
  if (text.size() < w) record.append(w - text.size(), ' ');
  record += text.substr(0, w);
}

void append_item(std::string& record, const Field& field, const OutItem& item) {
  std::visit(
      Overloaded{
          // An item of another kind than its field's is a mistake of the program's: std::get
          // throws.
          [&](const TextField& f) {
            append_text(record, std::get<std::string_view>(item), f.width);
          },
          [&](const IntField& f) {
            record += format_integer(std::get<std::int32_t>(item), f.width);
          },
          [&](const RealField& f) {
            record += format_real(std::get<float>(item), f.width, f.decimals);
          },
          [](const auto&) {},
      },
      field);
}

std::string without_blanks(std::string_view text) {
  std::string kept;
  kept.reserve(text.size());
  for (char c : text) {
    if (c != ' ') kept += c;
  }
  return kept;
}

std::string columns_text(std::string_view text, int first_column) {
  const int last = first_column + static_cast<int>(text.size()) - 1;
  std::string where = quoted_answer(text) + " in column";
  if (last > first_column)
    return where + "s " + std::to_string(first_column) + "-" + std::to_string(last);
  return where + " " + std::to_string(first_column);
}

// Blanks anywhere in a numeric input field are ignored; an all-blank field reads as 0.
std::optional<std::int32_t> read_integer_field(std::string_view columns) {
  const std::string digits = without_blanks(columns);
  if (digits.empty()) return 0;
  return parse_integer(digits);
}

std::optional<float> read_real_field(std::string_view columns, int decimals) {
  std::string text = without_blanks(columns);
  if (text.empty()) return 0.0F;
  // Without a typed point, the last d digits of the mantissa are the decimals.
  if (decimals > 0 && text.find('.') == std::string::npos) {
    std::size_t mantissa_end = text.find_first_of("eEdD+-", 1);
    if (mantissa_end == std::string::npos) mantissa_end = text.size();
    const std::size_t digits_from = (text[0] == '+' || text[0] == '-') ? 1 : 0;
    const auto d = static_cast<std::size_t>(decimals);
    const std::size_t count = mantissa_end - digits_from;
    if (count < d) {
      text.insert(digits_from, d - count, '0');
      mantissa_end += d - count;
    }
    text.insert(mantissa_end - d, ".");
  }
  return parse_real(text);
}

// Stores `columns` in a text variable. A field narrower than the variable is stored
// left-justified and blank-padded; a field at least as wide gives its rightmost characters.
void store_text(std::span<char> variable, std::string_view columns) {
  std::string_view kept = columns;
  if (kept.size() > variable.size()) kept = kept.substr(kept.size() - variable.size());
  std::fill(std::copy(kept.begin(), kept.end(), variable.begin()), variable.end(), ' ');
}

}  // namespace

namespace {

// Writes the fields of the format once, from its first, as one record; false when the items ran
// out at a data field, which ends the record there. The blanks of a skip are only written when
// something follows them on the record.
bool write_fields(const Format& format, std::span<const OutItem> items, std::size_t& next_item,
                  std::string& out) {
  std::size_t blanks = 0;
  for (const Field& field : format.fields()) {
    if (const auto* skip = std::get_if<Skip>(&field)) {
      blanks += static_cast<std::size_t>(skip->columns);
      continue;
    }
    const auto* literal = std::get_if<Literal>(&field);
    if (literal == nullptr && next_item == items.size()) return false;
    out.append(blanks, ' ');
    blanks = 0;
    if (literal != nullptr) {
      out += literal->text;
    } else {
      append_item(out, field, items[next_item++]);
    }
  }
  return true;
}

}  // namespace

void format_records(const Format& format, std::span<const OutItem> items, std::string& out) {
  require_data_field(format, !items.empty(), "items given to a format without data fields");
  std::size_t next_item = 0;
  for (;;) {
    const bool whole = write_fields(format, items, next_item, out);
    out += '\n';
    // Items left over: the format starts again from its first field on a new record.
    if (!whole || next_item == items.size()) return;
  }
}

namespace {

// Where a formatted read stands: the record in hand and the column in it.
class RecordCursor {
 public:
  explicit RecordCursor(const RecordSource& next_record)
      : next_record_(next_record), record_(next_record()) {}

  /// Columns [column, column + width) of the record, blank-padded past its end; valid until the
  /// next take.
  std::string_view take(std::size_t width) {
    columns_.clear();
    if (column_ < record_.size()) columns_ = record_.substr(column_, width);
    columns_.resize(width, ' ');
    column_ += width;
    return columns_;
  }
  void pass(std::size_t width) { column_ += width; }
  void next_record() {
    record_ = next_record_();
    column_ = 0;
  }
  /// The 1-based column the next field starts in.
  int first_column() const { return static_cast<int>(column_) + 1; }

 private:
  const RecordSource& next_record_;
  std::string_view record_;
  std::size_t column_ = 0;  // 0-based position in the record
  std::string columns_;     // the last columns taken, its storage reused
};

// Stores a number read from `columns`, or says why the field holds none.
template <class Number>
std::optional<std::string> store_number(Number* variable, std::optional<Number> value,
                                        std::string_view columns, int first_column,
                                        std::string_view not_one) {
  if (!value) return columns_text(columns, first_column) + " is not " + std::string(not_one);
  *variable = *value;
  return std::nullopt;
}

// Reads one field; a data field fills `target`, the others only move the cursor.
std::optional<std::string> read_field(const Field& field, RecordCursor& cursor,
                                      const InTarget* target) {
  const int first_column = cursor.first_column();
  return std::visit(
      Overloaded{
          [&](const TextField& f) -> std::optional<std::string> {
            const auto variable = std::get<std::span<char>>(*target);
            const std::size_t width =
                f.width == 0 ? variable.size() : static_cast<std::size_t>(f.width);
            store_text(variable, cursor.take(width));
            return std::nullopt;
          },
          [&](const IntField& f) {
            auto* variable = std::get<std::int32_t*>(*target);
            const std::string_view columns = cursor.take(static_cast<std::size_t>(f.width));
            return store_number(variable, read_integer_field(columns), columns, first_column,
                                "a whole number");
          },
          [&](const RealField& f) {
            auto* variable = std::get<float*>(*target);
            const std::string_view columns = cursor.take(static_cast<std::size_t>(f.width));
            return store_number(variable, read_real_field(columns, f.decimals), columns,
                                first_column, "a number");
          },
          [&](const Skip& f) -> std::optional<std::string> {
            cursor.pass(static_cast<std::size_t>(f.columns));
            return std::nullopt;
          },
          [&](const Literal& f) -> std::optional<std::string> {
            cursor.pass(f.text.size());
            return std::nullopt;
          },
      },
      field);
}

// One pass through the fields of `format`, up to the first data field with no target left.
std::optional<std::string> read_pass(const Format& format, RecordCursor& cursor,
                                     std::span<const InTarget> targets, std::size_t& next_target) {
  for (const Field& field : format.fields()) {
    const bool data = is_data_field(field);
    if (data && next_target == targets.size()) break;
    auto problem = read_field(field, cursor, data ? &targets[next_target++] : nullptr);
    if (problem) return problem;
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> read_records(const Format& format, const RecordSource& next_record,
                                        std::span<const InTarget> targets) {
  require_data_field(format, !targets.empty(), "variables given to a format without data fields");
  std::size_t next_target = 0;
  RecordCursor cursor(next_record);
  for (;;) {
    if (auto problem = read_pass(format, cursor, targets, next_target)) return problem;
    if (next_target == targets.size()) return std::nullopt;
    // Variables left over: the next record, from the first field again.
    cursor.next_record();
  }
}

// Rounded to nearest on the exact binary value, ties to even: the C library's %f does exactly
// that for a double, and a float widens to a double without change. The point is written even
// with no decimals ('#').
std::string format_real(float value, int width, int decimals) {
  if (!std::isfinite(value)) return asterisks(width);
  char buffer[64];
  const int length =
      std::snprintf(buffer, sizeof buffer, "%#.*f", decimals, static_cast<double>(value));
  if (length < 0 || length >= static_cast<int>(sizeof buffer)) return asterisks(width);
  std::string text(buffer, static_cast<std::size_t>(length));
  // The 0 before the point is written only when the field has room for it.
  if (static_cast<int>(text.size()) > width) {
    if (text.starts_with("0.")) {
      text.erase(0, 1);
    } else if (text.starts_with("-0.")) {
      text.erase(1, 1);
    }
  }
  if (static_cast<int>(text.size()) > width) return asterisks(width);
  return std::string(static_cast<std::size_t>(width) - text.size(), ' ') + text;
}

std::string format_integer(std::int32_t value, int width) {
  char buffer[16];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  const auto length = static_cast<int>(result.ptr - buffer);
  if (length > width) return asterisks(width);
  return std::string(static_cast<std::size_t>(width - length), ' ') +
         std::string(buffer, static_cast<std::size_t>(length));
}

std::optional<std::int32_t> parse_integer(std::string_view text) {
  // from_chars takes a minus sign but no plus.
  if (text.starts_with('+') && !text.substr(1).starts_with('-')) text.remove_prefix(1);
  std::int32_t value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || stop != end) return std::nullopt;
  return value;
}

namespace {

// Reads a real's form one part at a time, writing it out again for std::from_chars.
struct RealScan {
  std::string_view text;
  std::size_t at = 0;
  std::string normal;  // without a plus sign in front, the exponent marked 'e'

  bool at_one_of(std::string_view characters) const {
    return at < text.size() && characters.find(text[at]) != std::string_view::npos;
  }
  void sign() {
    if (!at_one_of("+-")) return;
    if (text[at] == '-') normal += '-';
    ++at;
  }
  std::size_t digits() {
    const std::size_t from = at;
    while (at_one_of("0123456789")) normal += text[at++];
    return at - from;
  }
};

// The form check: strtof or from_chars alone would take hexadecimal, "inf" or "nan", and
// neither knows a D exponent or an exponent marked by its sign alone ("25-1").
std::optional<std::string> real_form(std::string_view text) {
  RealScan scan{.text = text, .at = 0, .normal = {}};
  scan.sign();
  std::size_t mantissa_digits = scan.digits();
  if (scan.at_one_of(".")) {
    scan.normal += text[scan.at++];
    mantissa_digits += scan.digits();
  }
  if (mantissa_digits == 0) return std::nullopt;
  if (scan.at == text.size()) return scan.normal;
  if (scan.at_one_of("eEdD")) {
    ++scan.at;
  } else if (!scan.at_one_of("+-")) {
    return std::nullopt;
  }
  scan.normal += 'e';
  scan.sign();
  if (scan.digits() == 0 || scan.at != text.size()) return std::nullopt;
  return scan.normal;
}

}  // namespace

std::optional<float> parse_real(std::string_view text) {
  const auto form = real_form(text);
  if (!form) return std::nullopt;
  float value = 0.0F;
  const char* end = form->data() + form->size();
  const auto [stop, error] = std::from_chars(form->data(), end, value);
  // Out of range (overflow, or a value too small for a 32-bit real) is no value.
  if (error != std::errc() || stop != end) return std::nullopt;
  return value;
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

namespace {

// How a control character is printed.
std::string escape_of(unsigned char byte) {
  if (byte == '\n') return "\\n";
  if (byte == '\t') return "\\t";
  if (byte == '\r') return "\\r";
  char code[5];
  std::snprintf(code, sizeof code, "\\x%02x", static_cast<unsigned>(byte));
  return code;
}

}  // namespace

std::string printable(std::string_view text) {
  std::string result;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F) {
      result += c;
    } else {
      result += escape_of(byte);
    }
  }
  return result;
}

}  // namespace quorlant::recordio
