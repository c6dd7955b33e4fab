#include "check/check_command.h"

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

#include "check/check_report.h"
#include "check/series_check.h"

namespace quorlant::check {

namespace {

enum Status { kNoGaps = 0, kGaps = 1, kCannotCheck = 2 };

constexpr std::string_view kUsage = "usage: quorlant check [--chart | --json] [FILE...]";

}  // namespace

int main_check(std::span<const std::string_view> arguments, std::ostream& out, std::ostream& err,
               const std::filesystem::path& working_directory) {
  CLI::App app("Reports which of the data files a series of event files names are there.",
               "quorlant check");
  bool chart = false;
  bool json = false;
  std::vector<std::string> files;
  auto* chart_flag = app.add_flag("--chart", chart, "a chart by year of every kind in use");
  app.add_flag("--json", json, "the report as one JSON document")->excludes(chart_flag);
  app.add_option("FILE", files, "event files to check instead of those the list names");
  // CLI11 takes the arguments last first.
  std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    out << app.help();
    return out ? kNoGaps : kCannotCheck;
  } catch (const CLI::ParseError& error) {
    err << "quorlant check: " << error.what() << "; " << kUsage << '\n';
    return kCannotCheck;
  }

  SeriesCheck check(working_directory);
  if (files.empty()) {
    try {
      files = read_event_list(working_directory, kListName);
    } catch (const CheckFailure& failure) {
      err << "quorlant check: " << failure.what() << '\n';
      return kCannotCheck;
    }
    if (files.empty()) {
      err << "quorlant check: " << kListName << " names no event file\n";
      return kCannotCheck;
    }
  }
  SeriesReport& report = check.report();
  for (const std::string& file : files) {
    try {
      check.add_event_file(file);
    } catch (const CheckFailure& failure) {
      // The other files are still checked; the report then says it is incomplete.
      err << "quorlant check: " << failure.what() << '\n';
      ++report.unchecked;
    }
  }
  if (report.events.empty()) return kCannotCheck;  // each file has had its line on `err`

  if (json) {
    write_json(report, out);
  } else {
    write_text(report, chart, out);
  }
  out.flush();
  if (!out) {
    err << "quorlant check: cannot write to standard output\n";
    return kCannotCheck;
  }
  if (report.unchecked > 0) return kCannotCheck;
  for (const Kind& kind : report.kinds) {
    if (is_gap(report, kind)) return kGaps;
  }
  return kNoGaps;
}

}  // namespace quorlant::check
