#pragma once

#include <cstddef>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "check/tree_look_up.h"
#include "eventfile/event_file_layout.h"
#include "recordio/failure.h"

namespace quorlant::check {

// A list or an event file that cannot be checked is a recordio::Failure whose `what()` is the
// one line that says which file, where and why (event\19810101.evt, line 60: expected
// ":pointprecip").
using recordio::Failure;

/// A data file of one event that is not there as it should be: missing, empty, or not looked at.
struct Absence {
  std::size_t event = 0;  // an index into `events`
  std::string name;       // as the event file names it
  Presence presence = Presence::kMissing;
};

/// One kind of data file: one data-file reference line of the event file layout.
struct Kind {
  const eventfile::EventFileLine* line = nullptr;  // its keyword, directory and ending
  std::vector<Absence> absent;                     // in the order of the events
  bool needed = false;                             // a gap when any event lacks the file
  std::vector<std::string> names;                  // each event's file, in the order of the events
};

/// A basin file the event files name, and whether it is there.
struct BasinFile {
  std::string_view keyword;
  std::string name;
  Presence presence = Presence::kMissing;
  bool needed = false;
  std::string reason;  // why it could not be looked at
};

/// A file that could not be looked at: "raing\19810101_rag.tb0", and why.
struct NotLooked {
  std::string_view keyword;  // the kind it is of; empty for the event directory
  std::string name;
  std::string reason;
};

/// What the event files of a series name, and which of those files are there.
struct SeriesReport {
  std::vector<std::string> events;     // the event names, in the order the files were checked
  std::vector<Kind> kinds;             // every data-file reference line, in the file's order
  std::vector<BasinFile> basin_files;  // each name once, in the order first met
  std::vector<std::string> needed;     // the keywords needed, in the file's order
  std::vector<NotLooked> not_looked;   // in the order met
  std::vector<std::string> leftovers;  // temporary files a killed run left, sorted
  std::vector<std::string> unchecked;  // why each event file that could not be checked was not
  std::size_t references = 0;          // data-file names looked up
  std::size_t found = 0;               // of those, the files that exist, empty or not
};

/// The keywords a set-up needs when the user names none: no run starts without them.
inline constexpr std::string_view kDefaultNeed[] = {":basinfilename", ":parfilename"};

/// The event file names held by the list `list_name`, which the look-up found as `list` (one
/// a line, blank padded, LF or CR LF), named as the program names files. Throws Failure when
/// the list could not be looked at or read, is not a plain file or not text, or names more
/// event files than a series has.
std::vector<std::string> read_event_list(platform::FileSystem& files, const Found& list,
                                         std::string_view list_name);

/// Reads event files against the event file layout and looks up every file they name; it opens
/// nothing for writing, and nothing but plain files for reading.
class SeriesCheck {
 public:
  SeriesCheck(std::filesystem::path working_directory, platform::FileSystem& files);

  /// Makes the kinds and basin files of `keywords` (":pointprecip") needed; the keywords must be
  /// those of data-file or basin-file lines.
  void need(const std::vector<std::string>& keywords);
  /// Adds the event file `name` to the report: one the list names, held to the working
  /// directory, or with `anywhere` one the user named, read wherever it is. Throws
  /// Failure, leaving the report as it was, when the file cannot be looked at, is missing
  /// or not a plain file, is not an event file of this layout, or names a file outside the
  /// working directory.
  void add_event_file(std::string_view name, bool anywhere = false);
  /// Lists the temporary files a killed run left in the event directory.
  void look_for_leftovers();

  const TreeLookUp& tree() const { return tree_; }
  SeriesReport& report() { return report_; }

 private:
  TreeLookUp tree_;
  SeriesReport report_;
};

}  // namespace quorlant::check
