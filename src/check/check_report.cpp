#include "check/check_report.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <string_view>
#include <vector>

namespace quorlant::check {

namespace {

// The longest keyword has 24 characters; the longest pattern, raing\*_rag.tb0, 15.
constexpr std::size_t kKeywordWidth = 26;
constexpr std::size_t kPatternWidth = 17;
// A year label needs its four digits and a blank before the next one.
constexpr int kLabelWidth = 5;

std::string padded(std::string_view text, std::size_t width) {
  std::string result(text);
  if (result.size() < width) result.resize(width, ' ');
  return result;
}

std::string right_aligned(const std::string& text, std::size_t width) {
  return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

// No line of the report ends in a blank.
void put_line(std::ostream& out, std::string line) {
  line.erase(line.find_last_not_of(' ') + 1);
  out << line << '\n';
}

std::string pattern(const Kind& kind) {
  return std::string(kind.line->directory) + "*" + std::string(kind.line->ending);
}

int year_of(const std::string& event_name) {
  return std::stoi(event_name.substr(0, 4));
}

std::string joined(const std::vector<std::string>& items, std::string_view separator) {
  std::string text;
  for (const auto& item : items) text += (text.empty() ? "" : std::string(separator)) + item;
  return text;
}

std::vector<std::string> keywords(const SeriesReport& report,
                                  bool (*wanted)(const SeriesReport&, const Kind&)) {
  std::vector<std::string> names;
  for (const Kind& kind : report.kinds) {
    if (wanted(report, kind)) names.emplace_back(kind.line->keyword);
  }
  return names;
}

bool unused(const SeriesReport& report, const Kind& kind) {
  return !in_use(report, kind);
}

// One character a year from the first year of the series to the last: every event of the year
// has the file, some do, none do, or the year has no event.
void write_chart(const SeriesReport& report, std::ostream& out) {
  std::map<int, int> events_per_year;
  for (const auto& event : report.events) ++events_per_year[year_of(event)];
  const int first = events_per_year.begin()->first;
  const int last = events_per_year.rbegin()->first;
  const auto columns = static_cast<std::size_t>(last - first + 1);
  // The first and the last year and every tenth year are marked, where a label fits.
  std::string labels;
  std::string ticks;
  int next_free = 0;
  for (int year = first; year <= last; ++year) {
    const int column = year - first;
    if ((year == first || year == last || year % 10 == 0) && column >= next_free) {
      labels.resize(static_cast<std::size_t>(column), ' ');
      labels += std::to_string(year);
      ticks.resize(static_cast<std::size_t>(column), ' ');
      ticks += '|';
      next_free = column + kLabelWidth;
    }
  }
  put_line(out, padded("year", kKeywordWidth) + labels);
  put_line(out, padded("", kKeywordWidth) + ticks);
  for (const Kind& kind : report.kinds) {
    if (!in_use(report, kind)) continue;
    std::map<int, int> missing_per_year;
    for (std::size_t event : kind.missing) ++missing_per_year[year_of(report.events[event])];
    std::string row(columns, ' ');
    for (const auto& [year, events] : events_per_year) {
      const int missing = missing_per_year[year];
      row[static_cast<std::size_t>(year - first)] = missing == 0       ? '#'
                                                    : missing < events ? '+'
                                                                       : '.';
    }
    put_line(out, padded(kind.line->keyword, kKeywordWidth) + row);
  }
  put_line(out, "# every event of the year has the file, + some do, . none, blank: no event");
}

std::string json_string(std::string_view text) {
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
      quoted += escaped;
    } else {
      quoted += c;  // names are UTF-8 text; bytes from 0x80 on pass as they are
    }
  }
  return quoted + "\"";
}

std::string json_list(const std::vector<std::string>& items) {
  std::vector<std::string> quoted;
  for (const auto& item : items) quoted.push_back(json_string(item));
  return "[" + joined(quoted, ", ") + "]";
}

}  // namespace

