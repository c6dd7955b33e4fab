#include "run/answers.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "events/event_calendar.h"
#include "recordio/message_line.h"
#include "recordio/record_format.h"

namespace quorlant::run {

namespace {

using shared::RunData;

// The questions as the dialogue shows them; an empty text is an empty message line.
constexpr PromptLine kEventsPrompt[] = {{"event selection program"},
                                        {"warning: no damage yet, but if you enter the name"},
                                        {"of an existing event, all old files by that name"},
                                        {"and the series of events following"},
                                        {"will be over written. enter ^c or ^break to stop"},
                                        {""},
                                        {"Enter the no of events to create:"}};
constexpr PromptLine kMonthsPrompt[] = {{""},
                                        {"No. of months per event file (1 or 12)"},
                                        {"If you are going to run long sequences - e.g. 40 years"},
                                        {"use 12 months per event - i.e. yearly events"},
                                        {"If you do not, you will have many many files."},
                                        {"Use 12 month events unless you actually"},
                                        {"need month-long events for some reason"}};
constexpr PromptLine kStartPrompt[] = {{"type in start of event - eg. yyyy mm dd hh"},
                                       {"please stick with this convention so radar files work"}};
// The texts with a leading blank keep it besides the one every message line begins with.
constexpr PromptLine kSnowPrompt[] = {{""},
                                      {" will you be running the snow melt  routines? y/n"},
                                      {" Note: temperature data needed for this option"}};
constexpr PromptLine kFactorPrompt[] = {
    {" enter the snow conversion factor", true},
    {" e.g.  1.0 is snow wat. eq. in mm, 25. if in inches", true},
    {"", true}};
constexpr PromptLine kEvaporationPrompt[] = {{""},
                                             {" will you be running the evaporation routines? y/n"},
                                             {" Note: temperature data needed for this option"}};
constexpr PromptLine kDisaggregatePrompt[] = {{""},
                                              {" will you be disaggregating precipitation? y/n"}};
constexpr PromptLine kRatePrompt[] = {{"what is your disaggregation rate mm/hr ?"}};
constexpr PromptLine kStepPrompt[] = {{"What reporting time step would you like in files?"},
                                      {"This should not be shorted than the str file Dt"}};
constexpr PromptLine kInflowPrompt[] = {{""},
                                        {" will you be using reservoir/lake inflow files? y/n"}};
constexpr PromptLine kWetlandPrompt[] = {{" will you be using wetland coupling? y/n"}};
// The same note follows the diversion, lake evaporation and ice factor questions alike.
constexpr PromptLine kDiversionsPrompt[] = {
    {""}, {" will you be using diversions? y/n"}, {" Note: diversion data needed for this option"}};
constexpr PromptLine kLakePrompt[] = {{""},
                                      {" will you be running lake evaporation? y/n"},
                                      {" Note: diversion data needed for this option"}};
constexpr PromptLine kIcePrompt[] = {{""},
                                     {" will you be using ice factors? y/n"},
                                     {" Note: diversion data needed for this option"}};
constexpr PromptLine kBasinPrompt[] = {
    {""}, {"", true}, {" name of shd & par files: eg. gr10k, saug 8 char max", true}, {"", true}};

const Answer kAnswers[] = {
    {.what = "the number of events",
     .kind = AnswerKind::kCount,
     .prompt = kEventsPrompt,
     .field = &RunData::noevents,
     .option = "--events",
     .value_name = "N",
     .help = "number of event files, at least 1",
     .example = "480"},
    {.what = "the number of months per event",
     .kind = AnswerKind::kMonths,
     .prompt = kMonthsPrompt,
     .field = &RunData::no_months,
     .option = "--months-per-event",
     .value_name = "1|12",
     .help = "1: monthly events, 12: yearly",
     .example = "1"},
    {.what = "the start of the first event",
     .kind = AnswerKind::kStart,
     .prompt = kStartPrompt,
     .field = &RunData::start,
     .option = "--start",
     .value_name = "\"yyyy mm dd hh\"",
     .help = "start of the first event",
     .example = "\"2015 01 01 00\""},
    {.what = "the snow melt answer",
     .kind = AnswerKind::kFlag,
     .prompt = kSnowPrompt,
     .field = &RunData::snwflg},
    {.what = "the snow conversion factor",
     .kind = AnswerKind::kFactor,
     .prompt = kFactorPrompt,
     .field = &RunData::snconv,
     .asked_after = &RunData::snwflg,
     .option = "--snow-melt",
     .value_name = "FACTOR",
     .help = "snow melt routines; FACTOR, the snow conversion factor (1.0: mm), is asked but "
             "written to no file",
     .example = "1.0"},
    {.what = "the evaporation answer",
     .kind = AnswerKind::kFlag,
     .prompt = kEvaporationPrompt,
     .field = &RunData::vapflg,
     .option = "--evaporation",
     .help = "run the evaporation routines"},
    {.what = "the disaggregation answer",
     .kind = AnswerKind::kFlag,
     .prompt = kDisaggregatePrompt,
     .field = &RunData::smrflg},
    {.what = "the disaggregation rate",
     .kind = AnswerKind::kRate,
     .prompt = kRatePrompt,
     .field = &RunData::disaggregation_rate,
     .asked_after = &RunData::smrflg,
     .option = "--disaggregate",
     .value_name = "RATE",
     .help = "disaggregate precipitation, RATE mm/h (0 to 99.99)",
     .example = "2.5"},
    {.what = "the reporting time step",
     .kind = AnswerKind::kStep,
     .prompt = kStepPrompt,
     .field = &RunData::deltat_report,
     .option = "--report-step",
     .value_name = "HOURS",
     .help = "reporting time step, 1 to 99999",
     .example = "1"},
    {.what = "the reservoir/lake inflow answer",
     .kind = AnswerKind::kFlag,
     .prompt = kInflowPrompt,
     .field = &RunData::resinflg,
     .option = "--reservoir-inflow",
     .help = "use reservoir/lake inflow files"},
    {.what = "the wetland coupling answer",
     .kind = AnswerKind::kFlag,
     .prompt = kWetlandPrompt,
     .field = &RunData::wetflg,
     .option = "--wetland",
     .help = "use wetland coupling"},
    {.what = "the diversions answer",
     .kind = AnswerKind::kFlag,
     .prompt = kDiversionsPrompt,
     .field = &RunData::divertflg,
     .option = "--diversions",
     .help = "use diversions"},
    {.what = "the lake evaporation answer",
     .kind = AnswerKind::kFlag,
     .prompt = kLakePrompt,
     .field = &RunData::lakeflg,
     .option = "--lake-evaporation",
     .help = "run lake evaporation"},
    {.what = "the ice factors answer",
     .kind = AnswerKind::kFlag,
     .prompt = kIcePrompt,
     .field = &RunData::iceflg,
     .option = "--ice-factors",
     .help = "use ice factors"},
    {.what = "the basin name",
     .kind = AnswerKind::kName,
     .prompt = kBasinPrompt,
     .field = &RunData::bsnme,
     .option = "--basin",
     .value_name = "NAME",
     .help = "basin name, 1 to 8 characters that file names allow",
     .example = "gr10k"},
};

std::optional<std::string> expected(std::string_view what) {
  return "expected " + std::string(what);
}

// Digits with an optional sign: a number, even when too large for its field.
bool looks_whole(std::string_view typed) {
  if (!typed.empty() && (typed[0] == '+' || typed[0] == '-')) typed.remove_prefix(1);
  return !typed.empty() &&
         std::all_of(typed.begin(), typed.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::optional<std::string> whole_number(std::string_view typed, std::int32_t low, std::int32_t high,
                                        std::string_view form) {
  const auto value = recordio::parse_integer(typed);
  if (value && *value >= low && *value <= high) return std::nullopt;
  const bool too_large = value ? *value > high : looks_whole(typed) && typed[0] != '-';
  return (too_large ? "too large; expected " : "expected ") + std::string(form);
}

bool printable_without_blank(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c > ' ' && c < '\x7F'; });
}

std::optional<std::string> start_problem(std::string_view typed) {
  const std::string form = "\"yyyy mm dd hh\" naming a real hour of a real day";
  if (typed.size() != 13) return expected(form);
  if (const auto problem = events::start_problem(typed)) return expected(form + "; it " + *problem);
  return std::nullopt;
}

// The dialogue reads a y/n answer by its first character, and only a lowercase y is yes: an
// answer that looks otherwise would be read as something it does not say.
std::optional<std::string> flag_problem(std::string_view typed) {
  std::string lower(typed);
  std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  });
  const bool looks_yes = lower == "y" || lower == "yes";
  if (lower == "n" || lower == "no" || (looks_yes && typed[0] == 'y')) return std::nullopt;
  if (looks_yes) {
    return recordio::quoted_answer(typed.substr(0, 1)) +
           " counts as no here: only a lowercase y is yes; type y for yes or n for no";
  }
  return "counts as no; type y for yes or n for no";
}

