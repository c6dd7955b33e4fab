#pragma once

#include <chrono>
#include <string>

#include "check/series_check.h"

namespace quorlant::check {

/// The report as one HTML page that needs nothing else: a summary (the series, the text
/// report's verdict with `status`, the needed kinds, the time `made`), a calendar for each kind
/// in the table with one cell an event, and a row of cells for the basin files. Every name is
/// escaped; the page has no script and loads nothing.
std::string html_page(const SeriesReport& report, int status,
                      std::chrono::system_clock::time_point made);

}  // namespace quorlant::check
