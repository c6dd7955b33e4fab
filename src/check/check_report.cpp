#include "check/check_report.h"

#include <algorithm>
#include <bit>
#include <nlohmann/json.hpp>
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
  return std::string(text) + std::string(width - std::min(width, text.size()), ' ');
}

std::string right_aligned(const std::string& text, std::size_t width) {
  return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
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

// What the report calls each presence, in the order of Presence.
constexpr std::string_view kStates[] = {"present", "empty", "missing", "could not look"};

// The year labels and their ticks: the first and the last year and every tenth year, where a
// label fits.
void write_years(int first, int last, std::ostream& out) {
  std::string labels;
  std::string ticks;
  int next_free = 0;
  for (int year = first; year <= last; ++year) {
    const int column = year - first;
    if ((year != first && year != last && year % 10 != 0) || column < next_free) continue;
    labels.resize(static_cast<std::size_t>(column), ' ');
    labels += std::to_string(year);
    ticks.resize(static_cast<std::size_t>(column), ' ');
    ticks += '|';
    next_free = column + kLabelWidth;
  }
  out << padded("year", kKeywordWidth) << labels << '\n';
  out << padded("", kKeywordWidth) << ticks << '\n';
}

// One character a year of `kind` from the first year of the series to the last: every event of
// the year has the file, some do, none do, or the year has no event.
std::string chart_row(const SeriesReport& report, const Kind& kind, int first, int last) {
  std::string row(static_cast<std::size_t>(last - first + 1), ' ');
  const std::vector<Presence> presence = presences(report, kind);
  for (std::size_t event = 0; event < presence.size(); ++event) {
    char& year = row[static_cast<std::size_t>(year_of(report.events[event]) - first)];
    const char mark = presence[event] == Presence::kPresent ? '#' : '.';
    year = year == ' ' || year == mark ? mark : '+';
  }
  return row;
}

void write_chart(const SeriesReport& report, std::ostream& out) {
  const auto [first, last] = years_of(report.events);
  write_years(first, last, out);
  for (const Kind& kind : report.kinds) {
    if (unused(report, kind)) continue;
    out << padded(kind.line->keyword, kKeywordWidth) << chart_row(report, kind, first, last)
        << '\n';
  }
  out << "# every event of the year has the file, + some do, . none, blank: no event\n\n";
}

std::size_t present(const SeriesReport& report, const Kind& kind) {
  return report.events.size() - kind.absent.size();
}

// How many bytes of a valid UTF-8 character start at `at`; 0 when none does. A character is
// valid in its shortest form only, and neither a surrogate nor past U+10FFFF.
std::size_t utf8_length(std::string_view text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  if (lead < 0x80) return 1;
  // The ones that lead the first byte count the bytes; a byte below 0xC2 only follows or would
  // start an overlong form, one above 0xF4 a character past U+10FFFF.
  const auto length = static_cast<std::size_t>(std::countl_one(lead));
  if (lead < 0xC2 || lead > 0xF4 || at + length > text.size()) return 0;
  unsigned code = lead & (0x7Fu >> length);
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[at + i]);
    if ((next & 0xC0u) != 0x80) return 0;
    code = code << 6 | (next & 0x3Fu);
  }
  constexpr unsigned kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};  // by length
  const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
  return code >= kSmallest[length] && code <= 0x10FFFF && !surrogate ? length : 0;
}

nlohmann::ordered_json json_kind(const SeriesReport& report, const Kind& kind) {
  std::vector<std::string> events[3];  // missing, empty, not looked at
  std::vector<std::string> paths[2];   // missing, empty
  for (const Absence& absence : kind.absent) {
    const std::size_t which = absence.presence == Presence::kMissing ? 0
                              : absence.presence == Presence::kEmpty ? 1
                                                                     : 2;
    events[which].push_back(report.events[absence.event]);
    if (absence.presence != Presence::kNotLooked) paths[which].push_back(as_utf8(absence.name));
  }
  return {
      {"keyword", kind.line->keyword},    {"pattern", pattern(kind)},  {"needed", kind.needed},
      {"present", present(report, kind)}, {"missing", events[0]},      {"empty", events[1]},
      {"not_looked", events[2]},          {"missing_paths", paths[0]}, {"empty_paths", paths[1]}};
}

// The verdicts as the JSON document names them, in the order of Verdict.
constexpr std::string_view kVerdictNames[] = {"incomplete", "nothing found", "gaps", "no gaps"};

