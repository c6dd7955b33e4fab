#include "run/answer_options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <map>
#include <utility>
#include <vector>

#include "recordio/failure.h"
#include "recordio/message_line.h"
#include "recordio/record_format.h"
#include "run/answers.h"
#include "shared/command_texts.h"

namespace quorlant::run {

namespace {

// A command line the program cannot use: one line after "quorlant: ", status 2.
recordio::Failure usage_error(const std::string& message) {
  return recordio::Failure(message, recordio::ExitStatus::kUsage);
}

// Whether an answer must be given by its option when the options are used.
bool required(const Answer& answer) {
  return answer.asked_after == nullptr && answer.kind != AnswerKind::kFlag;
}

constexpr const char* kAnswers = "Answers (any of them runs without the dialogue)";
constexpr const char* kModes = "Modes";
constexpr const char* kInformation = "Information";

// The options known, for the help and for reading the command line: the answer options in the
// order of the questions they answer, then the modes.
void describe(CLI::App& app) {
  app.set_help_flag();  // --help and --version stand alone; main_program handles them
  for (const Answer& answer : answer_table()) {
    if (answer.option.empty()) continue;
    const std::string help = std::string(answer.help) + (required(answer) ? " (required)" : "");
    if (answer.value_name.empty()) {
      app.add_flag(std::string(answer.option), help)->group(kAnswers);
    } else {
      app.add_option(std::string(answer.option), CLI::callback_t(), help)
          ->type_name(std::string(answer.value_name))
          ->group(kAnswers);
    }
  }
  const auto flag = [&](const char* name, const char* group, const std::string& help) {
    app.add_flag(name, help)->group(group);
  };
  flag("-q,--quiet", kModes, "print nothing but errors");
  flag("--dry-run", kModes, "check everything, list the event files; write nothing");
  flag("--print-answers", kModes, "print the answer script of the options; write nothing");
  flag("--strict", kModes, "refuse a loose answer script before it runs (status 2)");
  app.add_option("--answers", CLI::callback_t(),
                 "read the dialogue's answers from FILE, not standard input (-)")
      ->type_name("FILE")
      ->group(kModes);
  app.add_option("--save-answers", CLI::callback_t(),
                 "after a normal ending or a dry run, write the answers of this run to FILE, "
                 "an answer script for --answers")
      ->type_name("FILE")
      ->group(kModes);
  flag("--help", kInformation, "print this help and exit");
  flag("--version", kInformation, "print the version and exit");
}

// The options a command line gives, by their long names, each with its value as typed ("" for a
// flag).
using Given = std::map<std::string, std::string, std::less<>>;

// The value of the option `name`; "" when it is not given.
std::string value_of(const Given& given, std::string_view name) {
  const auto found = given.find(name);
  return found == given.end() ? "" : found->second;
}

// Whether a y/n answer without an option of its own is given by the option of the answer asked
// after it (--snow-melt FACTOR answers the snow melt question y).
bool given_by_the_answer_after(const Given& given, const Answer& answer) {
  const auto* flag = std::get_if<recordio::FixedText<1> shared::RunData::*>(&answer.field);
  for (const Answer& after : answer_table()) {
    if (after.asked_after == *flag && !value_of(given, after.option).empty()) return true;
  }
  return false;
}

// Every value is checked here, before anything else happens: one answer a line in the order
// of the questions, the two pauses an empty line each. A y/n answer is y when its option is
// given.
std::string answer_script(const Given& given) {
  const auto line_of = [&](const Answer& answer) -> std::string {
    if (answer.kind != AnswerKind::kFlag) return value_of(given, answer.option);
    const bool yes = answer.option.empty() ? given_by_the_answer_after(given, answer)
                                           : given.contains(answer.option);
    return yes ? "y" : "n";
  };
  const auto refuse = [](int, const Answer& answer, std::string_view typed,
                         const std::string& why) {
    return usage_error(std::string(answer.option) + " " + recordio::quoted_answer(typed) + ": " +
                       why);
  };
  return checked_script(line_of, refuse) + "\n\n";
}

// The options under their group titles, one blank line between two groups.
std::string groups(const CLI::App& app) {
  CLI::Formatter formatter;
  formatter.column_width(26);
  std::string text = formatter.make_groups(&app, CLI::AppFormatMode::Normal);
  for (std::size_t at; (at = text.find("\n\n\n")) != std::string::npos;) text.erase(at, 1);
  return text;
}

// What the program does and how it is given its answers, before the options.
constexpr const char* kAbout =
    "Writes the event files of a long modelling run in the current working directory.\n"
    "Without answer options it asks its questions on standard output and reads the\n"
    "answers, one per line, from standard input or the file --answers names, so a\n"
    "whole run can be given from a file:\n"
    "  quorlant < run.answers\n"
    "  quorlant --answers run.answers\n"
    "With the answer options it asks nothing and prints one line per event file:\n"
    "  quorlant --events 2 --months-per-event 1 --start \"2015 01 01 00\" \\\n"
    "           --snow-melt 1.0 --report-step 1 --basin gr10k\n"
    "A flag left out is the answer n.\n";

constexpr const char* kFilesWritten =
    "Files written: event\\<yyyymmdd>.evt (one per event), event\\events_to_follow.txt,\n"
    "evt_info.txt, and the scratch files temp0.fls, temp1.fls, temp2.fls, temp3.fls and\n"
    "temp5.fls. The event directory must exist (mkdir event).";

// Where the names the program writes differ from the system's own.
std::string file_names() {
  if (std::filesystem::path::preferred_separator == '\\') return "\n";
  return " Each backslash is a\ndirectory separator: event\\20150101.evt is the file "
         "event/20150101.evt.\n";
}

// How many letters to add, drop or change to make one name the other.
std::size_t edit_distance(std::string_view from, std::string_view to) {
  std::vector<std::size_t> row(to.size() + 1);
  for (std::size_t j = 0; j < row.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= from.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= to.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (from[i - 1] != to[j - 1])});
      diagonal = above;
    }
  }
  return row[to.size()];
}

