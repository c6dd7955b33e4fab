#include "check/series_check.h"

#include <algorithm>
#include <fstream>
#include <system_error>
#include <utility>

#include "check/line_reader.h"
#include "recordio/units.h"

namespace quorlant::check {

namespace {

namespace fs = std::filesystem;
using eventfile::EventFileLine;
using eventfile::LineValue;

// No series is longer: monthly events from the year 0 to the year 9999.
constexpr std::size_t kMaxEvents = 120'000;

std::string_view trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// An absolute name, or one that climbs above where it starts, is not followed: the check
// looks at the working directory and below it only.
bool leads_outside(std::string_view name) {
  if (name.starts_with('\\') || name.starts_with('/')) return true;
  if (name.size() >= 2 && name[1] == ':') return true;  // a drive letter
  std::size_t start = 0;
  for (;;) {
    const auto end = name.find_first_of("\\/", start);
    if (name.substr(start, end - start) == "..") return true;
    if (end == std::string_view::npos) return false;
    start = end + 1;
  }
}

std::string in_quotes(std::string_view text) {
  return "\"" + std::string(text) + "\"";
}

std::string expectation(const EventFileLine& line) {
  if (line.keyword.empty()) return "an empty line";
  return in_quotes(line.keyword);
}

// A keyword line starts with its keyword and a blank (or ends there); any other line is its
// text, perhaps with trailing blanks.
bool matches(const EventFileLine& expected, std::string_view line) {
  if (!eventfile::has_keyword(expected)) return trimmed(line) == expected.keyword;
  return line.starts_with(expected.keyword) &&
         (line.size() == expected.keyword.size() || line[expected.keyword.size()] == ' ');
}

std::ifstream open_for_reading(const fs::path& path, std::string_view name) {
  std::error_code error;
  const auto status = fs::status(path, error);
  if (!fs::exists(status)) throw CheckFailure(std::string(name) + ": no such file");
  if (fs::is_directory(status)) throw CheckFailure(std::string(name) + ": a directory");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw CheckFailure(std::string(name) + ": cannot be opened for reading");
  return in;
}

}  // namespace

std::vector<std::string> read_event_list(const fs::path& working_directory,
                                         std::string_view list_name) {
  std::ifstream in =
      open_for_reading(recordio::native_path(working_directory, list_name), list_name);
  LineReader reader(in);
  std::vector<std::string> names;
  std::string line;
  for (;;) {
    const auto result = reader.next(line);
    if (result == LineReader::Result::kEnd) return names;
    const std::string at = std::string(list_name) + ", line " + std::to_string(reader.number());
    if (result != LineReader::Result::kLine) throw CheckFailure(at + ": " + refusal(result));
    const std::string_view name = trimmed(line);
    if (name.empty()) continue;
    if (leads_outside(name)) {
      throw CheckFailure(at + ": " + in_quotes(name) +
                         " lies outside the working directory; not followed");
    }
    if (names.size() == kMaxEvents) {
      throw CheckFailure(at + ": more than " + std::to_string(kMaxEvents) + " event files");
    }
    names.emplace_back(name);
  }
}

SeriesCheck::SeriesCheck(fs::path working_directory) : base_(std::move(working_directory)) {
  for (const EventFileLine& line : eventfile::event_file_layout()) {
    if (line.value == LineValue::kEventName) report_.kinds.push_back({&line, {}});
  }
}

bool SeriesCheck::is_file(std::string_view name) const {
  if (name.empty()) return false;
  std::error_code error;  // a name that cannot be looked up is a file that is not there
  return fs::is_regular_file(recordio::native_path(base_, name), error);
}

void SeriesCheck::add_event_file(std::string_view name) {
  std::ifstream in = open_for_reading(recordio::native_path(base_, name), name);
  LineReader reader(in);
  std::string line;
  std::string event_name;               // the :year, :month and :day values side by side
  std::vector<std::string> references;  // one per kind, in the order of `kinds`
  std::vector<BasinFile> basin_files;
  const auto at = [&](std::size_t number) {
    return std::string(name) + ", line " + std::to_string(number) + ": ";
  };
  for (const EventFileLine& expected : eventfile::event_file_layout()) {
    const auto result = reader.next(line);
    if (result == LineReader::Result::kEnd) {
      throw CheckFailure(at(reader.number() + 1) + "expected " + expectation(expected) +
                         ", found the end of the file");
    }
    if (result != LineReader::Result::kLine) {
      throw CheckFailure(at(reader.number()) + refusal(result));
    }
    if (!matches(expected, line)) {
      throw CheckFailure(at(reader.number()) + "expected " + expectation(expected));
    }
    // The value is whatever follows the keyword, without the blanks around it.
    const std::string_view value =
        eventfile::has_keyword(expected)
            ? trimmed(std::string_view(line).substr(expected.keyword.size()))
            : std::string_view();
    if (expected.value == LineValue::kEventName || expected.value == LineValue::kBasinFile) {
      if (leads_outside(value)) {
        throw CheckFailure(at(reader.number()) + in_quotes(value) +
                           " lies outside the working directory; not followed");
      }
    }
    switch (expected.value) {
      case LineValue::kYear:
      case LineValue::kMonth:
      case LineValue::kDay: event_name += value; break;
      case LineValue::kEventName: references.emplace_back(value); break;
      case LineValue::kBasinFile:
        basin_files.push_back({expected.keyword, std::string(value)});
        break;
      default: break;
    }
  }
  // A few empty lines after the end line, as some editors leave them, do no harm.
  auto after = reader.next(line);
  for (int more = 0; after == LineReader::Result::kLine && trimmed(line).empty() && more < 16;
       ++more) {
    after = reader.next(line);
  }
  if (after != LineReader::Result::kEnd) {
    throw CheckFailure(at(reader.number()) + "expected the end of the file after \"eof\"");
  }
  // The event name is the start date as eight digits, yyyymmdd.
  if (event_name.size() != 8 || !std::all_of(event_name.begin(), event_name.end(),
                                             [](char c) { return c >= '0' && c <= '9'; })) {
    throw CheckFailure(std::string(name) + ": the :year, :month and :day lines give " +
                       in_quotes(event_name) + ", not an event name of eight digits");
  }

  const std::size_t event = report_.events.size();
  report_.events.push_back(std::move(event_name));
  for (std::size_t k = 0; k < references.size(); ++k) {
    if (!is_file(references[k])) report_.kinds[k].missing.push_back(event);
  }
  for (BasinFile& file : basin_files) {
    const bool known = std::any_of(report_.basin_files.begin(), report_.basin_files.end(),
                                   [&](const BasinFile& seen) {
                                     return seen.keyword == file.keyword && seen.name == file.name;
                                   });
    if (known) continue;
    file.present = is_file(file.name);
    report_.basin_files.push_back(std::move(file));
  }
}

}  // namespace quorlant::check
