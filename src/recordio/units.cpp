#include "recordio/units.h"

#include <algorithm>

#include "recordio/platform/series_guard.h"
#include "recordio/stop.h"

namespace quorlant::recordio {

std::string describe_error(std::string_view name, std::error_code error) {
  return std::string(name) + ": " + platform::message_of(error);
}

std::filesystem::path native_path(const std::filesystem::path& base, std::string_view name) {
  std::string native(name);
  std::replace(native.begin(), native.end(), '\\',
               static_cast<char>(std::filesystem::path::preferred_separator));
  return base / native;
}

Units::Units(std::filesystem::path base_directory, std::string_view record_end)
    : base_(std::move(base_directory)),
      record_end_(record_end),
      process_id_(platform::process_id()) {}

Units::~Units() {
  try {
    close_all();
  } catch (...) {
    // The run is already ending through another report.
  }
}

std::filesystem::path Units::path_of(std::string_view name) const {
  return native_path(base_, name);
}

bool Units::exists(std::string_view name) const {
  std::error_code error;
  return std::filesystem::exists(path_of(name), error);
}

bool Units::is_directory(std::string_view name) const {
  std::error_code error;
  return std::filesystem::is_directory(path_of(name), error);
}

std::error_code Units::open(int unit, std::string_view name, OpenMode mode) {
  if (units_.contains(unit)) close(unit);
  Unit& u = units_[unit];
  u.name = std::string(name);
  u.path = path_of(name);
  u.open_error = dry_run_                          ? open_in_memory(u, mode)
                 : mode == OpenMode::kReplaceWhole ? open_to_replace(u)
                                                   : open_in_place(u);
  return u.open_error;
}

// A dry run's file: held in memory, nothing opened or made. It fails where the real open
// would: no directory to hold it, a directory of that name, an event file this run may not
// replace.
std::error_code Units::open_in_memory(Unit& u, OpenMode mode) {
  std::error_code error;
  if (!std::filesystem::is_directory(u.path.parent_path(), error))
    return std::make_error_code(std::errc::no_such_file_or_directory);
  if (std::filesystem::is_directory(u.path, error))
    return std::make_error_code(std::errc::is_a_directory);
  if (mode == OpenMode::kUnknown) {
    // The log, the scratch files and the list are written where they are: they must take it.
    bool exists = false;
    if (const std::error_code refused =
            platform::may_write(u.path, platform::WriteWay::kInPlace, exists))
      return refused;
  }
  if (mode == OpenMode::kReplaceWhole) {
    platform::FileStatus old_file;
    if (const std::error_code status_error = platform::status_of(u.path, old_file))
      return status_error;
    if (old_file.write_error) return old_file.write_error;
  }
  u.in_memory = true;
  u.loaded = true;  // every file of a run is written before it is read back
  return {};
}

// A regular file, or a missing one, gets a replacement; anything else (a link, a device) is
// written in place.
std::error_code Units::open_to_replace(Unit& u) {
  platform::FileStatus old_file;
  if (const std::error_code error = platform::status_of(u.path, old_file)) return error;
  // An existing file this run may not write is an open failure, and stays untouched.
  if (old_file.write_error) return old_file.write_error;
  if (old_file.kind == platform::FileKind::kOther) return open_in_place(u);
  const std::error_code error = open_replacement(u, old_file);
  // A directory that takes no new file still lets an existing file be written in place.
  const bool directory_closed =
      error == std::errc::permission_denied || error == std::errc::operation_not_permitted;
  if (error && directory_closed && old_file.kind == platform::FileKind::kRegular)
    return open_in_place(u);
  return error;
}

// The file itself, created when missing; what it holds shows through until it is written.
std::error_code Units::open_in_place(Unit& u) {
  if (const std::error_code error = platform::open_existing_or_new(u.path, u.file)) {
    u.file = platform::kNoFile;
    return error;
  }
  // A device or a pipe cannot be written at an offset or cut: it takes records one by one.
  u.regular = platform::is_regular(u.file);
  return {};
}

// A temporary file of this run beside the target, put in place at close; a name left by a
// killed run is passed over.
std::error_code Units::open_replacement(Unit& u, const platform::FileStatus& old_file) {
  std::error_code error;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::filesystem::path name = ".";
    name += u.path.filename();
    name += ".tmp" + std::to_string(process_id_) + "." + std::to_string(temp_counter_++);
    std::filesystem::path temp = u.path;
    temp.replace_filename(name);
    const std::optional<std::size_t> slot = in_flight_.add(temp);
    error = platform::create_exclusive(temp, old_file, u.file);
    if (slot && error) in_flight_.release(*slot);
    if (slot && !error) in_flight_.made(*slot);
    if (!error) {
      u.in_flight_slot = slot;
      u.temp_path = std::move(temp);
      u.loaded = true;  // a new file: nothing of the old one shows through
      u.disk_size = 0;
      return {};
    }
    if (error != std::errc::file_exists) break;
  }
  u.file = platform::kNoFile;
  return error;
}

Units::Unit& Units::connected(int unit) {
  const auto found = units_.find(unit);
  if (found == units_.end()) throw IoFailure("unit " + std::to_string(unit) + " is not connected");
  if (found->second.file == platform::kNoFile && !found->second.in_memory) {
    throw IoFailure(
        describe_error(found->second.name + " could not be opened", found->second.open_error));
  }
  return found->second;
}

void Units::write_through(int unit) {
  if (const auto found = units_.find(unit); found != units_.end())
    found->second.write_through = true;
}