// The factor is read from columns 1 to 5 of its line, where blanks would not count.
std::optional<std::string> factor_problem(std::string_view typed) {
  auto refused = expected("a number of at most five characters, such as 1.0 or 25.");
  if (typed.empty() || typed.size() > static_cast<std::size_t>(kFactorField.width) ||
      !printable_without_blank(typed))
    return refused;
  float factor = 0.0F;
  const std::array<recordio::InTarget, 1> target = {&factor};
  if (recordio::read_records(
          recordio::Format{kFactorField}, [&]() -> std::string_view { return typed; }, target))
    return refused;
  return std::nullopt;
}

// The rate goes into the five columns of ":disaggregate" with two decimals.
std::optional<std::string> rate_problem(std::string_view typed) {
  const auto rate = recordio::parse_real(typed);
  if (rate && *rate >= 0.0F && recordio::format_real(*rate, 5, 2).find('*') == std::string::npos) {
    return std::nullopt;
  }
  return expected("a number from 0 to 99.99 (mm/h)");
}

// The basin name goes into file names the program writes and the checker reads, on either
// system: a single path part that cannot be cut, leave the basin directory or name a device.
std::optional<std::string> name_problem(std::string_view typed) {
  const bool fits =
      !typed.empty() && typed.size() <= kBasinNameLength && printable_without_blank(typed) &&
      typed.find_first_of("\\/:*?\"<>|") == std::string_view::npos && typed != "." && typed != "..";
  if (fits) return std::nullopt;
  return expected(
      "1 to 8 printable ASCII characters, no blank, none of \\/:*?\"<>| and not . or ..");
}

