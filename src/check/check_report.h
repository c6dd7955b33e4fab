#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "check/series_check.h"
#include "recordio/record_format.h"

namespace quorlant::check {

/// What the check concludes, the worst first.
enum class Verdict {
  kIncomplete,    // an event file could not be checked, or a file could not be looked at
  kNothingFound,  // not one of the data files the events name exists
  kGaps,
  kNoGaps,
};
Verdict verdict(const SeriesReport& report);

/// The report for a reader: the kinds in use with their missing events, the chart by year when
/// `chart` is set, the basin files, the leftovers, the unused and needed kinds, the gaps.
void write_text(const SeriesReport& report, bool chart, std::ostream& out);
/// The same report as one JSON document, valid whatever bytes the names hold.
void write_json(const SeriesReport& report, std::ostream& out);

/// The one JSON document of a check that could not be made: its `error` and its verdict.
void write_json_failure(std::string_view failure, std::ostream& out);

using recordio::printable;

/// A text as UTF-8: a byte that is no part of a UTF-8 character stands for the Latin-1
/// character of the same value (0xF4 becomes "ô").
std::string as_utf8(std::string_view text);

}  // namespace quorlant::check