// The known option nearest to `typed` (a letter or two off, its start, or it with more words)
// and how far it is: 0 when `typed` is one, 3 or more when none is near.
std::pair<std::string, std::size_t> closest_option(const CLI::App& app, std::string_view typed) {
  std::pair<std::string, std::size_t> best{"", 3};
  for (const CLI::Option* option : app.get_options()) {
    for (const std::string& name : option->get_lnames()) {
      const std::string known = "--" + name;
      const bool started = known != typed && ((typed.size() > 3 && known.starts_with(typed)) ||
                                              typed.starts_with(known + "-"));
      const std::size_t distance = started ? 1 : edit_distance(typed, known);
      if (distance < best.second) best = {known, distance};
    }
  }
  return best;
}

// The answer whose option is `option`, or nullptr.
const Answer* answer_of_option(std::string_view option) {
  for (const Answer& answer : answer_table()) {
    if (answer.option == option) return &answer;
  }
  return nullptr;
}

// Whether a word of the command line is an option rather than a value ("-3" is a value).
bool looks_like_option(std::string_view word) {
  return word.starts_with("--") || (word.size() == 2 && word[0] == '-' &&
                                    std::isalpha(static_cast<unsigned char>(word[1])) != 0);
}

// "--snow-melt needs the snow conversion factor, e.g. --snow-melt 1.0".
std::string needs_value(const CLI::Option& option, std::string_view name) {
  const Answer* answer = answer_of_option(name);
  // --answers is the one option of another kind that takes a value.
  const std::string what = answer ? std::string(answer->what) : option.get_type_name();
  const std::string example = answer ? std::string(answer->example) : "run.answers";
  return std::string(name) + " needs " + what + ", e.g. " + std::string(name) + " " + example;
}

// A slip of the command line, and where to read what it takes.
recordio::Failure word_error(const std::string& message) {
  return usage_error(message + " (see quorlant --help)");
}

// The option a word of the command line names, or the slip that it is no option there.
const CLI::Option& option_of(const CLI::App& app, std::string_view word,
                             const std::string& flag_before) {
  if (!looks_like_option(word)) {
    throw word_error("unexpected word " + recordio::quoted_answer(word) +
                     (flag_before.empty() ? ": every value follows its option"
                                          : " after " + flag_before + ", which takes no value"));
  }
  const std::string name(word.substr(0, word.find('=')));
  const CLI::Option* option = app.get_option_no_throw(name);
  if (option != nullptr) return *option;
  const auto [known, distance] = closest_option(app, name);
  throw word_error("unknown option " + name +
                   (distance > 0 && !known.empty() ? "; did you mean " + known + "?" : ""));
}

