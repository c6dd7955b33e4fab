#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace quorlant::recordio {

/// The folder that holds a series: its event files, their list and its journal.
inline constexpr std::string_view kEventFolder = "event";

/// `file` in the event folder, as a composed name gives it: "event\20150101.evt".
inline std::string in_event_folder(std::string_view file) {
  return std::string(kEventFolder).append("\\").append(file);
}

/// The file names a series may hold in the event folder, as the program that writes it names
/// them: its list, and an event file's, the eight digits of its start and `event_ending`.
struct SeriesNames {
  std::string_view list;
  std::string_view event_ending;
  bool holds(std::string_view file) const;
};

/// What a journal left by an earlier run says about its series.
enum class JournalState {
  kNone,   // no journal: no run was cut off while it put a series in place
  kBegun,  // cut off while replacing: the old series is to be put back
  kDone,   // cut off after every replacement: only the old files' copies are left
};

/// The one line that reports a journal found in `state` (not kNone): what this run did about it
/// (`settled`), or what the next run will do.
std::string interrupted_run_report(JournalState state, bool settled);

/// " (process N)" for the holder of a lock as the system tells it, "" when it does not.
std::string by_process(std::string_view holder);

/// What became of the series when a run ended.
enum class SeriesLeft {
  kUntouched,  // nothing of a series was begun
  kAsItWas,    // begun, and every file of it is as it was before the run
  kHalfDone,   // begun, and could not be put back: its journal is left for the next run
  kInPlace,    // the new series is in place: the run failed only after that
};

/// The name of a file of this program's own beside another: ".NAME.tmpPID.N" for a file being
/// written to take NAME's place (a target's new file, or the journal), ".NAME.bakPID.N" for a
/// target's old file kept while its series is put in place. PID is the process that made it and
/// N a number of that run's own, nine digits each at most.
struct OwnFileName {
  static constexpr std::string_view kTemporary = "tmp";
  static constexpr std::string_view kBackup = "bak";

  std::string target;     // NAME
  std::string_view kind;  // kTemporary or kBackup
  unsigned long process = 0;
  unsigned long number = 0;

  std::string str() const;
  /// The parts of `name`, or nullopt when it is not such a name.
  static std::optional<OwnFileName> parse(std::string_view name);
};

/// The files of one entry of a series where they are: in a held directory, its target, its
/// temporary, and its backup ("" for a target that did not exist).
struct EntryFiles {
  platform::FileHandle directory = platform::kNoFile;
  std::string target;
  std::string temp;
  std::string backup;
};

/// Where the target of a journal's entry is: the entry's bare name in the event folder, found
/// by the rule every name the run writes is found by, in a directory held. Throws Failure.
using FindTarget = std::function<platform::Target(std::string_view name)>;

/// Writes a series of files as one: each is staged in a temporary file beside its target, and
/// only when the last is written are they flushed as one batch and put in place, under a
/// journal that keeps each old file under a backup name until every replacement is made.
///
/// States and moves (a failure or an interrupt in any state before done puts the old files
/// back, or, where that fails, leaves the journal to the next run; a run killed or cut off by a
/// power failure is settled by the next run's `recover`):
///
///   state       what is on disk                          next
///   idle        nothing of the series                    begin -> staging
///   staging     temporaries beside their targets         commit: flush_all -> flushed
///   flushed     every temporary on the disk              write_journal -> journaled
///   journaled   the journal, renamed into place, synced  back_up_all -> backed up
///   backed up   each old file has a second name, synced  place_all -> placed
///   placed      every target is its new file, synced     mark_done -> done (the commit point)
///   done        journal marked done                      clean_up -> idle
///
/// From done on the run has succeeded: what cannot be tidied is a warning, and the next run
/// removes it.
class SeriesWriter {
 public:
  /// The journal's file name in the event folder, and the journal as the program names it.
  static constexpr std::string_view kJournalFile = ".quorlant.journal";
  static inline const std::string kJournal = in_event_folder(kJournalFile);

  /// `interrupts` is told when an interrupt must wait for the series to be undone rather than
  /// end the run at once.
  SeriesWriter(platform::FileSystem& files, platform::InterruptDeferral& interrupts,
               unsigned long process_id);
  SeriesWriter(const SeriesWriter&) = delete;
  SeriesWriter& operator=(const SeriesWriter&) = delete;
  /// Whatever is still staged is removed.
  ~SeriesWriter();

