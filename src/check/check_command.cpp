#include "check/check_command.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <optional>
#include <string>
#include <vector>

#include "check/check_report.h"
#include "check/series_check.h"
#include "eventfile/event_names.h"
#include "recordio/failure.h"
#include "recordio/series_writer.h"
#include "recordio/units.h"

namespace quorlant::check {

namespace {

enum Status { kNoGaps = 0, kGaps = 1, kCannotCheck = 2 };

constexpr std::string_view kUsage =
    "usage: quorlant check [--chart | --json] [--need KEYWORD[,KEYWORD...]] [EVENT_FILE...]";

struct Options {
  bool chart = false;
  bool json = false;
  std::vector<std::string> need;   // keywords, each with its colon
  std::vector<std::string> files;  // event files the user names
};

// Whether `keyword` names a data file or a basin file in an event file.
bool names_a_file(std::string_view keyword) {
  const auto& layout = eventfile::event_file_layout();
  return std::any_of(layout.begin(), layout.end(), [&](const eventfile::EventFileLine& line) {
    return line.keyword == keyword && (line.value == eventfile::LineValue::kEventName ||
                                       line.value == eventfile::LineValue::kBasinFile);
  });
}

// The keywords of --need with their colon; an unknown one is the user's error.
void read_need(Options& options) {
  for (std::string& keyword : options.need) {
    if (!keyword.starts_with(':')) keyword.insert(0, ":");
    if (!names_a_file(keyword)) {
      throw CLI::ValidationError("--need", "\"" + keyword +
                                               "\" is not the keyword of a data file or a "
                                               "basin file in an event file");
    }
  }
}

// The status, once the report is out. A reader that stopped reading (`| head`) has what it
// wanted: the check ends quietly; any other failed write is reported.
// `errno` is cleared before the report is written, so that it tells why the writing failed.
int finish(std::ostream& out, int status) {
  out.flush();
  if (out || errno == EPIPE) return status;
  throw Failure("cannot write to standard output");
}

// check --help, in the layout of quorlant --help.
std::string help_text() {
  return std::string(kUsage).replace(0, 6, "Usage:") +
         "\n"
         "\n"
         "Reports which of the data files a series of event files names are there: the event\n"
         "files event\\events_to_follow.txt lists, or those named. Writes nothing.\n"
         "\n"
         "Options:\n"
         "  --chart                 a chart by year of every kind in use (not with --json)\n"
         "  --json                  the report as one JSON document (not with --chart)\n"
         "  --need KEYWORD[,KEYWORD...]\n"
         "                          the kinds of file the set-up needs, keywords of the event\n"
         "                          file with or without the colon (pointprecip,basinfilename);\n"
         "                          a needed file missing for any event is a gap. Without it:\n"
         "                          basinfilename and parfilename, as no run starts without them\n"
         "  EVENT_FILE              an event file to check instead of those the list names,\n"
         "                          read wherever it is\n"
         "  -h, --help              print this help and exit\n"
         "\n"
         "Exit status: 0 no gap; 1 gaps, or none of the data files the events name exists; 2 the\n"
         "check is incomplete or cannot be made (no list, no event folder, a file that is not an\n"
         "event file or could not be looked at), each failure in one line on standard error.\n";
}

// A slip of the command line in the program's own words.
std::string in_own_words(const CLI::ParseError& error,
                         std::span<const std::string_view> arguments) {
  if (dynamic_cast<const CLI::ExcludesError*>(&error) != nullptr)
    return "--chart and --json exclude each other: the JSON document has no chart";
  if (dynamic_cast<const CLI::ConversionError*>(&error) != nullptr)
    return "--chart and --json take no value";
  if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr)
    return "--need needs the keywords of the kinds the set-up needs, e.g. --need "
           "pointprecip,basinfilename";
  for (const std::string_view argument : arguments) {
    const std::string_view name = argument.substr(0, argument.find('='));
    if (argument.starts_with('-') && name != "--chart" && name != "--json" && name != "--need")
      return "unknown option " + std::string(name);
  }
  return error.what();  // a --need keyword refused, in the words read_need gave it
}

// The options, or the status the command ends with (after --help, or a usage error).
std::optional<int> parse_options(std::span<const std::string_view> arguments, std::ostream& out,
                                 Options& options) {
  CLI::App app;
  app.set_help_flag("-h,--help");
  auto* chart_flag = app.add_flag("--chart", options.chart);
  app.add_flag("--json", options.json)->excludes(chart_flag);
  std::vector<std::string> need;
  app.add_option("--need", need)->delimiter(',');
  app.add_option("EVENT_FILE", options.files);
  // CLI11 takes the arguments last first.
  std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
  try {
    app.parse(reversed);
    options.need = app.count("--need") > 0
                       ? need
                       : std::vector<std::string>(std::begin(kDefaultNeed), std::end(kDefaultNeed));
    read_need(options);
  } catch (const CLI::CallForHelp&) {
    errno = 0;
    out << help_text();
    return finish(out, kNoGaps);
  } catch (const CLI::ParseError& error) {
    throw Failure(in_own_words(error, arguments) + "; " + std::string(kUsage),
                  recordio::ExitStatus::kUsage);
  }
  return std::nullopt;
}

// The event files as a shell of this system names them: event/*.evt, or event\*.evt.
std::string native_event_files() {
  return std::string(recordio::kEventFolder) +
         static_cast<char>(std::filesystem::path::preferred_separator) + "*.evt";
}

// Adds the event files the user names, or those the list names; false when none could be.
// Each failure is one line on `err`; `failure` keeps the first.
bool add_event_files(SeriesCheck& check, std::vector<std::string> files, std::ostream& err,
                     std::string& failure) {
  const auto fail = [&](const std::string& message) {
    err << "quorlant check: " << printable(message) << '\n';
    if (failure.empty()) failure = message;
  };
  const bool named = !files.empty();
  if (!named) {
    try {
      files = read_event_list(check.tree(), eventfile::kFollowList);
    } catch (const Failure& error) {
      // Without a list there is nothing to check yet: say what to do instead.
      const bool missing = check.tree().find(eventfile::kFollowList).kind == platform::FileKind::kMissing;
      fail(error.what() + (missing ? "; run quorlant here first to write a series, or name event "
                                     "files: quorlant check " + native_event_files()
                                   : std::string()));
      return false;
    }
    if (files.empty()) {
      fail(eventfile::kFollowList + " names no event file");
      return false;
    }
  }
  for (const std::string& file : files) {
    try {
      check.add_event_file(file, named);
    } catch (const Failure& error) {
      // The other files are still checked; the report then says it is incomplete.
      fail(error.what());
      ++check.report().unchecked;
    }
  }
  return !check.report().events.empty();  // each file has had its line on `err`
}

// One line for each kind of file and reason: the first name, and how many more there are.
void name_not_looked(const SeriesReport& report, std::ostream& err) {
  struct Group {
    const NotLooked* first;
    std::size_t more;
  };
  std::vector<Group> groups;
  for (const NotLooked& file : report.not_looked) {
    const auto same = [&](const Group& group) {
      return group.first->keyword == file.keyword && group.first->reason == file.reason;
    };
    const auto group = std::find_if(groups.begin(), groups.end(), same);
    if (group == groups.end()) {
      groups.push_back({&file, 0});
    } else {
      ++group->more;
    }
  }
  for (const Group& group : groups) {
    err << "quorlant check: " << printable(group.first->name);
    if (group.more > 0)
      err << " and " << group.more << " more " << group.first->keyword << " files";
    err << ": could not be looked at: " << group.first->reason << '\n';
  }
}

int status_of(Verdict verdict) {
  switch (verdict) {
    case Verdict::kIncomplete: return kCannotCheck;
    case Verdict::kNothingFound:
    case Verdict::kGaps: return kGaps;
    case Verdict::kNoGaps: break;
  }
  return kNoGaps;
}

// A series cut off while it was put in place is half old, half new: no series to check until
// the next run has settled it.
void check_for_cut_off_series(platform::FileSystem& files,
                              const std::filesystem::path& working_directory) {
  recordio::HeldDirectories held(files, working_directory);
  const recordio::JournalState state =
      recordio::SeriesWriter::inspect(files, held.event_folder(), eventfile::kSeriesNames,
                                      held.finder());
  if (state != recordio::JournalState::kNone)
    throw Failure(recordio::interrupted_run_report(state, false));
}

}  // namespace

int main_check(std::span<const std::string_view> arguments, std::ostream& out, std::ostream& err,
               const std::filesystem::path& working_directory, platform::FileSystem& files) {
  Options options;
  if (const auto ended = parse_options(arguments, out, options)) return *ended;
  try {
    check_for_cut_off_series(files, working_directory);
  } catch (const Failure& failure) {
    // A script reading the JSON gets a document whatever the outcome.
    errno = 0;
    if (options.json) write_json_failure(failure.what(), out);
    (void)finish(out, kCannotCheck);
    throw;
  }
  SeriesCheck check(working_directory, files);
  check.need(options.need);
  std::string failure;
  if (!add_event_files(check, options.files, err, failure)) {
    // A script reading the JSON gets a document whatever the outcome.
    errno = 0;
    if (options.json) write_json_failure(failure, out);
    return finish(out, kCannotCheck);
  }
  check.look_for_leftovers();
  const SeriesReport& report = check.report();
  name_not_looked(report, err);
  errno = 0;
  if (options.json) {
    write_json(report, out);
  } else {
    write_text(report, options.chart, out);
  }
  return finish(out, status_of(verdict(report)));
}

}  // namespace quorlant::check
