#include "run/answer_options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "events/event_calendar.h"
#include "recordio/message_line.h"
#include "recordio/record_format.h"

namespace quorlant::run {

namespace {

constexpr const char* kAnswers = "Answers (any of them runs without the dialogue)";
constexpr const char* kModes = "Modes";
constexpr const char* kInformation = "Information";

// The option values as typed; each is checked below before it becomes an answer line.
struct Values {
  std::string events, months, start, report_step, basin, snow_melt, disaggregate;
  bool evaporation = false, reservoir_inflow = false, wetland = false, diversions = false,
       lake_evaporation = false, ice_factors = false;
  Invocation modes;
  bool help = false, version = false;  // listed in the help; handled before parsing
  std::string answer_file;
};

// The options in the order of the questions they answer.
void describe(CLI::App& app, Values& v) {
  const auto answer = [&](const char* name, std::string& value, const char* type,
                          const char* help) {
    app.add_option(name, value, help)->type_name(type)->group(kAnswers);
  };
  const auto flag = [&](const char* name, bool& value, const char* group, const char* help) {
    app.add_flag(name, value, help)->group(group);
  };
  answer("--events", v.events, "N", "number of event files, at least 1 (required)");
  answer("--months-per-event", v.months, "1|12", "1: monthly events, 12: yearly (required)");
  answer("--start", v.start, "\"yyyy mm dd hh\"", "start of the first event (required)");
  answer("--snow-melt", v.snow_melt, "FACTOR",
         "snow melt routines, this conversion factor (1.0: mm)");
  flag("--evaporation", v.evaporation, kAnswers, "run the evaporation routines");
  answer("--disaggregate", v.disaggregate, "RATE",
         "disaggregate precipitation, RATE mm/h (0 to 99.99)");
  answer("--report-step", v.report_step, "HOURS", "reporting time step, 1 to 99999 (required)");
  flag("--reservoir-inflow", v.reservoir_inflow, kAnswers, "use reservoir/lake inflow files");
  flag("--wetland", v.wetland, kAnswers, "use wetland coupling");
  flag("--diversions", v.diversions, kAnswers, "use diversions");
  flag("--lake-evaporation", v.lake_evaporation, kAnswers, "run lake evaporation");
  flag("--ice-factors", v.ice_factors, kAnswers, "use ice factors");
  answer("--basin", v.basin, "NAME", "basin name, 1 to 8 characters, no blank (required)");
  flag("-q,--quiet", v.modes.quiet, kModes, "print nothing but errors");
  flag("--dry-run", v.modes.dry_run, kModes,
       "check everything, list the event files; write nothing");
  flag("--print-answers", v.modes.print_answers, kModes,
       "print the answer script of the options; write nothing");
  flag("--strict", v.modes.strict, kModes, "refuse a loose answer in the dialogue (status 2)");
  app.add_option("--answers", v.answer_file,
                 "read the dialogue's answers from FILE, not standard input (-)")
      ->type_name("FILE")
      ->group(kModes);
  flag("--help", v.help, kInformation, "print this help and exit");
  flag("--version", v.version, kInformation, "print the version and exit");
}

std::string refused(std::string_view option, std::string_view given, std::string_view expected) {
  return std::string(option) + " " + recordio::quoted_answer(given) + ": expected " +
         std::string(expected);
}

std::int32_t whole_number(std::string_view option, const std::string& given,
                          std::string_view expected, std::int32_t low, std::int32_t high) {
  const auto value = recordio::parse_integer(given);
  if (!value || *value < low || *value > high) throw UsageError(refused(option, given, expected));
  return *value;
}

bool printable_without_blank(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c > ' ' && c < '\x7F'; });
}

// The snow factor is read from columns 1 to 5 of its line, where blanks would not count.
void check_snow_factor(const std::string& given) {
  const std::string expected = "a number of at most five characters, such as 1.0 or 25.";
  if (given.empty() || given.size() > 5 || !printable_without_blank(given)) {
    throw UsageError(refused("--snow-melt", given, expected));
  }
  float factor = 0.0F;
  const std::array<recordio::InTarget, 1> target = {&factor};
  try {
    recordio::read_records(
        recordio::Format{recordio::RealField{5, 0}}, [&]() -> std::string_view { return given; },
        target);
  } catch (const recordio::FieldError&) {
    throw UsageError(refused("--snow-melt", given, expected));
  }
}

// The rate goes into the five columns of ":disaggregate" with two decimals.
void check_rate(const std::string& given) {
  const auto rate = recordio::parse_real(given);
  if (!rate || !(*rate >= 0.0F) ||
      recordio::format_real(*rate, 5, 2).find('*') != std::string::npos) {
    throw UsageError(refused("--disaggregate", given, "a number from 0 to 99.99 (mm/h)"));
  }
}

std::string yes_no(bool yes) {
  return yes ? "y\n" : "n\n";
}