// Whether the option `name` of `words[0]` has its value: after '=', or the next word, which is
// no option; throws the slip when a flag has one or an option none. Returns the words it took.
std::size_t words_of(const CLI::Option& option, const std::string& name,
                     std::span<const std::string_view> words) {
  const std::string_view word = words[0];
  const bool valued = word.find('=') != std::string_view::npos;
  if (option.get_items_expected_max() == 0) {
    if (valued) throw word_error(name + " takes no value");
    return 1;
  }
  const bool no_value =
      valued ? word.ends_with('=') : words.size() == 1 || looks_like_option(words[1]);
  if (no_value) throw word_error(needs_value(option, name));
  return valued ? 1 : 2;
}

// The options of the command line with their values, each slip in the program's own words: an
// unknown option (with the one it is likely to be), one given twice, one without its value, a
// word that no option takes. A value is kept as typed.
Given read_words(const CLI::App& app, std::span<const std::string_view> arguments) {
  Given given;
  std::string flag_before;  // the flag just before, for a word that follows it
  for (std::size_t i = 0; i < arguments.size();) {
    const std::string_view word = arguments[i];
    const CLI::Option& option = option_of(app, word, flag_before);
    const std::string name(word.substr(0, word.find('=')));
    if (given.contains(option.get_name())) throw word_error(name + " given twice");
    const std::size_t taken = words_of(option, name, arguments.subspan(i));
    // After '=', or the next word; a flag's value is empty.
    given[option.get_name()] =
        taken == 2 ? arguments[i + 1] : word.substr(std::min(word.size(), name.size() + 1));
    flag_before = option.get_items_expected_max() == 0 ? name : std::string();
    i += taken;
  }
  return given;
}

void check_required(const Given& given) {
  std::string names;
  for (const Answer& answer : answer_table()) {
    if (required(answer)) names += (names.empty() ? "" : ", ") + std::string(answer.option);
  }
  names.replace(names.rfind(", "), 2, " and ");
  for (const Answer& answer : answer_table()) {
    if (required(answer) && !given.contains(answer.option)) {
      throw usage_error(std::string(answer.option) + " is missing: the answer options need " +
                        names);
    }
  }
}

// The modes the command line asks for, each with the others it goes with.
Invocation modes(const Given& given) {
  if (given.contains("--help") || given.contains("--version"))
    throw usage_error("--help and --version take no other argument");
  Invocation invocation;
  invocation.quiet = given.contains("--quiet");
  invocation.dry_run = given.contains("--dry-run");
  invocation.print_answers = given.contains("--print-answers");
  invocation.strict = given.contains("--strict");
  const bool save = given.contains("--save-answers");
  if (invocation.print_answers && (invocation.dry_run || save)) {
    throw usage_error(std::string(invocation.dry_run ? "--dry-run" : "--save-answers") +
                      " and --print-answers exclude each other: --print-answers runs nothing");
  }
  if (save) invocation.save_answers = value_of(given, "--save-answers");
  if (given.contains("--answers")) invocation.answer_file = value_of(given, "--answers");
  return invocation;
}

}  // namespace

Invocation parse_command_line(std::span<const std::string_view> arguments) {
  CLI::App app("", "quorlant");
  describe(app);
  const Given given = read_words(app, arguments);
  Invocation invocation = modes(given);
  const auto answers = answer_table();
  const bool any_answer = std::any_of(answers.begin(), answers.end(), [&](const Answer& answer) {
    return !answer.option.empty() && given.contains(answer.option);
  });
  if (!any_answer) {
    if (invocation.print_answers) throw usage_error("--print-answers needs the answer options");
    return invocation;
  }
  if (invocation.answer_file)
    throw usage_error("--answers and the answer options exclude each other");
  check_required(given);
  invocation.answers = answer_script(given);
  return invocation;
}

std::string help_text() {
  CLI::App app("", "quorlant");
  describe(app);
  const std::string check(shared::kCheckCommand);
  return "Usage: quorlant [OPTIONS]\n       quorlant " + check + "\n\n" + kAbout + groups(app) +
         "\nCommands:\n  " + check + "\n" + std::string(shared::kCheckSummary) + "\n" +
         kFilesWritten + file_names() + "\n" + std::string(shared::kRunExitStatus) +
         "\nThe manual (the questions and what each answer does):\n  " QUORLANT_MANUAL "\n";
}

}  // namespace quorlant::run
