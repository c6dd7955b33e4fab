#include "check/check_html.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <initializer_list>
#include <string_view>
#include <utility>
#include <vector>

#include "check/check_report.h"

namespace quorlant::check {

namespace {

// The page as plain text, each $ filled in turn with a value made fit for HTML. The colours stay
// apart for the common forms of colour blindness and differ in lightness; the letter in a cell
// tells the states apart on a printout in grey. The legend draws a cell of each state as the
// calendars do.
constexpr std::string_view kHead = R"(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>quorlant check: $</title>
<style>
body { font: 14px sans-serif; }
th { text-align: left; vertical-align: top; }
.verdict { white-space: pre-line; }
figure { display: inline-block; vertical-align: top; margin: 0 1.5em 1.5em 0; }
.gap { color: #fff; background: #000; padding: 0 .3em; }
.file { white-space: nowrap; }
svg text { font: 8px sans-serif; }
rect { width: 10px; height: 10px; }
.p { fill: #56B4E9; }
.e { fill: #F0E442; }
.m { fill: #D55E00; }
.n { fill: #fff; stroke: #000; }
.mark { text-anchor: middle; pointer-events: none; }
* { print-color-adjust: exact; -webkit-print-color-adjust: exact; }
figure { break-inside: avoid; }
@page { size: A4 landscape; margin: 1cm; }
</style>
</head>
<body>
<h1>quorlant check: $</h1>
<table>
<tr><th>Events</th><td>$, $, $</td></tr>
<tr><th>Verdict</th><td class="verdict">$(status $)</td></tr>
<tr><th>Needed</th><td>$</td></tr>
<tr><th>Made</th><td>$</td></tr>
</table>
<p>
<svg width="10" height="10"><rect class="p"></rect></svg> present &#160;
<svg width="10" height="10"><rect class="e"></rect><text class="mark" x="5" y="8">E</text></svg> empty &#160;
<svg width="10" height="10"><rect class="m"></rect><text class="mark" x="5" y="8">M</text></svg> missing &#160;
<svg width="10" height="10"><rect class="n"></rect><text class="mark" x="5" y="8">?</text></svg> could not look
</p>
)";
constexpr std::string_view kCalendarHead =
    "<figure><figcaption><b>$</b> $$$</figcaption>\n<svg width=\"$\" height=\"$\">\n";
constexpr std::string_view kCell = "<rect x=\"$\" y=\"$\" class=\"$\"><title>$: $</title></rect>\n";
constexpr std::string_view kMark = "<text class=\"mark\" x=\"$\" y=\"$\">$</text>\n";
constexpr std::string_view kLabel = "<text x=\"$\" y=\"$\">$</text>\n";
constexpr std::string_view kBasinFile =
    "<span class=\"file\"><svg width=\"10\" height=\"10\">$</svg> $</span> &#160;\n";
constexpr std::string_view kGapTag = R"( <span class="gap">gap</span>)";

// How a cell shows each presence, in the order of Presence: its class and its letter.
constexpr std::string_view kClasses[] = {"p", "e", "m", "n"};
constexpr std::string_view kMarks[] = {"", "E", "M", "?"};

// Cells of 10 pixels, 12 apart; the labels of the rows and columns take a margin.
constexpr int kPitch = 12;
constexpr int kLeft = 34;  // the year at the start of each row by month
constexpr int kTop = 12;   // the initials of the months, or the years, above the cells

// `form` with each $ in turn replaced by the next of `values`; it has a $ for each.
std::string filled(std::string_view form, std::initializer_list<std::string_view> values) {
  std::string text;
  for (const std::string_view value : values) {
    const std::size_t at = form.find('$');
    text.append(form.substr(0, at)).append(value);
    form.remove_prefix(at + 1);
  }
  return text.append(form);
}

// A name as the page shows it: control characters escaped as the text report shows them, the
// bytes read as UTF-8 as the JSON document reads them, and the characters of HTML's markup as
// entities. Keywords, patterns and event names need none of this.
std::string escaped(std::string_view name) {
  std::string result;
  for (const char c : as_utf8(printable(name))) {
    switch (c) {
      case '&': result += "&amp;"; break;
      case '<': result += "&lt;"; break;
      case '>': result += "&gt;"; break;
      case '"': result += "&quot;"; break;
      default: result += c;
    }
  }
  return result;
}

// An event name is eight digits, yyyymmdd. A month out of the calendar's range is put at its
// nearer end.
int month_of(std::string_view event) {
  return std::clamp(std::stoi(std::string(event.substr(4, 2))), 1, 12);
}

int months_of(std::string_view event) {
  return year_of(event) * 12 + month_of(event);
}

// Whether each event is a year or more from the one before: a yearly series.
bool yearly(const std::vector<std::string>& events) {
  for (std::size_t i = 1; i < events.size(); ++i) {
    if (std::abs(months_of(events[i]) - months_of(events[i - 1])) < 12) return false;
  }
  return events.size() > 1;
}

// Where the cells of every calendar go: a yearly series in one row, a column a year; any
// other a row a year, a column a month.
struct Grid {
  bool by_year = false;
  int first_year = 0;
  int years = 0;
  std::string labels;  // the years and months along the edges
};

Grid grid_of(const std::vector<std::string>& events) {
  Grid grid;
  grid.by_year = yearly(events);
  const auto [first, last] = years_of(events);
  grid.first_year = first;
  grid.years = last - first + 1;
  if (grid.by_year) {
    // Every fifth year from the first: a label is some three cells wide.
    for (int column = 0; column < grid.years; column += 5) {
      grid.labels += filled(kLabel, {std::to_string(kLeft + column * kPitch), "8",
                                     std::to_string(grid.first_year + column)});
    }
    return grid;
  }
  // Any other: the initials of the months above the cells, each row's year to its left.
  constexpr std::string_view kInitials = "JFMAMJJASOND";
  for (int month = 0; month < 12; ++month) {
    grid.labels +=
        filled(kMark, {std::to_string(kLeft + month * kPitch + 5), std::to_string(kTop - 3),
                       kInitials.substr(static_cast<std::size_t>(month), 1)});
  }
  for (int row = 0; row < grid.years; ++row) {
    grid.labels += filled(kLabel, {"0", std::to_string(kTop + row * kPitch + 8),
                                   std::to_string(grid.first_year + row)});
  }
  return grid;
}

// A cell, titled with a file's name and its state.
std::string cell(int x, int y, Presence presence, std::string_view name) {
  const auto which = static_cast<std::size_t>(presence);
  std::string text =
      filled(kCell, {std::to_string(x), std::to_string(y), kClasses[which], name, state(presence)});
  if (!kMarks[which].empty())
    text += filled(kMark, {std::to_string(x + 5), std::to_string(y + 8), kMarks[which]});
  return text;
}

void add_calendar(std::string& page, const SeriesReport& report, const Kind& kind,
                  const Grid& grid) {
  const int columns = grid.by_year ? grid.years : 12;
  const int rows = grid.by_year ? 1 : grid.years;
  page += filled(kCalendarHead,
                 {kind.line->keyword, pattern(kind), kind.needed ? " (needed)" : "",
                  is_gap(report, kind) ? kGapTag : "", std::to_string(kLeft + columns * kPitch),
                  std::to_string(kTop + rows * kPitch)});
  page += grid.labels;
  const std::vector<Presence> presence = presences(report, kind);
  for (std::size_t event = 0; event < presence.size(); ++event) {
    const int year = year_of(report.events[event]) - grid.first_year;
    const auto [column, row] =
        grid.by_year ? std::pair{year, 0} : std::pair{month_of(report.events[event]) - 1, year};
    page += cell(kLeft + column * kPitch, kTop + row * kPitch, presence[event],
                 escaped(kind.names[event]));
  }
  page += "</svg></figure>\n";
}

// The needed keywords, each gap marked.
std::string needed_line(const SeriesReport& report) {
  const std::vector<std::string> gap_names = gaps(report);
  std::string line;
  for (const std::string& keyword : report.needed) {
    line += (line.empty() ? "" : ", ") + keyword;
    if (std::find(gap_names.begin(), gap_names.end(), keyword) != gap_names.end()) line += kGapTag;
  }
  return line.empty() ? "none" : line;
}

// "2026-12-08 13:40 UTC"
std::string timestamp(std::chrono::system_clock::time_point made) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(made);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M UTC", std::gmtime(&seconds));
  return text;
}

}  // namespace

std::string html_page(const SeriesReport& report, int status,
                      std::chrono::system_clock::time_point made) {
  const Grid grid = grid_of(report.events);
  const std::string span = report.events.front() + " to " + report.events.back();
  std::string page =
      filled(kHead, {span, span, std::to_string(report.events.size()),
                     grid.by_year ? "yearly" : "monthly", span, verdict_lines(report),
                     std::to_string(status), needed_line(report), timestamp(made)});
  // The needed kinds first, each part in the order of the event file.
  for (const bool needed : {true, false}) {
    for (const Kind& kind : report.kinds) {
      if (kind.needed == needed && !unused(report, kind)) add_calendar(page, report, kind, grid);
    }
  }
  page += "<h2>Basin files</h2>\n<p>\n";
  for (const BasinFile& file : report.basin_files) {
    page += filled(kBasinFile, {cell(0, 0, file.presence, escaped(file.name)), file.keyword});
  }
  return page + "</p>\n</body>\n</html>\n";
}

}  // namespace quorlant::check
