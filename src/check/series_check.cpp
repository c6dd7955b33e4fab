#include "check/series_check.h"

#include <algorithm>
#include <cstdint>
#include <streambuf>
#include <utility>

#include "check/line_reader.h"
#include "platform/platform.h"
#include "eventfile/event_names.h"
#include "recordio/series_writer.h"

namespace quorlant::check {

namespace {

namespace fs = std::filesystem;
using eventfile::EventFileLine;
using eventfile::LineValue;
using platform::FileKind;

// No series is longer: monthly events from the year 0 to the year 9999.
constexpr std::size_t kMaxEvents = 120'000;

std::string_view trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string in_quotes(std::string_view text) {
  return "\"" + std::string(text) + "\"";
}

std::string expectation(const EventFileLine& line) {
  if (line.keyword.empty()) return "an empty line";
  return in_quotes(line.keyword);
}

std::string at(std::string_view name, std::size_t line) {
  return std::string(name) + ", line " + std::to_string(line) + ": ";
}

// A keyword line starts with its keyword and a blank (or ends there); any other line is its
// text, perhaps with trailing blanks.
bool matches(const EventFileLine& expected, std::string_view line) {
  if (!eventfile::has_keyword(expected)) return trimmed(line) == expected.keyword;
  return line.starts_with(expected.keyword) &&
         (line.size() == expected.keyword.size() || line[expected.keyword.size()] == ' ');
}

// Why a file of this kind is not read.
[[noreturn]] void refuse(FileKind kind, const std::string& file) {
  switch (kind) {
    case FileKind::kDirectory: throw Failure(file + ": a directory; not read");
    case FileKind::kMissing: throw Failure(file + ": no such file");
    default: throw Failure(file + ": not a plain file (a pipe, a device or a socket); not read");
  }
}

// A regular file of the tree, read through its buffer. It is looked at before it is opened, and
// what was opened is asked again on the open file without waiting on it: a pipe or a device
// swapped in after the look-up is refused, never waited on.
class PlainFile : public std::streambuf {
 public:
  PlainFile(platform::FileSystem& files, const Found& found, std::string_view name)
      : files_(files), name_(name) {
    if (found.presence == Presence::kNotLooked) {
      throw Failure(name_ + ": could not be looked at: " + found.reason);
    }
    if (found.kind != FileKind::kRegular) refuse(found.kind, name_);
    platform::FileHandle handle = platform::kNoFile;
    platform::Entry opened;
    if (files.open_to_read(platform::kNoFile, found.path, platform::Reading::kPlain, handle,
                           opened)) {
      throw Failure(name_ + ": cannot be opened for reading");
    }
    file_ = platform::File(files, handle);  // only read: nothing of it can be lost at close
    if (opened.kind != FileKind::kRegular) refuse(opened.kind, name_);
  }

 private:
  int_type underflow() override {
    std::size_t got = 0;
    if (const std::error_code error = files_.read(file_.handle(), buffer_, offset_, got)) {
      throw Failure(name_ + ": cannot be read: " + platform::message_of(error));
    }
    if (got == 0) return traits_type::eof();
    offset_ += got;
    setg(buffer_, buffer_, buffer_ + got);
    return traits_type::to_int_type(buffer_[0]);
  }

