#include "recordio/units.h"

#include <algorithm>

#include "recordio/failure.h"

namespace quorlant::recordio {

std::string describe_error(std::string_view name, platform::SystemError error) {
  return std::string(name) + ": " + error.words();
}

Failure::Failure(std::string_view what, platform::SystemError error)
    : std::runtime_error(describe_error(what, error)), status_(ExitStatus::kIoFailure),
      error_(error) {}

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

// `name` when it is a temporary or a copy this program makes beside a file of a series or the
// journal; nullopt for any other name.
std::optional<OwnFileName> leftover(std::string_view name, const SeriesNames& names) {
  std::optional<OwnFileName> own = OwnFileName::parse(name);
  if (own && (names.holds(own->target) || own->target == SeriesWriter::kJournalFile))
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
  if (event_.value_or(platform::kNoFile) != platform::kNoFile) files_.close_directory(*event_);
  if (work_ != platform::kNoFile) files_.close_directory(work_);
}

platform::FileHandle HeldDirectories::work() {
  if (work_ == platform::kNoFile)
    fail_if(files_.open_directory(platform::kNoFile, base_, work_),
            "cannot open the working directory");
  return work_;
}

platform::FileHandle HeldDirectories::event_folder() {
  if (event_) return *event_;
  const std::string folder = in_event_folder("");
  const platform::Target target = walk(work(), base_, kEventFolder, folder);
  platform::FileHandle held = platform::kNoFile;
  if (target.status.kind == platform::FileKind::kDirectory)
    fail_if(files_.open_directory(target.directory, target.name, held), "cannot examine " + folder);
  event_ = held;
  return held;
}

platform::Target HeldDirectories::resolve(std::string_view name) {
  const std::string prefix = in_event_folder("");
  if (name.starts_with(prefix) && event_folder() != platform::kNoFile)
    return walk(*event_, event_path_, name.substr(prefix.size()), name);
  return walk(work(), base_, name, name);
}

// `name` resolved from the held `from` (shown in reports as `shown_base`, and the name as
// `shown_name`); a directory reached through a link is held once, however many names lead there.
platform::Target HeldDirectories::walk(platform::FileHandle from,
                                       const std::filesystem::path& shown_base,
                                       std::string_view name, std::string_view shown_name) {
  platform::Target target;
  platform::Resolution resolution;
  const std::error_code error =
      files_.resolve(from, shown_base, native_name(name), target, resolution);
  if (error && !resolution.link.empty()) {
    throw Failure(shown(base_, resolution.link) + ": a link made by user " + resolution.link_owner +
                  "; quorlant follows only links you made");
  }
  if (error) throw Failure("cannot examine " + std::string(shown_name), error);
  if (target.directory == from) return target;
  const auto [held, added] = others_.try_emplace(target.directory_id, target.directory);
  if (!added) files_.close_directory(target.directory);
  target.directory = held->second;
  return target;
}

FindTarget HeldDirectories::finder() {
  return [this](std::string_view file) { return resolve(in_event_folder(file)); };
}

Units::Units(platform::FileSystem& files, std::filesystem::path base_directory,
             const SeriesNames& names, std::string_view record_end)
    : files_(files),
      base_(std::move(base_directory)),
      names_(names),
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
  try {
    return resolve(name).status.kind;
  } catch (const Failure& failure) {
    // A name below a file or a missing directory names nothing.
    const platform::SystemError error = failure.error();
    if (error.is(std::errc::no_such_file_or_directory) || error.is(std::errc::not_a_directory))
      return platform::FileKind::kMissing;
    throw;
  }
}

void Units::lock_event_folder() {
  if (event_folder() == platform::kNoFile) return;
  std::string holder;
  platform::FileHandle lock = platform::kNoFile;
  const std::error_code error = files_.lock_directory(event_folder(), lock, holder);
  lock_ = platform::File(files_, lock);
  locked_ = !error;
  if (error == std::errc::resource_unavailable_try_again) {
    throw Failure("another run of quorlant" + by_process(holder) +
                  " is writing in this directory: it holds the lock on " + in_event_folder(""));
  }
  if (error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory) return;
  fail_if(error, "cannot lock " + in_event_folder(""));
}

