#include "run/questionnaire.h"

#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

#include "run/answers.h"

namespace quorlant::run {

using recordio::Format;
using recordio::kConsoleInput;
using recordio::kConsoleOutput;
using recordio::Literal;
using recordio::RealField;
using recordio::TextField;
using shared::RunData;

namespace {

void show(recordio::RecordIo& io, const PromptLine& line) {
  if (line.formatted) {
    io.write(kConsoleOutput, Format{Literal{std::string(line.text)}}, {});
  } else if (line.text.empty()) {
    io.message(kConsoleOutput);
  } else {
    io.message(kConsoleOutput, {line.text});
  }
}

// The file names take the basin name up to its first blank, at most kBasinNameLength characters.
void warn_of_a_cut_basin_name(recordio::RecordIo& io, const RunData& data) {
  const std::string& line = io.console().last_line();
  if (line.size() <= kBasinNameLength && line.find(' ') == std::string::npos) return;
  const std::string_view used = data.bsnme.view().substr(0, data.bsnme.view().find(' '));
  io.warn("the basin name " + recordio::quoted_answer(line) + " is cut to " +
          recordio::quoted_answer(used) + " in the file names (at most " +
          std::to_string(kBasinNameLength) + " characters, no blank)");
}

// An answer script's y/n line that reads as no without saying n (a capital Y, a blank line, an x)
// is taken as the dialogue takes it, and told: the next answers would otherwise seem to shift.
void warn_of_a_loose_flag(recordio::RecordIo& io, const Answer& answer) {
  const std::string& line = io.console().last_line();
  if (io.console().terminal() || line.starts_with('y') || line.starts_with('n') ||
      line.starts_with('N'))
    return;
  io.warn(recordio::line_of_the_answers(io.console().line_number()) + " (" +
          std::string(answer.what) + "): " + recordio::quoted_answer(line) +
          " is read as no (only a lowercase y is yes); --strict refuses it");
}

// The check of an answer typed at a terminal. Enter alone is a blank y/n answer, which counts as
// no and looks it; the series is checked with the start, the last answer it depends on.
recordio::AnswerCheck check_of(const Answer& answer, const RunData& data) {
  return [&answer, &data](std::string_view typed) -> std::optional<std::string> {
    if (answer.kind == AnswerKind::kFlag && typed.empty()) return std::nullopt;
    auto found = problem(answer, typed);
    if (found || answer.kind != AnswerKind::kStart) return found;
    return series_problem(data.noevents, data.no_months, typed);
  };
}

// Reads one answer into its field in the form its kind is read in. On a terminal an answer
// that fails its check is asked again; an answer script's line is taken as the field reads it.
void read(recordio::RecordIo& io, RunData& data, const Answer& answer) {
  const recordio::AnswerCheck check = check_of(answer, data);
  std::visit(
      [&](auto field) {
        auto& value = data.*field;
        using Value = std::remove_reference_t<decltype(value)>;
        if constexpr (std::is_same_v<Value, std::int32_t>) {
          value = io.read_integer(answer.what, check);
        } else if constexpr (std::is_same_v<Value, float>) {
          if (answer.kind == AnswerKind::kRate) {
            value = io.read_real(answer.what, check);
          } else {
            io.read(kConsoleInput, Format{kFactorField}, {&value}, answer.what, check);
          }
        } else {
          // The first N characters of the line, blank-padded: a y/n answer is its first one.
          io.read(kConsoleInput, Format{TextField{static_cast<int>(Value::kLength)}},
                  {value.span()}, answer.what, check);
        }
      },
      answer.field);
}

bool asked(const RunData& data, const Answer& answer) {
  return answer.asked_after == nullptr || says_yes((data.*answer.asked_after).view());
}

void ask(recordio::RecordIo& io, RunData& data, const Answer& answer) {
  if (!asked(data, answer)) return;
  for (const PromptLine& line : answer.prompt) show(io, line);
  read(io, data, answer);
  if (answer.kind == AnswerKind::kName) warn_of_a_cut_basin_name(io, data);
  if (answer.kind == AnswerKind::kFlag) warn_of_a_loose_flag(io, answer);
}

}  // namespace

void ask_first_group(recordio::RecordIo& io, RunData& data) {
  for (const Answer& answer : answer_table().first(kFirstGroupSize)) ask(io, data, answer);
}

void ask_second_group(recordio::RecordIo& io, RunData& data) {
  for (const Answer& answer : answer_table().subspan(kFirstGroupSize)) ask(io, data, answer);
}

}  // namespace quorlant::run