// Whether `answer` is asked, given the lines taken for the answers before it: only a lowercase y
// to the answer it is asked after counts as yes, as in the dialogue.
bool asked(const Answer& answer, const std::vector<std::string>& taken) {
  if (answer.asked_after == nullptr) return true;
  for (std::size_t i = 0; i < taken.size(); ++i) {
    const auto* flag = std::get_if<recordio::FixedText<1> RunData::*>(&kAnswers[i].field);
    if (flag != nullptr && *flag == answer.asked_after) return says_yes(taken[i]);
  }
  return false;
}

}  // namespace

std::span<const Answer> answer_table() {
  return kAnswers;
}

std::optional<std::string> problem(const Answer& answer, std::string_view typed) {
  switch (answer.kind) {
    case AnswerKind::kCount:
      return whole_number(typed, 1, INT32_MAX, "a whole number of at least 1");
    case AnswerKind::kMonths: {
      const auto months = recordio::parse_integer(typed);
      if (months && (*months == 1 || *months == 12)) return std::nullopt;
      return expected("1 or 12");
    }
    case AnswerKind::kStart: return start_problem(typed);
    case AnswerKind::kFlag: return flag_problem(typed);
    case AnswerKind::kFactor: return factor_problem(typed);
    case AnswerKind::kRate: return rate_problem(typed);
    case AnswerKind::kStep: return whole_number(typed, 1, 99999, "a whole number from 1 to 99999");
    case AnswerKind::kName: return name_problem(typed);
  }
  return expected("an answer");
}

std::optional<std::string> series_problem(std::int32_t noevents, std::int32_t no_months,
                                          std::string_view start) {
  const auto year = recordio::parse_integer(start.substr(0, 4));
  const auto month = recordio::parse_integer(start.substr(5, 2));
  if (!year || !month || events::last_event_year(*year, *month, noevents, no_months) <= 9999) {
    return std::nullopt;
  }
  return expected("a series from the start " + recordio::quoted_answer(start) +
                  " whose last event starts by the year 9999");
}

std::string checked_script(const std::function<std::string(const Answer&)>& line_of,
                           const Refusal& refuse) {
  std::vector<std::string> taken;  // one per answer so far, empty when not asked
  std::string script;
  int line = 0;
  for (const Answer& answer : kAnswers) {
    if (!asked(answer, taken)) {
      taken.emplace_back();
      continue;
    }
    taken.push_back(line_of(answer));
    ++line;
    if (const auto why = problem(answer, taken.back()))
      throw refuse(line, answer, taken.back(), *why);
    script += taken.back() + "\n";
    if (taken.size() == kFirstGroupSize) {
      // The two numbers are past their own checks.
      const auto noevents = recordio::parse_integer(taken[0]);
      const auto no_months = recordio::parse_integer(taken[1]);
      if (const auto why = series_problem(*noevents, *no_months, taken[2]))
        throw refuse(1, kAnswers[0], taken[0], *why);
    }
  }
  return script;
}

}  // namespace quorlant::run
