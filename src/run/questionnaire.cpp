#include "run/questionnaire.h"

#include <string>
#include <string_view>
#include <variant>

#include "run/answers.h"

namespace quorlant::run {

using recordio::FixedText;
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

// Reads one answer into its field in the form its kind is read in. On a terminal an answer
// that fails its check is asked again; an answer script's line is taken as the field reads it.
class Reader {
 public:
  Reader(recordio::RecordIo& io, RunData& data, const Answer& answer)
      : io_(io), data_(data), answer_(answer) {}

  void operator()(std::int32_t RunData::*field) const {
    data_.*field = io_.read_integer(answer_.what, check());
  }
  void operator()(float RunData::*field) const {
    if (answer_.kind == AnswerKind::kRate) {
      data_.*field = io_.read_real(answer_.what, check());
    } else {
      io_.read(kConsoleInput, Format{kFactorField}, {&(data_.*field)}, answer_.what, check());
    }
  }
  template <std::size_t N>
  void operator()(FixedText<N> RunData::*field) const {
    // The first N characters of the line, blank-padded: a y/n answer is its first character.
    io_.read(kConsoleInput, Format{TextField{static_cast<int>(N)}}, {(data_.*field).span()},
             answer_.what, check());
  }

 private:
  recordio::AnswerCheck check() const {
    const Answer& answer = answer_;
    const RunData& data = data_;
    if (answer.kind == AnswerKind::kFlag) {
      // Enter alone is a blank answer, which counts as no and looks it.
      return [&answer](std::string_view typed) {
        return typed.empty() ? std::nullopt : problem(answer, typed);
      };
    }
    if (answer.kind != AnswerKind::kStart) {
      return [&answer](std::string_view typed) { return problem(answer, typed); };
    }
    // At a terminal the series is checked with the start, the last answer it depends on.
    return [&answer, &data](std::string_view typed) {
      auto found = problem(answer, typed);
      return found ? found : series_problem(data.noevents, data.no_months, typed);
    };
  }

  recordio::RecordIo& io_;
  RunData& data_;
  const Answer& answer_;
};

bool asked(const RunData& data, const Answer& answer) {
  return answer.asked_after == nullptr || says_yes((data.*answer.asked_after).view());
}

void ask(recordio::RecordIo& io, RunData& data, const Answer& answer) {
  if (!asked(data, answer)) {
    data.*std::get<float RunData::*>(answer.field) = answer.when_not_asked;
    return;
  }
  for (const PromptLine& line : answer.prompt) show(io, line);
  std::visit(Reader(io, data, answer), answer.field);
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
