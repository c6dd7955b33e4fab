#pragma once

#include <vector>

#include "recordio/record_format.h"
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

/// One line of the event file: its format, and where the value comes from.
struct EventFileLine {
  recordio::Format format;
  LineValue value = LineValue::kNone;
  recordio::FixedText<1> shared::RunData::*option = nullptr;  // for kOption
  int fln_entry = 0;                                          // for kBasinFile
};

/// The event file, line by line: always 108 lines, in this order, whatever the answers.
const std::vector<EventFileLine>& event_file_layout();

}  // namespace quorlant::eventfile