bool in_use(const SeriesReport& report, const Kind& kind) {
  return kind.missing.size() < report.events.size();
}

bool is_gap(const SeriesReport& report, const Kind& kind) {
  return in_use(report, kind) && !kind.missing.empty();
}

std::string folded(const SeriesReport& report, const Kind& kind) {
  std::vector<std::string> ranges;
  const auto& missing = kind.missing;
  for (std::size_t i = 0; i < missing.size();) {
    std::size_t end = i;
    while (end + 1 < missing.size() && missing[end + 1] == missing[end] + 1) ++end;
    std::string range = report.events[missing[i]];
    if (end > i) range += "-" + report.events[missing[end]];
    ranges.push_back(range);
    i = end + 1;
  }
  return joined(ranges, ", ");
}

void write_text(const SeriesReport& report, bool chart, std::ostream& out) {
  const std::size_t total = report.events.size();
  out << "Event files checked: " << total << " (" << report.events.front() << " to "
      << report.events.back() << ")\n\n";
  const std::size_t count_width = std::max<std::size_t>(7, 2 * std::to_string(total).size() + 1);
  put_line(out, padded("keyword", kKeywordWidth) + padded("pattern", kPatternWidth) +
                    right_aligned("present", count_width) + "  missing");
  for (const Kind& kind : report.kinds) {
    if (!in_use(report, kind)) continue;
    const std::string present =
        std::to_string(total - kind.missing.size()) + "/" + std::to_string(total);
    put_line(out, padded(kind.line->keyword, kKeywordWidth) + padded(pattern(kind), kPatternWidth) +
                      right_aligned(present, count_width) + "  " + folded(report, kind));
  }
  out << '\n';
  if (chart) {
    write_chart(report, out);
    out << '\n';
  }
  out << "Basin files:\n";
  std::size_t name_width = 0;
  for (const auto& file : report.basin_files) name_width = std::max(name_width, file.name.size());
  for (const auto& file : report.basin_files) {
    put_line(out, padded(file.keyword, kKeywordWidth) + padded(file.name, name_width + 2) +
                      (file.present ? "present" : "missing"));
  }
  out << '\n';
  const auto unused_kinds = keywords(report, unused);
  if (!unused_kinds.empty())
    out << "Unused (no event has the file): " << joined(unused_kinds, ", ") << '\n';
  const auto gaps = keywords(report, is_gap);
  out << (gaps.empty() ? "No gaps.\n" : "Gaps: " + joined(gaps, ", ") + "\n");
  if (report.unchecked > 0) {
    out << "Incomplete: " << report.unchecked << " of " << total + report.unchecked
        << " event files could not be checked (see the messages on standard error).\n";
  }
}

void write_json(const SeriesReport& report, std::ostream& out) {
  out << "{\n  \"events\": " << report.events.size() << ",\n  \"unchecked\": " << report.unchecked
      << ",\n  \"kinds\": [";
  const char* separator = "\n";
  for (const Kind& kind : report.kinds) {
    if (!in_use(report, kind)) continue;
    std::vector<std::string> missing;
    for (std::size_t event : kind.missing) missing.push_back(report.events[event]);
    out << separator << "    {\"keyword\": " << json_string(kind.line->keyword)
        << ", \"pattern\": " << json_string(pattern(kind))
        << ", \"present\": " << report.events.size() - kind.missing.size()
        << ", \"missing\": " << json_list(missing) << "}";
    separator = ",\n";
  }
  out << "\n  ],\n  \"basin_files\": [";
  separator = "\n";
  for (const auto& file : report.basin_files) {
    out << separator << "    {\"keyword\": " << json_string(file.keyword)
        << ", \"name\": " << json_string(file.name)
        << ", \"present\": " << (file.present ? "true" : "false") << "}";
    separator = ",\n";
  }
  out << "\n  ],\n  \"unused\": " << json_list(keywords(report, unused))
      << ",\n  \"gaps\": " << json_list(keywords(report, is_gap)) << "\n}\n";
}

}  // namespace quorlant::check
