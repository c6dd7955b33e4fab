#include "recordio/units.h"

#include <algorithm>

#include "recordio/failure.h"

namespace quorlant::recordio {

std::string describe_error(std::string_view name, std::error_code error) {
  return std::string(name) + ": " + platform::message_of(error);
}

// `name` with this system's directory separator.
static std::string native_name(std::string_view name) {
  std::string native(name);
  std::replace(native.begin(), native.end(), '\\',
               static_cast<char>(std::filesystem::path::preferred_separator));
  return native;
}

std::filesystem::path native_path(const std::filesystem::path& base, std::string_view name) {
  return base / native_name(name);
}

namespace {

std::error_code error_of(std::errc code) {
  return std::make_error_code(code);
}

// `name` when it is a temporary or a copy this program makes beside an event file, the list or
// the journal; nullopt for any other name.
std::optional<OwnFileName> leftover(std::string_view name) {
  std::optional<OwnFileName> own = OwnFileName::parse(name);
  if (own && (names_a_series_file(own->target) || own->target == SeriesWriter::kJournalFile))
    return own;
  return std::nullopt;
}

// How a composed name shows a path: below the working directory with backslashes, elsewhere
// as the system writes it.
std::string shown(const std::filesystem::path& base, const std::filesystem::path& path) {
  const std::filesystem::path below = path.lexically_relative(base);
  if (below.empty() || *below.begin() == "..") return path.string();
  std::string name = below.generic_string();
  std::replace(name.begin(), name.end(), '/', '\\');
  return name;
}

}  // namespace

HeldDirectories::~HeldDirectories() {
  for (const auto& [id, directory] : others_) files_.close_directory(directory);
  if (event_ && *event_ != platform::kNoFile) files_.close_directory(*event_);
  if (work_ != platform::kNoFile) files_.close_directory(work_);
}

platform::FileHandle HeldDirectories::work() {
  if (work_ == platform::kNoFile) {
    if (const std::error_code error = files_.open_directory(platform::kNoFile, base_, work_))
      throw Failure(describe_error("cannot open the working directory", error));
  }
  return work_;
}

platform::FileHandle HeldDirectories::event_folder() {
  if (event_) return *event_;
  platform::Target target;
  std::error_code error = walk(work(), base_, kEventFolder, target);
  platform::FileHandle held = platform::kNoFile;
  if (!error && target.status.kind == platform::FileKind::kDirectory)
    error = files_.open_directory(target.directory, target.name, held);
  if (error) throw Failure(describe_error("cannot examine " + in_event_folder(""), error));
  event_ = held;
  return held;
}

std::error_code HeldDirectories::resolve(std::string_view name, platform::Target& target) {
  const std::string prefix = in_event_folder("");
  if (name.starts_with(prefix) && event_folder() != platform::kNoFile)
    return walk(*event_, base_ / kEventFolder, name.substr(prefix.size()), target);
  return walk(work(), base_, name, target);
}

// `name` resolved from the held `from` (shown in reports as `shown_base`); a directory reached
// through a link is held once, however many names lead there.
std::error_code HeldDirectories::walk(platform::FileHandle from,
                                      const std::filesystem::path& shown_base,
                                      std::string_view name, platform::Target& target) {
  platform::Resolution resolution;
  const std::error_code error =
      files_.resolve(from, shown_base, native_name(name), target, resolution);
  if (error && !resolution.link.empty()) {
    throw Failure(shown(base_, resolution.link) + ": a link made by user " + resolution.link_owner +
                  "; quorlant follows only links you made");
  }
  if (error || target.directory == from) return error;
  const auto [held, added] = others_.try_emplace(target.directory_id, target.directory);
  if (!added) files_.close_directory(target.directory);
  target.directory = held->second;
  return {};
}

FindTarget HeldDirectories::finder() {
  return [this](std::string_view file) {
    platform::Target target;
    const std::string name = in_event_folder(file);
    if (const std::error_code error = resolve(name, target))
      throw Failure(describe_error("cannot examine " + name, error));
    return target;
  };
}

Units::Units(platform::FileSystem& files, std::filesystem::path base_directory,
             std::string_view record_end)
    : files_(files),
      base_(std::move(base_directory)),
      held_(files_, base_),
      record_end_(record_end),
      process_id_(platform::process_id()),
      series_(files_, interrupts_, process_id_) {}

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


platform::FileKind Units::kind_of(std::string_view name) {
  platform::Target target;
  if (const std::error_code error = resolve(name, target)) {
    // A name below a file or a missing directory names nothing.
    if (error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory)
      return platform::FileKind::kMissing;
    throw Failure(describe_error("cannot examine " + std::string(name), error));
  }
  return target.status.kind;
}

std::error_code Units::lock_event_folder(std::string& holder) {
  // Without an event directory nothing of the series can be written: the run says so itself.
  if (event_folder() == platform::kNoFile) return error_of(std::errc::no_such_file_or_directory);
  const std::error_code error = files_.lock_directory(event_folder(), lock_.emplace(), holder);
  locked_ = !error;
  return error;
}

void Units::recover_series(JournalState& found) {
  if (event_folder() == platform::kNoFile) return;  // no folder holds no journal
  SeriesWriter::recover(files_, event_folder(), held_.finder(), found);
  // With the journal settled, what is left in the locked folder is dead runs' own.
  if (locked_) {
    if (const std::error_code error = remove_stale_temporaries(event_folder()))
      throw Failure(describe_error("cannot clear " + in_event_folder(""), error));
  }
}

std::string Units::commit_series() {
  // Every unit is closed and kept first, so that a failure to close one (the run log) comes
  // before the series is put in place, never after it.
  while (!units_.empty()) close(units_.begin()->first);
  const bool staged = series_.staged();
  std::string warning = series_.commit();
  if (staged) series_left_ = SeriesLeft::kInPlace;
  return warning;
}

std::error_code Units::open(int unit, std::string_view name, OpenMode mode) {
  if (units_.contains(unit)) close(unit);
  Unit& u = units_[unit];
  u.name = std::string(name);
  platform::Target target;
  if (mode == OpenMode::kScratch) {
    // A bare name in the working directory: a link there is replaced, never followed.
    target.directory = held_.work();
    target.name = std::string(name);
    // A scratch file this run left is its own: it is not looked at again.
    if (!left_regular_.contains({target.directory, target.name}))
      u.open_error = files_.status_at(target.directory, target.name, target.status);
  } else {
    // Every link on the way is judged before anything is made.
    u.open_error = resolve(name, target);
  }
  if (u.open_error) return u.open_error;
  u.directory = target.directory;
  u.file_name = target.name;
  u.open_error = dry_run_                          ? open_in_memory(u, mode, target.status)
                 : mode == OpenMode::kReplaceWhole ? open_to_replace(u, target.status)
                 : mode == OpenMode::kScratch      ? open_scratch(u, target.status)
                                                   : open_in_place(u);
  return u.open_error;
}

// A dry run's file: held in memory, nothing opened or made. It fails where the real open
// would: no directory to hold it, a directory of that name, an event file this run may not
// replace, a log or scratch file that cannot be written where it is.
std::error_code Units::open_in_memory(Unit& u, OpenMode mode, const platform::FileStatus& old_file) {
  if (mode != OpenMode::kReplaceWhole) {
    if (old_file.kind == platform::FileKind::kMissing) {
      if (const std::error_code error = files_.may_add(u.directory)) return error;
    } else if (old_file.kind == platform::FileKind::kFifo) {
      return platform::not_regular_file_error();
    }
  }
  if (old_file.write_error) return old_file.write_error;
  u.in_memory = true;
  u.loaded = true;  // every file of a run is written before it is read back
  return {};
}

// A regular file, or a missing one, gets a replacement beside it (beside the file a link of
// this user's names); a device is written in place.
std::error_code Units::open_to_replace(Unit& u, const platform::FileStatus& old_file) {
  if (const std::error_code error = remove_stale_temporaries(event_folder())) return error;
  if (const std::error_code error = remove_stale_temporaries(u.directory)) return error;
  // An existing file this run may not write is an open failure, and stays untouched.
  if (old_file.write_error) return old_file.write_error;
  switch (old_file.kind) {
    // A directory fails to open in the system's own words; a device is written to; a pipe
    // never is, as its reader could hold the run for as long as it likes.
    case platform::FileKind::kFifo: return platform::not_regular_file_error();
    case platform::FileKind::kDirectory:
    case platform::FileKind::kOther: return open_in_place(u);
    case platform::FileKind::kMissing:
    case platform::FileKind::kRegular: break;
    case platform::FileKind::kLink: throw std::logic_error("a link left by the resolver");
  }
  // A directory that takes no new file is an open failure: rewriting the file in place could
  // leave it cut short.
  return open_replacement(u, old_file);
}

// The file itself, created when missing; what it holds shows through until it is written.
// A regular file this run left is known: neither its kind nor its length is asked again.
std::error_code Units::open_in_place(Unit& u) {
  platform::FileHandle handle = platform::kNoFile;
  const auto known = left_regular_.find({u.directory, u.file_name});
  platform::FileKind kind =
      known == left_regular_.end() ? platform::FileKind::kMissing : platform::FileKind::kRegular;
  if (const std::error_code error = files_.open_at(u.directory, u.file_name, handle, kind))
    return error;
  if (known != left_regular_.end()) u.disk_size = known->second;
  u.file = platform::File(files_, handle);
  // A device or a pipe cannot be written at an offset or cut: it takes records one by one.
  u.regular = kind == platform::FileKind::kRegular;
  return {};
}

// A scratch file this run left is known; any other that is not a plain file of this user's
// with one name goes before a new one is made.
std::error_code Units::open_scratch(Unit& u, const platform::FileStatus& old_file) {
  const bool plain = old_file.kind == platform::FileKind::kRegular && old_file.own &&
                     old_file.links == 1;
  if (!left_regular_.contains({u.directory, u.file_name}) &&
      old_file.kind != platform::FileKind::kMissing && !plain) {
    if (const std::error_code error = files_.remove_at(u.directory, u.file_name)) return error;
  }
  return open_in_place(u);
}

// A temporary file of this run beside the target, staged at close.
std::error_code Units::open_replacement(Unit& u, const platform::FileStatus& old_file) {
  series_.set_folder(event_folder());  // where its journal goes
  std::size_t entry = 0;
  if (const std::error_code error =
          series_.begin(u.directory, u.file_name, u.name, old_file, u.file, entry))
    return error;
  u.staged = entry;
  u.loaded = true;  // a new file: nothing of the old one shows through
  u.disk_size = 0;
  return {};
}

// Files of this program's naming that dead runs left in `directory` go, once per run and
// directory: only regular files of this user's, never a link or a directory. In the event folder
// this run holds locked, with any journal settled, every temporary and copy is a dead run's,
// whatever process number it carries; elsewhere (beside a link's target) only the temporaries
// of runs no longer running are.
std::error_code Units::remove_stale_temporaries(platform::FileHandle directory) {
  if (directory == platform::kNoFile || swept_.contains(directory)) return {};
  const bool locked = locked_ && directory == event_folder();
  std::vector<std::string> names;
  std::error_code error = files_.names_at(directory, names);
  for (std::size_t i = 0; i < names.size() && !error; ++i) {
    bool dead = false;
    error = left_by_dead_run(directory, names[i], locked, dead);
    if (!error && dead) error = files_.remove_at(directory, names[i]);
  }
  if (!error) swept_.insert(directory);
  return error;
}

// Whether `name` in `directory` is a regular file of this user's that a run no longer running
// left, by the rule remove_stale_temporaries says.
std::error_code Units::left_by_dead_run(platform::FileHandle directory, const std::string& name,
                                        bool locked, bool& dead) {
  dead = false;
  const std::optional<OwnFileName> own = leftover(name);
  if (!own || (!locked && (own->kind != OwnFileName::kTemporary || own->process == process_id_)))
    return {};
  platform::FileStatus status;
  if (const std::error_code error = files_.status_at(directory, name, status)) return error;
  if (status.kind != platform::FileKind::kRegular || !status.own) return {};
  bool runs = false;
  if (!locked) {
    if (const std::error_code error = files_.process_runs(own->process, runs)) return error;
  }
  dead = !runs;
  return {};
}

Units::Unit& Units::connected(int unit) {
  const auto found = units_.find(unit);
  if (found == units_.end()) throw Failure("unit " + std::to_string(unit) + " is not connected");
  if (!found->second.file.is_open() && !found->second.in_memory) {
    throw Failure(
        describe_error(found->second.name + " could not be opened", found->second.open_error));
  }
  return found->second;
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
    if (const std::error_code error = files_.read(u.file.handle(), buffer, u.content.size(), got)) {
      throw Failure(describe_error("cannot read " + u.name, error));
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
}

void Units::flush(Unit& u) {
  if (const std::error_code error = store(u)) {
    throw Failure(describe_error("cannot write " + u.name, error));
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
    error = files_.write(u.file.handle(), bytes, from);
    // What lies on disk beyond the last record is cut off, unless the file is known to end
    // there already (a new file, or records added at its end).
    const bool may_be_longer = !u.disk_size || *u.disk_size > end;
    if (!error && may_be_longer) error = files_.cut(u.file.handle(), end);
    if (!error) u.disk_size = end;
  } else {
    error = files_.write(u.file.handle(), bytes, std::nullopt);
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
  if (u.position >= u.content.size()) throw Failure("end of file reading " + u.name);
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
  if (!u.file.is_open()) return;
  const CloseError failed = u.staged ? finish_replacement(u, complete) : finish_in_place(u);
  if (failed.error) throw Failure(describe_error(failed.what + u.name, failed.error));
}

// What is left is written, then the file is closed: the first failure is the report.
Units::CloseError Units::finish_in_place(Unit& u) {
  CloseError failed{"cannot write ", store(u)};
  const std::error_code closed = u.file.close();
  if (closed && !failed.error) failed = {"cannot close ", closed};
  if (!failed.error && u.regular && u.disk_size) {
    left_regular_[{u.directory, u.file_name}] = *u.disk_size;
  } else {
    left_regular_.erase({u.directory, u.file_name});
  }
  return failed;
}

// A complete replacement is written and staged; an incomplete one, or one any step failed for,
// is removed and the old file stays.
Units::CloseError Units::finish_replacement(Unit& u, bool complete) {
  CloseError failed{"cannot write ", complete ? store(u) : std::error_code()};
  if (complete && !failed.error) {
    if (const std::error_code error = series_.complete(*u.staged, u.file)) {
      failed = {"cannot write ", error};
    }
  }
  if (!complete || failed.error) series_.drop(*u.staged, u.file);
  return failed;
}

void Units::close(int unit) {
  const auto found = units_.find(unit);
  if (found == units_.end()) return;
  Unit u = std::move(found->second);
  units_.erase(found);
  finish(u, true);
}

void Units::close_all() {
  std::optional<Failure> first_failure;
  while (!units_.empty()) {
    Unit u = std::move(units_.begin()->second);
    units_.erase(units_.begin());
    try {
      // A replacement still open was never completed: the old file stays.
      finish(u, !u.staged);
    } catch (const Failure& failure) {
      if (!first_failure) first_failure = failure;
    }
  }
  // A series not put in place by now never will be.
  const SeriesLeft left = series_.abandon();
  if (left != SeriesLeft::kUntouched) series_left_ = left;
  lock_.reset();
  locked_ = false;
  if (first_failure) throw *first_failure;
}

}  // namespace quorlant::recordio
