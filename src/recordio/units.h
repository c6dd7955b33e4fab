#pragma once

#include <cstddef>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "recordio/failure.h"
#include "recordio/series_writer.h"

namespace quorlant::recordio {

/// How an open treats a file that exists.
enum class OpenMode {
  /// Created when missing; an existing file is not emptied, and the first record written
  /// replaces its content from that point on.
  kUnknown,
  /// As kUnknown, but a regular file (or a missing one) is written to a temporary file in the
  /// same directory and staged at close: it is put in place with the rest of the series by
  /// commit_series, or not at all; a link is replaced at the file it names. A device or a FIFO
  /// is written in place. Where no replacement can be made, the open fails: a regular file is
  /// never rewritten in place.
  kReplaceWhole,
  /// As kUnknown, for a file of the run's own in the working directory (a scratch file): one
  /// that is a link, has a second name, is not a regular file or not the user's is removed and
  /// made anew, never written through.
  kScratch,
};

/// The path a composed name opens below `base`: each backslash is a directory separator here.
std::filesystem::path native_path(const std::filesystem::path& base, std::string_view name);

/// The directories a run (or a check) works through, each held once from its first use to the
/// end: the working directory, the event folder, and those the user's own links lead to.
class HeldDirectories {
 public:
  HeldDirectories(platform::FileSystem& files, std::filesystem::path base)
      : files_(files), base_(std::move(base)), event_path_(base_ / kEventFolder) {}
  HeldDirectories(const HeldDirectories&) = delete;
  HeldDirectories& operator=(const HeldDirectories&) = delete;
  ~HeldDirectories();

  /// The working directory. Throws Failure when it cannot be held.
  platform::FileHandle work();
  /// The event folder, kNoFile when there is none. Throws Failure when it cannot be looked at.
  platform::FileHandle event_folder();
  /// Where a composed name leads, each link on the way followed only when this user made it:
  /// names in the event folder from its held handle, others from the working directory's.
  /// Throws Failure naming another user's link, or "cannot examine NAME" with the system's error.
  platform::Target resolve(std::string_view name);
  /// Finds a journal's targets in the event folder, as resolve does.
  FindTarget finder();

 private:
  platform::Target walk(platform::FileHandle from, const std::filesystem::path& shown_base,
                        std::string_view name, std::string_view shown_name);

  platform::FileSystem& files_;
  std::filesystem::path base_;
  std::filesystem::path event_path_;  // how reports show the event folder
  platform::FileHandle work_ = platform::kNoFile;
  std::optional<platform::FileHandle> event_;
  std::map<platform::FileId, platform::FileHandle> others_;
};

/// The file units of a run: unit numbers connected to files in the working directory, all
/// reached through `files`. Event files and the list are handed to the series writer to be put
/// in place as one; `names` are those a series may hold.
class Units {
 public:
  /// Records written end in `record_end` on disk: the system's own line end unless a test asks
  /// for another.
  Units(platform::FileSystem& files, std::filesystem::path base_directory,
        const SeriesNames& names, std::string_view record_end = platform::record_end());
  Units(const Units&) = delete;
  Units& operator=(const Units&) = delete;
  /// Closes every unit; an unfinished replacement is dropped, never put in place.
  ~Units();

  /// From now on nothing reaches the disk, and no file is even opened: a file opened is held in
  /// memory and dropped at close; the open fails only when its directory is missing (ENOENT) or
  /// the name is a directory (EISDIR).
  void set_dry_run() { dry_run_ = true; }
  bool dry_run() const { return dry_run_; }
  /// What `name` is, a link of this user's followed. Throws Failure when the system cannot tell.
  platform::FileKind kind_of(std::string_view name);
  bool exists(std::string_view name) { return kind_of(name) != platform::FileKind::kMissing; }
  bool is_directory(std::string_view name) {
    return kind_of(name) == platform::FileKind::kDirectory;
  }

  /// The path a composed name opens: each backslash is a directory separator here.
  std::filesystem::path path_of(std::string_view name) const;
  /// Where a composed name leads (HeldDirectories::resolve).
  platform::Target resolve(std::string_view name) { return held_.resolve(name); }
  /// The file system the units work on, for the questions a run asks before it writes.
  platform::FileSystem& files() { return files_; }
  /// The event folder, held; kNoFile when there is none.
  platform::FileHandle event_folder() { return held_.event_folder(); }
  /// Takes the lock on the event folder for the rest of the run: no other run writes there
  /// meanwhile. Throws Failure when another run holds it or it cannot be taken; without an event
  /// folder there is nothing to lock, and the run says so itself.
  void lock_event_folder();