void Units::recover_series(JournalState& found) {
  if (event_folder() == platform::kNoFile) return;  // no folder holds no journal
  SeriesWriter::recover(files_, event_folder(), names_, held_.finder(), found);
  // With the journal settled, what is left in the locked folder is dead runs' own.
  if (locked_) remove_stale_temporaries(event_folder(), "cannot clear " + in_event_folder(""));
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

void Units::open(int unit, std::string_view name, OpenMode mode) {
  connect(unit, name, mode);
  if (const Failure* failed = open_failure(unit)) throw *failed;
}

void Units::connect(int unit, std::string_view name, OpenMode mode) {
  if (units_.contains(unit)) close(unit);
  // The directories every name is reached through are held first: failing that is no failure of
  // this open, and ends the run at once.
  (void)held_.work();
  if (name.starts_with(in_event_folder("")) || (mode == OpenMode::kReplaceWhole && !dry_run_))
    (void)event_folder();
  Unit& u = units_[unit];
  u.name = std::string(name);
  try {
    attach(u, mode);
  } catch (const Failure& failure) {
    // One without the system's error (a link of another user's, an interrupt) is no refusal.
    if (!failure.error()) throw;
    u.open_failure = Failure("cannot open " + u.name, failure.error());
  }
}

void Units::attach(Unit& u, OpenMode mode) {
  platform::Target target;
  if (mode == OpenMode::kScratch) {
    // A bare name in the working directory: a link there is replaced, never followed.
    target.directory = held_.work();
    target.name = u.name;
    // A scratch file this run left is its own: it is not looked at again.
    if (!left_regular_.contains({target.directory, target.name}))
      fail_if(files_.status_at(target.directory, target.name, target.status), u.name);
  } else {
    // Every link on the way is judged before anything is made.
    target = resolve(u.name);
  }
  u.directory = target.directory;
  u.file_name = target.name;
  if (dry_run_) return open_in_memory(u, mode, target.status);
  if (mode == OpenMode::kReplaceWhole) return open_to_replace(u, target.status);
  if (mode == OpenMode::kScratch) return open_scratch(u, target.status);
  open_in_place(u);
}

// A dry run's file: held in memory, nothing opened or made. It fails where the real open
// would: no directory to hold it, a directory of that name, an event file this run may not
// replace, a log or scratch file that cannot be written where it is.
void Units::open_in_memory(Unit& u, OpenMode mode, const platform::FileStatus& old_file) {
  if (mode != OpenMode::kReplaceWhole) {
    if (old_file.kind == platform::FileKind::kMissing) {
      fail_if(files_.may_add(u.directory), u.name);
    } else if (old_file.kind == platform::FileKind::kFifo) {
      throw Failure(u.name, platform::not_regular_file_error());
    }
  }
  fail_if(old_file.write_error, u.name);
  u.in_memory = true;
  u.loaded = true;  // every file of a run is written before it is read back
}

// A regular file, or a missing one, gets a replacement beside it (beside the file a link of
// this user's names); a device is written in place.
void Units::open_to_replace(Unit& u, const platform::FileStatus& old_file) {
  remove_stale_temporaries(event_folder(), u.name);
  remove_stale_temporaries(u.directory, u.name);
  // An existing file this run may not write is an open failure, and stays untouched.
  fail_if(old_file.write_error, u.name);
  switch (old_file.kind) {
    // A directory fails to open in the system's own words; a device is written to; a pipe
    // never is, as its reader could hold the run for as long as it likes.
    case platform::FileKind::kFifo: throw Failure(u.name, platform::not_regular_file_error());
    case platform::FileKind::kDirectory:
    case platform::FileKind::kOther: return open_in_place(u);
    case platform::FileKind::kMissing:
    case platform::FileKind::kRegular: break;
    case platform::FileKind::kLink: throw std::logic_error("a link left by the resolver");
  }
  // A directory that takes no new file is an open failure: rewriting the file in place could
  // leave it cut short.
  open_replacement(u, old_file);
}

// The file itself, created when missing; what it holds shows through until it is written.
// A regular file this run left is known: neither its kind nor its length is asked again.
void Units::open_in_place(Unit& u) {
  platform::FileHandle handle = platform::kNoFile;
  const auto known = left_regular_.find({u.directory, u.file_name});
  platform::FileKind kind =
      known == left_regular_.end() ? platform::FileKind::kMissing : platform::FileKind::kRegular;
  fail_if(files_.open_at(u.directory, u.file_name, handle, kind), u.name);
  if (known != left_regular_.end()) u.disk_size = known->second;
  u.file = platform::File(files_, handle);
  // A device or a pipe cannot be written at an offset or cut: it takes records one by one.
  u.regular = kind == platform::FileKind::kRegular;
}

// A scratch file this run left is known; any other that is not a plain file of this user's
// with one name goes before a new one is made.
void Units::open_scratch(Unit& u, const platform::FileStatus& old_file) {
  const bool plain = old_file.kind == platform::FileKind::kRegular && old_file.own &&
                     old_file.links == 1;
  if (!left_regular_.contains({u.directory, u.file_name}) &&
      old_file.kind != platform::FileKind::kMissing && !plain) {
    fail_if(files_.remove_at(u.directory, u.file_name), u.name);
  }
  open_in_place(u);
}

// A temporary file of this run beside the target, staged at close.
void Units::open_replacement(Unit& u, const platform::FileStatus& old_file) {
  series_.set_folder(event_folder());  // where its journal goes
  u.staged = series_.begin(u.directory, u.file_name, u.name, old_file, u.file);
  u.loaded = true;  // a new file: nothing of the old one shows through
  u.disk_size = 0;
}

// Files of this program's naming that dead runs left in `directory` go, once per run and
// directory: only regular files of this user's, never a link or a directory. In the event folder
// this run holds locked, with any journal settled, every temporary and copy is a dead run's,
// whatever process number it carries; elsewhere (beside a link's target) only the temporaries
// of runs no longer running are.
void Units::remove_stale_temporaries(platform::FileHandle directory, std::string_view cannot) {
  if (directory == platform::kNoFile || swept_.contains(directory)) return;
  const bool locked = locked_ && directory == event_folder();
  std::vector<std::string> names;
  fail_if(files_.names_at(directory, names), cannot);
  for (const std::string& name : names) {
    if (left_by_dead_run(directory, name, locked, cannot))
      fail_if(files_.remove_at(directory, name), cannot);
  }
  swept_.insert(directory);
}

// Whether `name` in `directory` is a regular file of this user's that a run no longer running
// left, by the rule remove_stale_temporaries says.
bool Units::left_by_dead_run(platform::FileHandle directory, const std::string& name, bool locked,
                             std::string_view cannot) {
  const std::optional<OwnFileName> own = leftover(name, names_);
  if (!own || (!locked && (own->kind != OwnFileName::kTemporary || own->process == process_id_)))
    return false;
  platform::FileStatus status;
  fail_if(files_.status_at(directory, name, status), cannot);
  if (status.kind != platform::FileKind::kRegular || !status.own) return false;
  bool runs = false;
  if (!locked) fail_if(files_.process_runs(own->process, runs), cannot);
  return !runs;
}

Units::Unit& Units::connected(int unit) {
  const auto found = units_.find(unit);
  if (found == units_.end()) throw Failure("unit " + std::to_string(unit) + " is not connected");
  const Unit& u = found->second;
  if (!u.file.is_open() && !u.in_memory) {
    throw Failure(u.name + " could not be opened",
                  u.open_failure ? u.open_failure->error() : platform::SystemError());
  }
  return found->second;
}

const Failure* Units::open_failure(int unit) const {
  const auto found = units_.find(unit);
  return found == units_.end() || !found->second.open_failure ? nullptr
                                                               : &*found->second.open_failure;
}

std::string Units::name_of(int unit) const {
  const auto found = units_.find(unit);
  return found == units_.end() ? "unit " + std::to_string(unit) : found->second.name;
}

void Units::load(Unit& u) {
  if (u.loaded) return;
  u.content.clear();
  char buffer[8192];
  for (;;) {
    std::size_t got = 0;
    fail_if(files_.read(u.file.handle(), buffer, u.content.size(), got), "cannot read " + u.name);
    if (got == 0) break;
    u.content.append(buffer, got);
  }
  u.loaded = true;
}

void Units::write(int unit, std::string_view records) {
  Unit& u = connected(unit);
  // What follows the write position is gone: the record written becomes the file's last.
  if (!u.loaded && u.position == 0) u.loaded = true;
  load(u);
  u.content.resize(u.position);
  // Every length and offset below counts the record end as it is on disk.
  for (std::size_t begin = 0; begin < records.size();) {
    const std::size_t end = std::min(records.find('\n', begin), records.size());
    u.content.append(records, begin, end - begin);
    if (end < records.size()) u.content += record_end_;
    begin = end + 1;
  }
  u.dirty_from = std::min(u.dirty_from.value_or(u.position), u.position);
  u.position = u.content.size();
}

void Units::store(Unit& u) {
  if (!u.dirty_from || u.in_memory) return;  // a dry run's file keeps its bytes to itself
  const std::size_t from = *u.dirty_from;
  const std::string_view bytes = std::string_view(u.content).substr(from);
  const std::size_t end = u.content.size();
  // The report is made only when there is one to make.
  const auto cannot = [&u](std::error_code error) {
    if (error) throw Failure("cannot write " + u.name, error);
  };
  if (u.regular) {
    cannot(files_.write(u.file.handle(), bytes, from));
    // What lies on disk beyond the last record is cut off, unless the file is known to end
    // there already (a new file, or records added at its end).
    if (!u.disk_size || *u.disk_size > end) cannot(files_.cut(u.file.handle(), end));
    u.disk_size = end;
  } else {
    cannot(files_.write(u.file.handle(), bytes, std::nullopt));
  }
  u.dirty_from.reset();
}

std::string_view Units::read_record(int unit) {
  Unit& u = connected(unit);
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

// A file in place has what is left written, then is closed: the first failure is the report. A
// complete replacement is written and staged; an incomplete one, or one any step failed for, is
// removed and the old file stays.
void Units::finish(Unit& u, bool complete) {
  if (!u.file.is_open()) return;
  if (u.staged && !complete) return series_.drop(*u.staged, u.file);
  if (!u.staged) left_regular_.erase({u.directory, u.file_name});
  try {
    store(u);
    if (u.staged) series_.complete(*u.staged, u.file);
  } catch (const Failure&) {
    if (u.staged) series_.drop(*u.staged, u.file);
    (void)u.file.close();  // the report is the write's
    throw;
  }
  if (u.staged) return;
  fail_if(u.file.close(), "cannot close " + u.name);
  if (u.regular && u.disk_size) left_regular_[{u.directory, u.file_name}] = *u.disk_size;
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
  (void)lock_.close();  // nothing of a lock can be lost
  locked_ = false;
  if (first_failure) throw *first_failure;
}

FileWrittenWhole::FileWrittenWhole(platform::FileSystem& files,
                                   const std::filesystem::path& path, std::string what)
    : files_(files), name_(path.filename().string()), what_(std::move(what)) {
  fail_if(files_.open_directory(platform::kNoFile, path.parent_path(), folder_), what_);
  platform::FileStatus status;
  fail_if(files_.status_at(folder_, name_, status), what_);
  if (status.kind == platform::FileKind::kDirectory)
    fail_if(std::make_error_code(std::errc::is_a_directory), what_);
  temp_ = "." + name_ + ".tmp" + std::to_string(platform::process_id());
  platform::FileHandle handle = platform::kNoFile;
  fail_if(files_.create_at(folder_, temp_, {}, handle), what_);
  file_ = platform::File(files_, handle);
}

FileWrittenWhole::~FileWrittenWhole() {
  (void)file_.close();  // never kept: its content no longer matters
  // temp_ names a file made in the held folder: a constructor that fails runs no destructor.
  if (!temp_.empty()) (void)files_.remove_at(folder_, temp_);
  if (folder_ != platform::kNoFile) files_.close_directory(folder_);
}

void FileWrittenWhole::keep(std::string_view bytes) {
  fail_if(files_.write(file_.handle(), bytes, 0), what_);
  fail_if(files_.flush(file_.handle()), what_);
  fail_if(file_.close(), what_);
  fail_if(files_.rename_at(folder_, temp_, name_), what_);
  temp_.clear();
}

}  // namespace quorlant::recordio