  /// The event folder, held, where the journal is kept: set before the first begin.
  void set_folder(platform::FileHandle folder) { folder_ = folder; }

  /// A new temporary file beside `target` in the held `directory`, with the permissions of
  /// `like`, to take its place later; `name` is the file as the program names it
  /// ("event\20150101.evt"), for reports and, by its bare name, for the journal. Returns its
  /// entry; throws Failure "cannot open NAME". From the first one on an interrupt waits for the
  /// run to undo the series (an interrupt Failure is thrown at the next step).
  std::size_t begin(platform::FileHandle directory, std::string target, std::string name,
                    const platform::FileStatus& like, platform::File& file);
  /// The temporary of `entry` is complete: its write-back starts, and it is kept for the flush
  /// of the batch. Throws Failure "cannot write NAME".
  void complete(std::size_t entry, platform::File& file);
  /// The temporary of `entry` will never be complete: it is closed and removed.
  void drop(std::size_t entry, platform::File& file);

  /// Puts every staged file in place, or none: flushes them, writes the journal, keeps each old
  /// file under a backup name, renames, marks the journal done, removes the backups and the
  /// journal. Throws Failure or an interrupt Failure, both only before the journal is marked
  /// done: abandon then puts the old series back, or leaves its journal to the next run. Returns
  /// what could not be tidied after that, for a warning ("" when all went). Interrupts keep
  /// waiting until end_commit.
  [[nodiscard]] std::string commit();
  /// After commit: interrupts end the run at once again; one that waited ends it now.
  void end_commit();
  /// Whether a file is staged, to be put in place by commit.
  bool staged() const { return !entries_.empty(); }
  /// Removes what is staged and puts back what was replaced; says what became of the series.
  SeriesLeft abandon() noexcept;
  /// Throws an interrupt Failure when an interrupt is waiting for the run.
  void honour_interrupt() const;

  /// Finishes or undoes the series of a run that was cut off, by its journal in `folder`:
  /// `found` says which it was (kNone when there is no journal). Throws Failure, changing
  /// nothing, for a journal that is not this user's own as this program writes it, one that
  /// names a file `names` does not hold among them.
  static void recover(platform::FileSystem& files, platform::FileHandle folder,
                      const SeriesNames& names, const FindTarget& find, JournalState& found);
  /// What the journal in `folder` says, changing nothing. Throws Failure for a journal that is
  /// not to be trusted, and for one a live run is writing now (it holds the folder's lock).
  static JournalState inspect(platform::FileSystem& files, platform::FileHandle folder,
                              const SeriesNames& names, const FindTarget& find);

 private:
  struct Entry : EntryFiles {
    std::string name;      // as the program names it, for reports and the journal
    platform::File file;   // the complete temporary, while it is held open
    bool touched = false;  // the old file has its backup name, or the temporary is the target
  };
  // This run's own name beside `target`.
  std::string beside(std::string_view target, std::string_view kind, unsigned long number) const {
    return OwnFileName{std::string(target), kind, process_id_, number}.str();
  }
  platform::FileHandle create_beside(platform::FileHandle directory, std::string_view target,
                                     const platform::FileStatus& like, unsigned long& number,
                                     std::string_view cannot);
  void close_held(std::string_view cannot);
  void flush_all();
  void write_journal();
  void back_up_all();
  void place_all();
  void mark_done();
  std::string clean_up();
  std::string remove_leftovers();
  void forget() noexcept;  // back to idle
  bool undo() noexcept;
  // Syncs the directory of each entry once, every one whatever fails: the first failure, as
  // "cannot write DIRECTORY: reason", or "" when none failed.
  std::string unsynced_directories();
  void sync_directories();  // throws Failure with the first failure

  platform::FileSystem& files_;
  platform::InterruptDeferral& interrupts_;
  platform::FileHandle folder_ = platform::kNoFile;
  unsigned long process_id_;
  unsigned long counter_ = 0;
  std::vector<Entry> entries_;
  platform::File journal_file_;   // held open from its writing to its done mark
  bool journal_written_ = false;  // the journal has its name: an undo removes it
  std::size_t journal_size_ = 0;  // where its "done" line goes
  SeriesLeft left_ = SeriesLeft::kUntouched;
};

}  // namespace quorlant::recordio
