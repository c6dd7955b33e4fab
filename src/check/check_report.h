#pragma once

#include <ostream>
#include <string>
#include <utility>
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
/// The lines the text report ends with: the gaps, and why the check found nothing or is
/// incomplete.
std::string verdict_lines(const SeriesReport& report);

/// The year of an event, from its name (yyyymmdd).
int year_of(std::string_view event_name);
/// The first and the last year of a series of events.
std::pair<int, int> years_of(const std::vector<std::string>& events);
/// The names of `kind`, its directory and ending around a "*": "raing\*_rag.tb0".
std::string pattern(const Kind& kind);
/// What the report calls a presence: "present", "empty", "missing" or "could not look".
std::string_view state(Presence presence);
/// The presence of the file of `kind` for each event, in the order of the events.
std::vector<Presence> presences(const SeriesReport& report, const Kind& kind);
/// Whether `kind` is a gap: some event has its file or it is needed, and an event lacks it.
bool is_gap(const SeriesReport& report, const Kind& kind);
/// Whether no event has a file of `kind` and it is not needed: it has no row in the reports.
bool unused(const SeriesReport& report, const Kind& kind);
/// The keywords of the gaps: the kinds, then the needed basin files missing or empty.
std::vector<std::string> gaps(const SeriesReport& report);

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
