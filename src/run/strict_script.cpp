#include "run/strict_script.h"

#include <cstdint>
#include <vector>

#include "recordio/failure.h"
#include "recordio/message_line.h"
#include "recordio/record_format.h"
#include "recordio/record_io.h"
#include "run/answers.h"

namespace quorlant::run {

namespace {

[[noreturn]] void refuse(int line_number, std::string_view what, std::string_view typed,
                         const std::string& why) {
  throw recordio::Failure(recordio::line_of_the_answers(line_number) + " (" + std::string(what) +
                          "): " + recordio::quoted_answer(typed) + ": " + why);
}

// Whether the answer is asked, given the lines taken so far: only a lowercase y to the answer
// it is asked after counts as yes, as in the dialogue.
bool asked(const Answer& answer, const std::vector<std::string>& taken) {
  if (answer.asked_after == nullptr) return true;
  const auto answers = answer_table();
  for (std::size_t i = 0; i < taken.size(); ++i) {
    const auto* flag = std::get_if<recordio::FixedText<1> shared::RunData::*>(&answers[i].field);
    if (flag != nullptr && *flag == answer.asked_after) return says_yes(taken[i]);
  }
  return false;
}

// The lines after the last answer: what is typed at a pause is passed over; after the second one
// the dialogue asks nothing. A script without its pause lines leaves the run to take its end as
// Enter.
std::string read_pauses(recordio::Console& console) {
  std::string pauses;
  for (int pause = 0; pause < 2; ++pause) {
    if (!console.read_enter(recordio::pause_answer())) return pauses;
    pauses += "\n";
  }
  if (!console.at_end()) {
    const std::string left = console.read_line("a line left over");
    refuse(console.line_number(), "after the last answer", left,
           "expected nothing more: the dialogue asks no more");
  }
  return pauses;
}

}  // namespace

std::string read_strict_script(recordio::Console& console) {
  const auto answers = answer_table();
  std::vector<std::string> taken;  // one per answer so far, empty when not asked
  std::string script;
  for (const Answer& answer : answers) {
    taken.emplace_back();
    if (!asked(answer, taken)) continue;
    taken.back() = console.read_line(answer.what);
    if (const auto why = problem(answer, taken.back())) {
      refuse(console.line_number(), answer.what, taken.back(), *why);
    }
    script += taken.back() + "\n";
    if (taken.size() == kFirstGroupSize) {
      if (const auto why = first_group_problem(taken)) {
        refuse(1, answers[0].what, taken[0], *why);
      }
    }
  }
  return script + read_pauses(console);
}

}  // namespace quorlant::run