// Every value is checked here, before anything else happens.
std::string answer_script(const Values& v) {
  const std::int32_t events =
      whole_number("--events", v.events, "a whole number of at least 1", 1, INT32_MAX);
  const std::int32_t months = whole_number("--months-per-event", v.months, "1 or 12", 1, 12);
  if (months != 1 && months != 12) {
    throw UsageError(refused("--months-per-event", v.months, "1 or 12"));
  }
  const std::string start_form = "\"yyyy mm dd hh\" naming a real hour of a real day";
  if (v.start.size() != 13) throw UsageError(refused("--start", v.start, start_form));
  if (const auto problem = events::start_problem(v.start)) {
    throw UsageError(refused("--start", v.start, start_form + "; it " + *problem));
  }
  const auto year = recordio::parse_integer(v.start.substr(0, 4));
  const auto month = recordio::parse_integer(v.start.substr(5, 2));
  if (events::last_event_year(*year, *month, events, months) > 9999) {
    throw UsageError(refused("--events", v.events,
                             "a series from --start " + recordio::quoted_answer(v.start) +
                                 " whose last event starts by the year 9999"));
  }
  // The :deltat_report field of the event file takes five columns.
  whole_number("--report-step", v.report_step, "a whole number from 1 to 99999", 1, 99999);
  if (v.basin.empty() || v.basin.size() > 8 || !printable_without_blank(v.basin)) {
    throw UsageError(
        refused("--basin", v.basin, "1 to 8 printable ASCII characters without a blank"));
  }
  const bool snow = !v.snow_melt.empty();
  const bool rate = !v.disaggregate.empty();
  if (snow) check_snow_factor(v.snow_melt);
  if (rate) check_rate(v.disaggregate);

  // One answer a line in the order of the questions; the two pauses take an empty line each.
  std::string script = v.events + "\n" + v.months + "\n" + v.start + "\n";
  script += snow ? "y\n" + v.snow_melt + "\n" : "n\n";
  script += yes_no(v.evaporation);
  script += rate ? "y\n" + v.disaggregate + "\n" : "n\n";
  script += v.report_step + "\n";
  for (bool yes : {v.reservoir_inflow, v.wetland, v.diversions, v.lake_evaporation, v.ice_factors})
    script += yes_no(yes);
  script += v.basin + "\n\n\n";
  return script;
}

// The options under their group titles, one blank line between two groups.
std::string groups(const CLI::App& app) {
  CLI::Formatter formatter;
  formatter.column_width(26);
  std::string text = formatter.make_groups(&app, CLI::AppFormatMode::Normal);
  for (std::size_t at; (at = text.find("\n\n\n")) != std::string::npos;) text.erase(at, 1);
  return text;
}

}  // namespace

Invocation parse_command_line(std::span<const std::string_view> arguments) {
  CLI::App app("", "quorlant");
  app.set_help_flag();  // --help and --version stand alone; the caller handles them
  Values v;
  describe(app, v);
  std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::ParseError& error) {
    throw UsageError(std::string(error.what()) +
                     "; usage: quorlant [OPTIONS] (see quorlant --help)");
  }
  if (v.help || v.version) throw UsageError("--help and --version take no other argument");

  const std::vector<std::string> required = {"--events", "--months-per-event", "--start",
                                             "--report-step", "--basin"};
  bool any_answer = false;
  for (const CLI::Option* option : app.get_options()) {
    if (option->get_group() == kAnswers && option->count() > 0) any_answer = true;
  }
  Invocation invocation = v.modes;
  if (app.get_option("--answers")->count() > 0) {
    if (any_answer) throw UsageError("--answers and the answer options exclude each other");
    invocation.answer_file = v.answer_file;
  }
  if (!any_answer) {
    if (invocation.print_answers) throw UsageError("--print-answers needs the answer options");
    return invocation;
  }
  for (const std::string& name : required) {
    if (app.get_option(name)->count() == 0) {
      throw UsageError(name +
                       " is missing: the answer options need --events, "
                       "--months-per-event, --start, --report-step and --basin");
    }
  }
  invocation.answers = answer_script(v);
  return invocation;
}

std::string help_text() {
  CLI::App app("", "quorlant");
  app.set_help_flag();
  Values v;
  describe(app, v);
  return "Usage: quorlant [OPTIONS]\n"
         "       quorlant check [--chart | --json] [EVENT_FILE...]\n"
         "\n"
         "Writes the event files of a long modelling run in the current working directory.\n"
         "Without answer options it asks its questions on standard output and reads the\n"
         "answers, one per line, from standard input or the file --answers names, so a\n"
         "whole run can be given from a file:\n"
         "  quorlant < run.answers\n"
         "  quorlant --answers run.answers\n"
         "With the answer options it asks nothing and prints one line per event file:\n"
         "  quorlant --events 2 --months-per-event 1 --start \"2015 01 01 00\" \\\n"
         "           --snow-melt 1.0 --report-step 1 --basin gr10k\n"
         "A flag left out is the answer n.\n" +
         groups(app) +
         "\n"
         "Commands:\n"
         "  check [--chart | --json] [EVENT_FILE...]\n"
         "                          report which data files the event files of a series\n"
         "                          (event\\events_to_follow.txt, or the files named) name\n"
         "                          are there, and the gaps; writes nothing (status 0: no\n"
         "                          gap, 1: gaps, 2: cannot check; see check --help)\n"
         "\n"
         "Files written: event\\<yyyymmdd>.evt (one per event), event\\events_to_follow.txt,\n"
         "evt_info.txt, and the scratch files temp0.fls, temp1.fls, temp2.fls, temp3.fls and\n"
         "temp5.fls. The event directory must exist; event\\20150101.evt is the file\n"
         "event/20150101.evt.\n"
         "\n"
         "Exit status: 0 after \"Normal ending\"; 1 when the program aborts the run or rejects an\n"
         "answer; 2 when an answer is not a number of the required kind, the input ends, a file\n"
         "cannot be opened, written or closed, an option cannot be used, or --strict refuses an\n"
         "answer.\n"
         "\n"
         "The questions and what each answer does: " QUORLANT_MANUAL "\n";
}

}  // namespace quorlant::run
