#pragma once

#include <ostream>
#include <string>

#include "check/series_check.h"

namespace quorlant::check {

/// Whether some event of the report has the file of `kind`.
bool in_use(const SeriesReport& report, const Kind& kind);
/// Whether `kind` is a gap: some events have its file and some do not.
bool is_gap(const SeriesReport& report, const Kind& kind);

/// The events lacking a file, runs of consecutive events folded: "20151101-20160201, 20171201".
std::string folded(const SeriesReport& report, const Kind& kind);

/// The report for a reader: the kinds in use with their missing events, the chart by year when
/// `chart` is set, the basin files, the unused kinds and the gaps.
void write_text(const SeriesReport& report, bool chart, std::ostream& out);
/// The same report as one JSON document.
void write_json(const SeriesReport& report, std::ostream& out);

}  // namespace quorlant::check
