#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "recordio/fixed_text.h"
#include "shared/run_data.h"

namespace quorlant::eventfile {

/// What fills the one data field of an event file line, if it has one.
enum class LineValue {
  kNone,   // the line is all literal text
  kYear,   // the start year text, 4 characters
  kMonth,  // the start texts, 2 characters each
  kDay,
  kHour,
  kOption,        // an option answer, one character as typed
  kRate,          // the disaggregation rate, F5.2
  kLength,        // the event length in hours, I5
  kDeltatReport,  // the reporting time step, I5
  kBasinFile,     // the first 30 characters of a file-name table entry
  kEventName,     // the event name inside a data-file reference
};

/// One line of the event file: its text, where the value comes from, and what a reader of the
/// file expects to find on it.
struct EventFileLine {
  // The whole line, or all of it before the value: the keyword blank-padded to 30 columns, and
  // for kEventName the directory. The ending follows the value.
  std::string text;
  LineValue value = LineValue::kNone;
  recordio::FixedText<1> shared::RunData::*option = nullptr;  // for kOption
  int fln_entry = 0;                                          // for kBasinFile
  // The keyword the line starts with (":pointprecip"); a line without one (a separator, a
  // heading, the empty line, "eof") has its whole text here. Only keywords start with a colon.
  std::string_view keyword = {};
  // For kEventName, the data file the line names: directory, the event name, ending.
  std::string_view directory = {};  // "raing\"
  std::string_view ending = {};     // "_rag.tb0"
};

/// The version of the event file format written, on its ":fileversionno" line.
inline constexpr std::string_view kFileVersion = "9.9";

/// Whether `line` starts with a keyword, whose value follows it.
inline bool has_keyword(const EventFileLine& line) {
  return line.keyword.starts_with(':');
}

/// The event file, line by line: always 108 lines, in this order, whatever the answers.
const std::vector<EventFileLine>& event_file_layout();

}  // namespace quorlant::eventfile
