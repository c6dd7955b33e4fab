#include "check/check_command.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "check/check_html.h"
#include "check/check_report.h"
#include "check/series_check.h"
#include "eventfile/event_names.h"
#include "recordio/failure.h"
#include "recordio/series_writer.h"
#include "recordio/units.h"
#include "shared/command_texts.h"

namespace quorlant::check {

namespace {

enum Status { kNoGaps = 0, kGaps = 1, kCannotCheck = 2 };

struct Options {
  bool help = false;
  bool chart = false;
  bool json = false;
  std::string html;                // the page's file, "-" for standard output, "" for none
  std::vector<std::string> need;   // keywords, each with its colon
  std::vector<std::string> files;  // event files the user names
};

// The keywords of --need with their colon; one that names no data file or basin file in an event
// file is the user's error.
void read_need(Options& options) {
  const auto& layout = eventfile::event_file_layout();
  for (std::string& keyword : options.need) {
    if (!keyword.starts_with(':')) keyword.insert(0, ":");
    const auto names_a_file = [&](const eventfile::EventFileLine& line) {
      return line.keyword == keyword && (line.value == eventfile::LineValue::kEventName ||
                                         line.value == eventfile::LineValue::kBasinFile);
    };
    if (std::none_of(layout.begin(), layout.end(), names_a_file)) {
      throw CLI::ValidationError("--need", "\"" + keyword +
                                               "\" is not the keyword of a data file or a "
                                               "basin file in an event file");
    }
  }
}

// Writes with `write`, then ends with `status`. A reader that stopped reading (`| head`) has
// what it wanted: the check ends quietly; any other failed write is reported.
template <typename Write>
int write_out(std::ostream& out, int status, Write write) {
  platform::forget_last_error();  // so that it tells why the writing failed
  write();
  out.flush();
  if (out || platform::reader_gone()) return status;
  throw Failure("cannot write to standard output");
}

// check --help, in the layout of quorlant --help.
std::string help_text() {
  return "Usage: quorlant " + std::string(shared::kCheckCommand) +
         "\n"
         "\n"
         "Reports which of the data files a series of event files names are there: the event\n"
         "files event\\events_to_follow.txt lists, or those named. Writes nothing but the\n"
         "page --html asks for.\n"
         "\n"
         "Options:\n"
         "  --chart                 a chart by year of every kind in use (not with --json)\n"
         "  --html FILE             the report also as an HTML page, written to FILE; --html -\n"
         "                          writes the page alone to standard output\n"
         "  --json                  the report as one JSON document (not with --chart)\n"
         "  --need KEYWORD[,KEYWORD...]\n"
         "                          the kinds of file the set-up needs, keywords of the event\n"
         "                          file with or without the colon (pointprecip,basinfilename);\n"
         "                          a needed file missing for any event is a gap. Without it:\n"
         "                          basinfilename and parfilename, as no run starts without them\n"
         "  EVENT_FILE              an event file to check instead of those the list names,\n"
         "                          read wherever it is\n"
         "  -h, --help              print this help and exit\n"
         "\n" +
         std::string(shared::kCheckExitStatus);
}

// A slip of the command line in the program's own words.
std::string in_own_words(const CLI::ParseError& error,
                         std::span<const std::string_view> arguments) {
  if (dynamic_cast<const CLI::ExcludesError*>(&error) != nullptr)
    return "--chart and --json exclude each other: the JSON document has no chart";
  if (dynamic_cast<const CLI::ConversionError*>(&error) != nullptr)
    return "--chart and --json take no value";
  const bool about_html = std::string_view(error.what()).find("--html") != std::string_view::npos;
  if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr && about_html)
    return "--html takes one file to write the page to, or - for standard output";
  if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr)
    return "--need needs the keywords of the kinds the set-up needs, e.g. --need "
           "pointprecip,basinfilename";
  constexpr std::string_view kOptions[] = {"--chart", "--json", "--need", "--html"};
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string_view name = arguments[i].substr(0, arguments[i].find('='));
    if (i > 0 && arguments[i - 1] == "--html") continue;  // a page on standard output: -
    if (name.starts_with('-') &&
        std::find(std::begin(kOptions), std::end(kOptions), name) == std::end(kOptions))
      return "unknown option " + std::string(name);
  }
  return error.what();  // a --need keyword refused, in the words read_need gave it
}

// The options; a usage error throws a Failure of status kUsage.
Options parse_options(std::span<const std::string_view> arguments) {
  Options options;
  CLI::App app;
  app.set_help_flag("-h,--help");
  auto* chart_flag = app.add_flag("--chart", options.chart);
  app.add_flag("--json", options.json)->excludes(chart_flag);
  app.add_option("--need", options.need)->delimiter(',');
  app.add_option("--html", options.html);
  app.add_option("EVENT_FILE", options.files);
  // CLI11 takes the arguments last first.
  std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
  try {
    app.parse(reversed);
    if (app.count("--need") == 0)
      options.need.assign(std::begin(kDefaultNeed), std::end(kDefaultNeed));
    read_need(options);
    if (options.html == "-" && (options.chart || options.json)) {
      throw CLI::ValidationError(
          "--html - puts the page on standard output: not with --chart or --json");
    }
  } catch (const CLI::CallForHelp&) {
    options.help = true;
  } catch (const CLI::ParseError& error) {
    throw Failure(
        in_own_words(error, arguments) + "; usage: quorlant " + std::string(shared::kCheckCommand),
        recordio::ExitStatus::kUsage);
  }
  return options;
}

