#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "recordio/failure.h"
#include "recordio/record_format.h"
#include "shared/run_data.h"

namespace quorlant::run {

/// What an answer is, which decides how it is read and checked.
enum class AnswerKind {
  kCount,   // the number of events: a free-form whole number
  kMonths,  // months per event: a free-form whole number, 1 or 12
  kStart,   // "yyyy mm dd hh", 13 columns
  kFlag,    // a y/n option answer, its first character kept as typed
  kFactor,  // the snow conversion factor, columns 1 to 5 of its line
  kRate,    // the disaggregation rate: a free-form real
  kStep,    // the reporting time step: a free-form whole number
  kName,    // the basin name, 8 columns
};

/// One line of a question as the console shows it: a message line of `text` (none: an empty
/// message line), or, when `formatted`, a formatted record that is exactly `text`.
struct PromptLine {
  std::string_view text;
  bool formatted = false;
};

/// The RunData field an answer fills.
using AnswerField = std::variant<std::int32_t shared::RunData::*, float shared::RunData::*,
                                 recordio::FixedText<1> shared::RunData::*,
                                 recordio::FixedText<8> shared::RunData::*,
                                 recordio::FixedText<13> shared::RunData::*>;

/// One answer of the dialogue: its question, how it is kept, the option that gives it and how
/// it is checked. The questionnaire, the answer options, --strict, --print-answers, --help and
/// the terminal's re-asking all read the one table of them.
struct Answer {
  std::string_view what;  // how messages name it: "the snow melt answer"
  AnswerKind kind;
  std::span<const PromptLine> prompt;  // shown before it is read
  AnswerField field;
  /// For an answer asked only after a lowercase y to another (the snow factor, the rate):
  /// that other answer. Not asked, the field keeps the value a new RunData gives it, the one
  /// for "no".
  recordio::FixedText<1> shared::RunData::*asked_after = nullptr;
  std::string_view option = {};      // the option that gives it; none: a y/n answer given by
                                     // the option of the answer asked after it
  std::string_view value_name = {};  // what the option takes; none: a flag option, y when given
  std::string_view help = {};
  std::string_view example = {};  // a value the option may take, for the message that asks for one
};

/// Whether a y/n answer says yes: only a lowercase y does; the answer itself is kept as typed.
inline bool says_yes(std::string_view answer) {
  return answer.starts_with('y');
}

/// The snow conversion factor is read from columns 1 to 5 of its line; without a typed point
/// its digits are a whole number.
inline constexpr recordio::RealField kFactorField{5, 0};

/// The most characters of the basin name the file names take.
inline constexpr std::size_t kBasinNameLength = decltype(shared::RunData::bsnme)::kLength;

/// The answers in the order the dialogue asks them.
std::span<const Answer> answer_table();

/// The answers of the first group: the number of events, the months per event, the start.
inline constexpr std::size_t kFirstGroupSize = 3;

/// Why `typed` cannot be taken for `answer` ("expected 1 or 12"), or nothing when it can. The
/// same check for every door: an option value, a line of a --strict script, a line typed at a
/// terminal (there a number answer's value, as the free-form read takes it from its line).
std::optional<std::string> problem(const Answer& answer, std::string_view typed);

/// Why a series of `noevents` events of `no_months` months from `start` (each already taken)
/// cannot be written: its last event would start after the year 9999.
std::optional<std::string> series_problem(std::int32_t noevents, std::int32_t no_months,
                                          std::string_view start);

/// The refusal of `typed`, line `line` of an answer script, for `answer`: `why`.
using Refusal = std::function<recordio::Failure(int line, const Answer& answer,
                                                std::string_view typed, const std::string& why)>;

/// An answer script, one line an answer asked, each line given by `line_of` (an answer asked
/// after another only when that one is a lowercase y) and checked as it comes: the series of
/// the first group once its last answer is in, refused as the number of events on line 1. A
/// refusal is thrown.
std::string checked_script(const std::function<std::string(const Answer&)>& line_of,
                           const Refusal& refuse);

}  // namespace quorlant::run