// The events lacking a file, runs of consecutive events folded, an empty file or one not
// looked at marked: "20151101-20160201, 20171201 (empty)".
std::string folded(const SeriesReport& report, const Kind& kind) {
  std::vector<std::string> ranges;
  const auto& absent = kind.absent;
  for (std::size_t i = 0; i < absent.size();) {
    // A run is of consecutive events whose files are absent the same way.
    std::size_t end = i;
    while (end + 1 < absent.size() && absent[end + 1].event == absent[end].event + 1 &&
           absent[end + 1].presence == absent[i].presence) {
      ++end;
    }
    std::string range = report.events[absent[i].event];
    if (end > i) range += "-" + report.events[absent[end].event];
    if (absent[i].presence != Presence::kMissing)
      range += " (" + std::string(state(absent[i].presence)) + ")";
    ranges.push_back(range);
    i = end + 1;
  }
  return joined(ranges, ", ");
}

void write_kinds(const SeriesReport& report, std::ostream& out) {
  const std::size_t total = report.events.size();
  const std::size_t count_width = std::max<std::size_t>(7, 2 * std::to_string(total).size() + 1);
  out << padded("keyword", kKeywordWidth) << padded("pattern", kPatternWidth)
      << right_aligned("present", count_width) << "  missing\n";
  for (const Kind& kind : report.kinds) {
    if (unused(report, kind)) continue;
    const std::string count = std::to_string(present(report, kind)) + "/" + std::to_string(total);
    const std::string missing = folded(report, kind);
    out << padded(kind.line->keyword, kKeywordWidth) << padded(pattern(kind), kPatternWidth)
        << right_aligned(count, count_width) << (missing.empty() ? "" : "  " + missing) << '\n';
  }
  out << '\n';
}

void write_basin_files(const SeriesReport& report, std::ostream& out) {
  out << "Basin files:\n";
  std::size_t name_width = 0;
  for (const auto& file : report.basin_files)
    name_width = std::max(name_width, printable(file.name).size());
  for (const auto& file : report.basin_files) {
    out << padded(file.keyword, kKeywordWidth) << padded(printable(file.name), name_width + 2)
        << state(file.presence) << '\n';
  }
  out << '\n';
}

std::string incomplete(const SeriesReport& report) {
  const std::size_t unchecked = report.unchecked.size();
  const std::size_t files = report.not_looked.size();
  std::vector<std::string> parts;
  if (unchecked > 0) {
    parts.push_back(std::to_string(unchecked) + " of " +
                    std::to_string(report.events.size() + unchecked) +
                    " event files could not be checked");
  }
  if (files > 0)
    parts.push_back(std::to_string(files) + (files == 1 ? " file" : " files") +
                    " could not be looked at");
  return "Incomplete: " + joined(parts, "; ") + " (see the messages on standard error).";
}

// The closing lines: what is left over, unused and needed, then the verdict.
void write_verdict(const SeriesReport& report, std::ostream& out) {
  if (!report.leftovers.empty()) {
    out << "Left by a run that was killed: " << printable(joined(report.leftovers, ", ")) << '\n';
  }
  const auto unused_kinds = keywords(report, unused);
  if (!unused_kinds.empty())
    out << "No file present for any event: " << joined(unused_kinds, ", ") << '\n';
  if (!report.needed.empty()) out << "Needed: " << joined(report.needed, ", ") << '\n';
  out << verdict_lines(report);
}

}  // namespace

int year_of(std::string_view event_name) {
  return std::stoi(std::string(event_name.substr(0, 4)));
}

std::pair<int, int> years_of(const std::vector<std::string>& events) {
  // Event names sort as their dates do.
  const auto [first, last] = std::minmax_element(events.begin(), events.end());
  return {year_of(*first), year_of(*last)};
}

std::string pattern(const Kind& kind) {
  return std::string(kind.line->directory) + "*" + std::string(kind.line->ending);
}

std::string_view state(Presence presence) {
  return kStates[static_cast<std::size_t>(presence)];
}

std::vector<Presence> presences(const SeriesReport& report, const Kind& kind) {
  std::vector<Presence> result(report.events.size(), Presence::kPresent);
  for (const Absence& absence : kind.absent) result[absence.event] = absence.presence;
  return result;
}

bool is_gap(const SeriesReport& report, const Kind& kind) {
  return !unused(report, kind) &&
         std::any_of(kind.absent.begin(), kind.absent.end(),
                     [](const Absence& a) { return a.presence != Presence::kNotLooked; });
}