// One line on the error stream for a failure that leaves the check incomplete.
void tell(std::ostream& err, const std::string& failure) {
  err << "quorlant check: " << printable(failure) << '\n';
}

// The event files the list names. Throws Failure when it cannot be read or names none.
std::vector<std::string> listed_event_files(const TreeLookUp& tree, const Found& list) {
  std::vector<std::string> files;
  try {
    files = read_event_list(tree.look_ups(), list, eventfile::kFollowList);
  } catch (const Failure& error) {
    if (list.kind != platform::FileKind::kMissing) throw;
    // Without a list there is nothing to check yet: say what to do instead. The event files
    // as a shell of this system names them: event/*.evt, or event\*.evt.
    throw Failure(error.what() +
                  std::string("; run quorlant here first to write a series, or name event "
                              "files: quorlant check ") +
                  std::string(recordio::kEventFolder) +
                  static_cast<char>(std::filesystem::path::preferred_separator) + "*.evt");
  }
  if (files.empty()) throw Failure(eventfile::kFollowList + " names no event file");
  return files;
}

// Checks each event file. One that cannot be checked is told, and the others are still
// checked: the report then says it is incomplete.
void add_event_files(SeriesCheck& check, const std::vector<std::string>& files, bool named,
                     std::ostream& err) {
  for (const std::string& file : files) {
    try {
      check.add_event_file(file, named);
    } catch (const Failure& error) {
      tell(err, error.what());
      check.report().unchecked.emplace_back(error.what());
    }
  }
}

// One line for each kind of file and reason: the first name, and how many more there are.
void name_not_looked(const SeriesReport& report, std::ostream& err) {
  std::vector<std::pair<const NotLooked*, std::size_t>> groups;  // the first file, how many more
  for (const NotLooked& file : report.not_looked) {
    const auto group = std::find_if(groups.begin(), groups.end(), [&](const auto& seen) {
      return seen.first->keyword == file.keyword && seen.first->reason == file.reason;
    });
    if (group != groups.end())
      ++group->second;
    else
      groups.emplace_back(&file, 0);
  }
  for (const auto& [first, more] : groups) {
    err << "quorlant check: " << printable(first->name);
    if (more > 0) err << " and " << more << " more " << first->keyword << " files";
    err << ": could not be looked at: " << first->reason << '\n';
  }
}

// The status of each verdict, in the order of Verdict.
constexpr Status kStatusOf[] = {kCannotCheck, kGaps, kGaps, kNoGaps};

// A series cut off while it was put in place is half old, half new: no series to check until
// the next run has settled it.
void check_for_cut_off_series(platform::FileSystem& files,
                              const std::filesystem::path& working_directory) {
  recordio::HeldDirectories held(files, working_directory);
  const recordio::JournalState state = recordio::SeriesWriter::inspect(
      files, held.event_folder(), eventfile::kSeriesNames, held.finder());
  if (state != recordio::JournalState::kNone)
    throw Failure(recordio::interrupted_run_report(state, false));
}

// The end of a check that cannot be made: a script reading the JSON still gets a document.
int cannot_check(const Options& options, std::string_view failure, std::ostream& out) {
  return write_out(out, kCannotCheck, [&] {
    if (options.json) write_json_failure(failure, out);
  });
}

// Writes the page to the file --html names, from the working directory, and ends with
// `status`; a page that cannot be written leaves the file as it was and, told on `err`, ends
// the check incomplete.
int write_page(const Options& options, std::string_view page, int status, std::ostream& err,
               const std::filesystem::path& working_directory, platform::FileSystem& files) {
  try {
    recordio::FileWrittenWhole file(files, working_directory / options.html,
                                    "cannot write " + options.html);
    file.keep(page);
    return status;
  } catch (const Failure& failure) {
    tell(err, failure.what());
    return kCannotCheck;
  }
}

}  // namespace

int main_check(std::span<const std::string_view> arguments, std::ostream& out, std::ostream& err,
               const std::filesystem::path& working_directory, platform::FileSystem& files) {
  const Options options = parse_options(arguments);
  if (options.help) return write_out(out, kNoGaps, [&] { out << help_text(); });
  try {
    check_for_cut_off_series(files, working_directory);
  } catch (const Failure& failure) {
    cannot_check(options, failure.what(), out);
    throw;
  }
  SeriesCheck check(working_directory, files);
  check.need(options.need);
  std::vector<std::string> event_files = options.files;
  if (event_files.empty()) {
    // A list that leads out of the tree ends the check at once.
    const Found list = check.tree().find(eventfile::kFollowList);
    try {
      event_files = listed_event_files(check.tree(), list);
    } catch (const Failure& failure) {
      tell(err, failure.what());
      return cannot_check(options, failure.what(), out);
    }
  }
  add_event_files(check, event_files, !options.files.empty(), err);
  const SeriesReport& report = check.report();
  if (report.events.empty()) return cannot_check(options, report.unchecked.front(), out);
  check.look_for_leftovers();
  name_not_looked(report, err);
  const int status = kStatusOf[static_cast<std::size_t>(verdict(report))];
  const auto page = [&] { return html_page(report, status, std::chrono::system_clock::now()); };
  if (options.html == "-") return write_out(out, status, [&] { out << page(); });
  write_out(out, status, [&] {
    if (options.json) {
      write_json(report, out);
    } else {
      write_text(report, options.chart, out);
    }
  });
  if (options.html.empty()) return status;
  return write_page(options, page(), status, err, working_directory, files);
}

}  // namespace quorlant::check