  platform::FileSystem& files_;
  std::string name_;
  platform::File file_;
  std::uint64_t offset_ = 0;
  char buffer_[8192];
};

// A name of the event file, and the line it is on for a message.
struct Reference {
  std::string_view keyword;
  std::string name;
  std::size_t line = 0;
};

// What an event file holds that the check looks at.
struct EventFileContent {
  std::string event_name;             // the :year, :month and :day values side by side
  std::vector<Reference> data_files;  // one per kind, in the order of the kinds
  std::vector<Reference> basin_files;
};

// The next line of the event file, which must be `expected`.
std::string expected_line(LineReader& reader, const EventFileLine& expected,
                          std::string_view name) {
  std::string line;
  const auto result = reader.next(line);
  if (result == LineReader::Result::kEnd) {
    throw Failure(at(name, reader.number() + 1) + "expected " + expectation(expected) +
                  ", found the end of the file");
  }
  if (result != LineReader::Result::kLine)
    throw Failure(at(name, reader.number()) + refusal(result));
  if (!matches(expected, line)) {
    throw Failure(at(name, reader.number()) + "expected " + expectation(expected));
  }
  return line;
}

void take_value(const EventFileLine& expected, std::string_view line, std::size_t number,
                EventFileContent& content) {
  if (!eventfile::has_keyword(expected)) return;
  // The value is whatever follows the keyword, without the blanks around it.
  const std::string_view value = trimmed(line.substr(expected.keyword.size()));
  switch (expected.value) {
    case LineValue::kYear:
    case LineValue::kMonth:
    case LineValue::kDay: content.event_name += value; break;
    case LineValue::kEventName:
      content.data_files.push_back({expected.keyword, std::string(value), number});
      break;
    case LineValue::kBasinFile:
      content.basin_files.push_back({expected.keyword, std::string(value), number});
      break;
    default: break;
  }
}

// A few empty lines after the end line, as some editors leave them, do no harm.
void expect_end(LineReader& reader, std::string_view name) {
  std::string line;
  auto after = reader.next(line);
  for (int more = 0; after == LineReader::Result::kLine && trimmed(line).empty() && more < 16;
       ++more) {
    after = reader.next(line);
  }
  if (after != LineReader::Result::kEnd) {
    throw Failure(at(name, reader.number()) + "expected the end of the file after \"eof\"");
  }
}

// The event name is the start date as eight digits, yyyymmdd.
void expect_event_name(const std::string& event_name, std::string_view name) {
  if (event_name.size() != 8 || !std::all_of(event_name.begin(), event_name.end(),
                                             [](char c) { return c >= '0' && c <= '9'; })) {
    throw Failure(std::string(name) + ": the :year, :month and :day lines give " +
                  in_quotes(event_name) + ", not an event name of eight digits");
  }
}

EventFileContent parse_event_file(std::streambuf& in, std::string_view name) {
  LineReader reader(in);
  EventFileContent content;
  for (const EventFileLine& expected : eventfile::event_file_layout()) {
    const std::string line = expected_line(reader, expected, name);
    take_value(expected, line, reader.number(), content);
  }
  expect_end(reader, name);
  expect_event_name(content.event_name, name);
  return content;
}

// Looks `reference` up; a name that leads outside is refused with its place in the file.
Found find_reference(const TreeLookUp& tree, std::string_view file, const Reference& reference) {
  try {
    return tree.find(reference.name);
  } catch (const Failure& failure) {
    throw Failure(at(file, reference.line) + failure.what());
  }
}

// The basin files of `content` not met before, looked up.
std::vector<BasinFile> new_basin_files(const TreeLookUp& tree, const SeriesReport& report,
                                       std::string_view file, const EventFileContent& content) {
  std::vector<BasinFile> added;
  for (const Reference& reference : content.basin_files) {
    const auto same = [&](const BasinFile& seen) {
      return seen.keyword == reference.keyword && seen.name == reference.name;
    };
    if (std::any_of(report.basin_files.begin(), report.basin_files.end(), same)) continue;
    const Found found = find_reference(tree, file, reference);
    const bool needed = std::find(report.needed.begin(), report.needed.end(), reference.keyword) !=
                        report.needed.end();
    added.push_back({reference.keyword, reference.name, found.presence, needed, found.reason});
  }
  return added;
}

void record_data_files(SeriesReport& report, const EventFileContent& content,
                       const std::vector<Found>& found) {
  const std::size_t event = report.events.size();
  report.events.push_back(content.event_name);
  for (std::size_t k = 0; k < found.size(); ++k) {
    const Reference& reference = content.data_files[k];
    ++report.references;
    if (found[k].presence == Presence::kPresent || found[k].presence == Presence::kEmpty)
      ++report.found;
    report.kinds[k].names.push_back(reference.name);
    if (found[k].presence == Presence::kPresent) continue;
    report.kinds[k].absent.push_back({event, reference.name, found[k].presence});
    if (found[k].presence == Presence::kNotLooked) {
      report.not_looked.push_back({reference.keyword, reference.name, found[k].reason});
    }
  }
}

}  // namespace

std::vector<std::string> read_event_list(platform::FileSystem& files, const Found& list,
                                         std::string_view list_name) {
  PlainFile in(files, list, list_name);
  LineReader reader(in);
  std::vector<std::string> names;
  std::string line;
  for (;;) {
    const auto result = reader.next(line);
    if (result == LineReader::Result::kEnd) return names;
    const std::string where = at(list_name, reader.number());
    if (result != LineReader::Result::kLine) throw Failure(where + refusal(result));
    const std::string_view name = trimmed(line);
    if (name.empty()) continue;
    if (names.size() == kMaxEvents) {
      throw Failure(where + "more than " + std::to_string(kMaxEvents) + " event files");
    }
    names.emplace_back(name);
  }
}

SeriesCheck::SeriesCheck(fs::path working_directory, platform::FileSystem& files)
    : tree_(std::move(working_directory), files) {
  for (const EventFileLine& line : eventfile::event_file_layout()) {
    if (line.value == LineValue::kEventName) report_.kinds.push_back({&line, {}, false, {}});
  }
}

void SeriesCheck::need(const std::vector<std::string>& keywords) {
  const auto named = [&](std::string_view keyword) {
    return std::find(keywords.begin(), keywords.end(), keyword) != keywords.end();
  };
  report_.needed.clear();
  for (const EventFileLine& line : eventfile::event_file_layout()) {
    if (named(line.keyword)) report_.needed.emplace_back(line.keyword);
  }
  for (Kind& kind : report_.kinds) kind.needed = named(kind.line->keyword);
}

void SeriesCheck::add_event_file(std::string_view name, bool anywhere) {
  // A listed name is held inside the working directory as the names the list leads to are.
  const Found found = anywhere ? tree_.find_anywhere(name) : tree_.find(name);
  PlainFile in(tree_.look_ups(), found, name);
  const EventFileContent content = parse_event_file(in, name);
  // Every name is looked up before anything is recorded, so a refused one leaves no trace.
  std::vector<Found> data_files;
  for (const Reference& reference : content.data_files) {
    data_files.push_back(find_reference(tree_, name, reference));
  }
  std::vector<BasinFile> basin_files = new_basin_files(tree_, report_, name, content);
  record_data_files(report_, content, data_files);
  for (BasinFile& file : basin_files) {
    if (file.presence == Presence::kNotLooked) {
      report_.not_looked.push_back({file.keyword, file.name, file.reason});
    }
    report_.basin_files.push_back(std::move(file));
  }
}

void SeriesCheck::look_for_leftovers() {
  const Found found = tree_.find(recordio::kEventFolder);
  const std::string folder = recordio::in_event_folder("");
  if (found.presence == Presence::kNotLooked) {
    report_.not_looked.push_back({"", folder, found.reason});
    return;
  }
  if (found.kind != FileKind::kDirectory) return;
  std::vector<std::string> names;
  if (auto error = tree_.look_ups().names_in(found.path, names)) {
    report_.not_looked.push_back({"", folder, platform::message_of(error)});
    return;
  }
  // What a run keeps beside an event file while it puts the series in place.
  for (const std::string& file : names) {
    const auto own = recordio::OwnFileName::parse(file);
    if (own && eventfile::names_a_series_file(own->target))
      report_.leftovers.push_back(recordio::in_event_folder(file));
  }
  std::sort(report_.leftovers.begin(), report_.leftovers.end());
}

}  // namespace quorlant::check
