#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace quorlant::recordio {

/// A text field of `width` columns (A); width 0 takes the item's or the variable's own length.
struct TextField {
  int width = 0;  // the 'w'
};
/// An integer field of `width` columns (I).
struct IntField {
  int width;  // the 'w'
};
/// A real field of `width` columns with `decimals` digits after the point (F).
struct RealField {
  int width;     // the 'w'
  int decimals;  // the 'd'
};
/// Columns passed over (X).
struct Skip {
  int columns;  // the 'n'
};
/// Literal text, written where it stands.
struct Literal {
  std::string text;
};

using Field = std::variant<TextField, IntField, RealField, Skip, Literal>;

/// A format: fields read from left to right, one record a pass.
class Format {
 public:
  Format(std::initializer_list<Field> fields) : fields_(fields) {}
  const std::vector<Field>& fields() const { return fields_; }

 private:
  std::vector<Field> fields_;
};

/// One item written through a data field: a text, a 32-bit integer or a 32-bit real.
using OutItem = std::variant<std::string_view, std::int32_t, float>;
/// One variable read through a data field: a fixed-length text, an integer or a real.
using InTarget = std::variant<std::span<char>, std::int32_t*, float*>;

/// Appends the records that `items` make through `format` to `out`, each ended by '\n'.
/// Items left over at the end of the format start it again on a new record.
void format_records(const Format& format, std::span<const OutItem> items, std::string& out);

/// Gives the next input record; throws when there is none.
using RecordSource = std::function<std::string_view()>;

/// Reads `targets` through `format` from records taken from `next_record`. A short record reads
/// as if padded with blanks. When a numeric field does not hold a number, says which columns
/// held what ("\"2x15\" in columns 1-4 is not a whole number") and reads no further.
[[nodiscard]] std::optional<std::string> read_records(const Format& format,
                                                      const RecordSource& next_record,
                                                      std::span<const InTarget> targets);

/// An answer as a message quotes it: in double quotes, at most its first 60 characters (then
/// "..." after the closing quote), control characters and bytes outside printable ASCII as \xNN.
std::string quoted_answer(std::string_view answer);

/// A text as a terminal may show it: each control character written as its escape ("\n",
/// "\x1b"), so that no name in a message starts a line or steers the terminal.
std::string printable(std::string_view text);

/// `value` through a real field of `width` columns and `decimals` decimals, or asterisks.
std::string format_real(float value, int width, int decimals);
/// `value` through an integer field of `width` columns, or asterisks.
std::string format_integer(std::int32_t value, int width);

/// A whole 32-bit integer: optional sign and digits, nothing else.
std::optional<std::int32_t> parse_integer(std::string_view text);
/// A 32-bit real: optional sign, digits with an optional point, an optional exponent
/// (E or D and a signed integer, or a sign and an integer). Out of range is no value.
std::optional<float> parse_real(std::string_view text);

}  // namespace quorlant::recordio