  /// Connects `name` to `unit`, closing and keeping whatever the unit had first. Throws Failure
  /// "cannot open NAME: reason" when the system refuses; the unit stays connected to the name.
  void open(int unit, std::string_view name, OpenMode mode = OpenMode::kUnknown);
  /// As open, but a refusal is kept (open_failure): any transfer on the unit throws it as
  /// "NAME could not be opened: reason".
  void connect(int unit, std::string_view name, OpenMode mode = OpenMode::kUnknown);
  /// Why the last open of `unit` failed; nullptr when it did not.
  const Failure* open_failure(int unit) const;
  /// Writes records (each ended by '\n', which becomes the record end on disk) at the unit's
  /// position. Throws Failure.
  void write(int unit, std::string_view records);
  /// The next record, without its terminator. Throws Failure at the end of the file.
  std::string_view read_record(int unit);
  /// Back to the first record.
  void rewind(int unit);
  /// Closes the unit and keeps its file. Throws Failure when the file cannot be completed.
  void close(int unit);
  /// Closes and keeps every unit, dropping unfinished replacements and a series not put in
  /// place (see series_left), and releases the lock. Throws the first failure.
  void close_all();
  /// Puts every staged file in place, or none (SeriesWriter::commit); returns what could not be
  /// tidied after the commit point, for a warning.
  std::string commit_series();
  /// Once the series in place is told: an interrupt that waited ends the run now.
  void end_commit() { series_.end_commit(); }
  /// What close_all found of a series it had to drop.
  SeriesLeft series_left() const { return series_left_; }
  /// Finishes or undoes the series of a run that was cut off; `found` says what it found. With
  /// the event folder locked, the temporaries and copies dead runs left there go too.
  void recover_series(JournalState& found);
  /// What the journal of a run that was cut off says, changing nothing.
  JournalState interrupted_series() {
    return SeriesWriter::inspect(files_, event_folder(), names_, held_.finder());
  }
  /// The name connected to `unit`, for reports.
  std::string name_of(int unit) const;
  /// How an interrupt waits while a series is put in place, then ends the run.
  platform::InterruptDeferral& interrupts() { return interrupts_; }

 private:
  struct Unit {
    platform::File file;
    std::string name;                       // as the program composed it, for reports
    platform::FileHandle directory = platform::kNoFile;  // held: where it is
    std::string file_name;                               // its name there
    std::optional<Failure> open_failure;    // why the open failed, when it did
    std::string content;                    // the file's bytes once `loaded`
    bool loaded = false;                    // `content` holds the whole file
    std::size_t position = 0;               // file offset of the next record
    std::optional<std::size_t> dirty_from;  // first byte of `content` not yet on disk
    bool regular = true;                   // a regular file: written with pwrite and cut to length
    std::optional<std::size_t> disk_size;  // the file's length on disk, when known
    std::optional<std::size_t> staged;     // a replacement in progress: its series entry
    bool in_memory = false;                // a dry run's file: nothing opened, nothing stored
  };
  // Each throws Failure with the system's error when the system refuses: connect keeps it as
  // the open's failure.
  void attach(Unit& unit, OpenMode mode);
  void open_in_memory(Unit& unit, OpenMode mode, const platform::FileStatus& old_file);
  void open_to_replace(Unit& unit, const platform::FileStatus& old_file);
  void open_in_place(Unit& unit);
  void open_scratch(Unit& unit, const platform::FileStatus& old_file);
  void open_replacement(Unit& unit, const platform::FileStatus& old_file);
  // Throws Failure `cannot` with the system's error.
  void remove_stale_temporaries(platform::FileHandle directory, std::string_view cannot);
  bool left_by_dead_run(platform::FileHandle directory, const std::string& name, bool locked,
                        std::string_view cannot);
  Unit& connected(int unit);
  void store(Unit& unit);  // writes what is not yet on disk; throws Failure "cannot write NAME"
  void load(Unit& unit);
  void finish(Unit& unit, bool complete);

  platform::FileSystem& files_;
  std::filesystem::path base_;
  SeriesNames names_;
  HeldDirectories held_;     // let go last, once every unit is closed
  platform::File lock_;  // the lock on event\, released once every unit is closed
  bool locked_ = false;
  std::string record_end_;
  std::map<int, Unit> units_;
  unsigned long process_id_;  // temporary names are this run's own
  platform::InterruptDeferral interrupts_;
  SeriesWriter series_;
  SeriesLeft series_left_ = SeriesLeft::kUntouched;
  std::set<platform::FileHandle> swept_;  // directories cleared of dead runs' temporary files
  // Regular files closed, by directory and name: their lengths.
  std::map<std::pair<platform::FileHandle, std::string>, std::size_t> left_regular_;
  bool dry_run_ = false;
};

/// A file the user names, written whole: made first as a new file beside it, so that a file
/// that cannot be made fails before anything is written, and put in its place whole by keep();
/// otherwise removed. Each failure's message starts with `what`. Throws Failure.
class FileWrittenWhole {
 public:
  FileWrittenWhole(platform::FileSystem& files, const std::filesystem::path& path,
                   std::string what);
  FileWrittenWhole(const FileWrittenWhole&) = delete;
  FileWrittenWhole& operator=(const FileWrittenWhole&) = delete;
  ~FileWrittenWhole();

  /// Puts `bytes` in place of the file.
  void keep(std::string_view bytes);

 private:
  platform::FileSystem& files_;
  platform::FileHandle folder_ = platform::kNoFile;
  platform::File file_;
  std::string name_;
  std::string temp_;
  std::string what_;
};

}  // namespace quorlant::recordio