bool unused(const SeriesReport& report, const Kind& kind) {
  const auto missing = std::count_if(kind.absent.begin(), kind.absent.end(), [](const Absence& a) {
    return a.presence == Presence::kMissing;
  });
  return static_cast<std::size_t>(missing) == report.events.size() && !kind.needed;
}

std::vector<std::string> gaps(const SeriesReport& report) {
  std::vector<std::string> names = keywords(report, is_gap);
  for (const auto& file : report.basin_files) {
    const bool lacking = file.presence == Presence::kMissing || file.presence == Presence::kEmpty;
    if (file.needed && lacking) names.emplace_back(file.keyword);
  }
  return names;
}

std::string verdict_lines(const SeriesReport& report) {
  const auto gap_names = gaps(report);
  std::string lines = gap_names.empty() ? "No gaps.\n" : "Gaps: " + joined(gap_names, ", ") + "\n";
  const Verdict result = verdict(report);
  if (result == Verdict::kNothingFound) {
    lines += "none of the " + std::to_string(report.references) +
             " data files these events name exist: is this the model's working directory?\n";
  }
  if (result == Verdict::kIncomplete) lines += incomplete(report) + '\n';
  return lines;
}

Verdict verdict(const SeriesReport& report) {
  if (!report.unchecked.empty() || !report.not_looked.empty()) return Verdict::kIncomplete;
  if (report.found == 0) return Verdict::kNothingFound;
  return gaps(report).empty() ? Verdict::kNoGaps : Verdict::kGaps;
}

void write_text(const SeriesReport& report, bool chart, std::ostream& out) {
  out << "Event files checked: " << report.events.size() << " (" << report.events.front() << " to "
      << report.events.back() << ")\n\n";
  write_kinds(report, out);
  // A chart of files none of which exists would be only its frame: the verdict says why.
  if (chart && report.found > 0) write_chart(report, out);
  if (chart && report.found == 0)
    out << "No chart: not one of the data files these events name exists.\n\n";
  write_basin_files(report, out);
  write_verdict(report, out);
}

void write_json(const SeriesReport& report, std::ostream& out) {
  nlohmann::ordered_json kinds = nlohmann::ordered_json::array();
  for (const Kind& kind : report.kinds) {
    if (!unused(report, kind)) kinds.push_back(json_kind(report, kind));
  }
  nlohmann::ordered_json basin_files = nlohmann::ordered_json::array();
  for (const auto& file : report.basin_files) {
    basin_files.push_back({{"keyword", file.keyword},
                           {"name", as_utf8(file.name)},
                           {"present", file.presence == Presence::kPresent},
                           {"state", state(file.presence)},
                           {"needed", file.needed}});
  }
  nlohmann::ordered_json not_looked = nlohmann::ordered_json::array();
  for (const auto& file : report.not_looked) {
    not_looked.push_back({{"name", as_utf8(file.name)}, {"reason", as_utf8(file.reason)}});
  }
  std::vector<std::string> leftovers(report.leftovers.size());
  std::transform(report.leftovers.begin(), report.leftovers.end(), leftovers.begin(), as_utf8);
  const nlohmann::ordered_json document = {
      {"events", report.events.size()},
      {"unchecked", report.unchecked.size()},
      {"not_looked", not_looked},
      {"data_files", report.references},
      {"data_files_found", report.found},
      {"kinds", kinds},
      {"basin_files", basin_files},
      {"leftovers", leftovers},
      {"needed", report.needed},
      {"unused", keywords(report, unused)},
      {"gaps", gaps(report)},
      {"verdict", kVerdictNames[static_cast<std::size_t>(verdict(report))]}};
  out << document.dump(2) << '\n';
}

void write_json_failure(std::string_view failure, std::ostream& out) {
  out << nlohmann::ordered_json{{"error", as_utf8(failure)}, {"verdict", "cannot check"}}.dump(2)
      << '\n';
}

std::string as_utf8(std::string_view text) {
  std::string result;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = utf8_length(text, at);
    if (length > 0) {
      result.append(text.substr(at, length));
      at += length;
      continue;
    }
    const auto byte = static_cast<unsigned char>(text[at++]);  // 0x80 to 0xFF: two bytes
    result += static_cast<char>(0xC0 | (byte >> 6));
    result += static_cast<char>(0x80 | (byte & 0x3F));
  }
  return result;
}

}  // namespace quorlant::check