std::error_code Units::open_error(int unit) const {
  const auto found = units_.find(unit);
  return found == units_.end() ? std::error_code() : found->second.open_error;
}

std::string Units::name_of(int unit) const {
  const auto found = units_.find(unit);
  return found == units_.end() ? "unit " + std::to_string(unit) : found->second.name;
}

void Units::load(Unit& u) {
  if (u.loaded) return;
  u.content.clear();
  u.offset = 0;
  char buffer[8192];
  for (;;) {
    std::size_t got = 0;
    if (const std::error_code error = platform::read(u.file, buffer, u.content.size(), got)) {
      throw IoFailure(describe_error("cannot read " + u.name, error));
    }
    if (got == 0) break;
    u.content.append(buffer, got);
  }
  u.loaded = true;
}

void Units::write(int unit, std::string_view records) {
  Unit& u = connected(unit);
  // What follows the write position is gone: the record written becomes the file's last.
  if (!u.loaded && u.position == 0) u.loaded = true;
  if (u.position < u.offset) u.loaded = false;  // before the part kept in memory
  load(u);
  u.content.resize(u.position - u.offset);
  if (record_end_ == "\n") {
    u.content += records;
  } else {
    // Every length and offset below counts the record end as it is on disk.
    for (std::size_t begin = 0; begin < records.size();) {
      const std::size_t end = std::min(records.find('\n', begin), records.size());
      u.content.append(records, begin, end - begin);
      if (end < records.size()) u.content += record_end_;
      begin = end + 1;
    }
  }
  u.dirty_from = std::min(u.dirty_from.value_or(u.position), u.position);
  u.position = u.offset + u.content.size();
  if (u.write_through) {
    flush(u);
    // Everything is on disk and the file only grows: keep no copy, so memory stays flat.
    u.offset = u.position;
    u.content.clear();
  }
}

void Units::flush(Unit& u) {
  if (const std::error_code error = store(u)) {
    throw IoFailure(describe_error("cannot write " + u.name, error));
  }
}

std::error_code Units::store(Unit& u) {
  if (!u.dirty_from) return {};
  if (u.in_memory) {
    u.dirty_from.reset();
    return {};
  }
  const std::size_t from = *u.dirty_from;
  const std::string_view bytes = std::string_view(u.content).substr(from - u.offset);
  const std::size_t end = u.offset + u.content.size();
  std::error_code error;
  if (u.regular) {
    error = platform::write(u.file, bytes, from);
    // What lies on disk beyond the last record is cut off, unless the file is known to end
    // there already (a new file, or records added at its end).
    const bool may_be_longer = !u.disk_size || *u.disk_size > end;
    if (!error && may_be_longer) error = platform::cut(u.file, end);
    if (!error) u.disk_size = end;
  } else {
    error = platform::write(u.file, bytes, std::nullopt);
  }
  if (!error) u.dirty_from.reset();
  return error;
}

std::string_view Units::read_record(int unit) {
  Unit& u = connected(unit);
  if (u.offset > 0) {
    flush(u);
    u.loaded = false;  // the whole file is needed again
  }
  load(u);
  if (u.position >= u.content.size()) throw IoFailure("end of file reading " + u.name);
  const std::size_t begin = u.position;
  const std::size_t end = u.content.find('\n', begin);
  std::size_t stop = end == std::string::npos ? u.content.size() : end;
  u.position = end == std::string::npos ? stop : end + 1;
  // The record end is all of it: a carriage return before the line feed belongs to it here.
  if (record_end_ == "\r\n" && end != std::string::npos && stop > begin &&
      u.content[stop - 1] == '\r') {
    --stop;
  }
  return std::string_view(u.content).substr(begin, stop - begin);
}

void Units::rewind(int unit) {
  connected(unit).position = 0;
}

void Units::finish(Unit& u, bool complete) {
  if (u.file == platform::kNoFile) return;
  std::string failed = "cannot write ";
  std::error_code error = complete ? store(u) : std::error_code();
  if (error) complete = false;
  if (const std::error_code closed = platform::close(u.file); closed && complete) {
    error = closed;
    failed = "cannot close ";
    complete = false;
  }
  u.file = platform::kNoFile;
  if (!u.temp_path.empty()) {
    // A file an interrupt has taken is not put in place: the old one stays.
    if (u.in_flight_slot && !in_flight_.hold(*u.in_flight_slot)) complete = false;
    if (complete) {
      if (const std::error_code replaced = platform::replace(u.temp_path, u.path)) {
        error = replaced;
        failed = "cannot put in place ";
        complete = false;
      }
    }
    // Nothing more can be said about a temporary file that will not go: the report is above.
    if (!complete) (void)platform::remove(u.temp_path);
    if (u.in_flight_slot) in_flight_.release(*u.in_flight_slot);
  }
  if (error) throw IoFailure(describe_error(failed + u.name, error));
}

void Units::close(int unit) {
  const auto found = units_.find(unit);
  if (found == units_.end()) return;
  Unit u = std::move(found->second);
  units_.erase(found);
  finish(u, true);
}

void Units::close_all() {
  std::optional<IoFailure> first_failure;
  while (!units_.empty()) {
    Unit u = std::move(units_.begin()->second);
    units_.erase(units_.begin());
    try {
      // A replacement still open was never completed: the old file stays.
      finish(u, u.temp_path.empty());
    } catch (const IoFailure& failure) {
      if (!first_failure) first_failure = failure;
    }
  }
  if (first_failure) throw *first_failure;
}

}  // namespace quorlant::recordio
