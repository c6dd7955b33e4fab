#pragma once

#include <cstddef>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "eventfile/event_file_layout.h"

namespace quorlant::check {

/// A list or an event file that cannot be checked; `what()` is the one line that says which
/// file, where and why (event\19810101.evt, line 60: expected ":pointprecip").
class CheckFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// One kind of data file: one data-file reference line of the event file layout.
struct Kind {
  const eventfile::EventFileLine* line = nullptr;  // its keyword, directory and ending
  std::vector<std::size_t> missing;  // the events lacking the file, as indices into `events`
};

/// A basin file the event files name, and whether it is there.
struct BasinFile {
  std::string_view keyword;
  std::string name;
  bool present = false;
};

/// What the event files of a series name, and which of those files are there.
struct SeriesReport {
  std::vector<std::string> events;     // the event names, in the order the files were checked
  std::vector<Kind> kinds;             // every data-file reference line, in the file's order
  std::vector<BasinFile> basin_files;  // each name once, in the order first met
  std::size_t unchecked = 0;           // event files that could not be checked
};

/// The list of event files the program writes for a series.
inline constexpr std::string_view kListName = "event\\events_to_follow.txt";

/// The event file names held by the list `list_name` (one a line, blank padded, LF or CR LF),
/// named as the program names files. Throws CheckFailure when the list cannot be read, is not
/// text, or names a file outside the working directory.
std::vector<std::string> read_event_list(const std::filesystem::path& working_directory,
                                         std::string_view list_name);

/// Reads event files against the event file layout and looks up every file they name; it opens
/// nothing for writing.
class SeriesCheck {
 public:
  explicit SeriesCheck(std::filesystem::path working_directory);

  /// Adds the event file `name` to the report. Throws CheckFailure, leaving the report as it
  /// was, when the file is missing, is not an event file of this layout, or names a file
  /// outside the working directory.
  void add_event_file(std::string_view name);
  SeriesReport& report() { return report_; }

 private:
  bool is_file(std::string_view name) const;

  std::filesystem::path base_;
  SeriesReport report_;
};

}  // namespace quorlant::check
