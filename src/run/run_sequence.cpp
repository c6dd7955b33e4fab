#include "run/run_sequence.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <new>
#include <set>
#include <string>

#include "eventfile/write_event.h"
#include "events/event_calendar.h"
#include "events/event_loop.h"
#include "recordio/failure.h"
#include "run/questionnaire.h"
#include "shared/run_data.h"

namespace quorlant::run {

using recordio::kConsoleOutput;

namespace {

// 11 lines of exactly 56 characters, framed by asterisks.
constexpr std::array<std::string_view, 11> kBanner = {
    "********************************************************",
    "*                                                      *",
    "*                  QUELBRAN (TM)                       *",
    "*                                                      *",
    "*         Program quorlant    Jun. 23 2015             *",
    "*                                                      *",
    "*                   Version 9.9a                       *",
    "*                                                      *",
    "*           Event files for long modelling runs        *",
    "*                                                      *",
    "********************************************************",
};
// The closing banner differs in its line 5 alone: a comma after the day and one blank fewer
// before the date, so that it stays 56 characters wide.
constexpr std::size_t kDateLine = 4;
constexpr std::string_view kClosingDate =
    "*         Program quorlant   Jun. 23, 2015             *";

constexpr std::string_view kRunLogNote =
    "Please see file evt_info.txt for information re: this run";
constexpr std::string_view kNamesCorrespond = "                     if names correspond";

void say(recordio::RecordIo& io, std::string_view line) {
  io.message(kConsoleOutput, {line});
}

void show_banner(recordio::RecordIo& io, std::string_view date_line) {
  for (std::size_t i = 0; i < kBanner.size(); ++i) say(io, i == kDateLine ? date_line : kBanner[i]);
}

// What is missing, where, and what to do about it: the working directory as the system names it,
// or as the run was given it when the system cannot tell.
std::string no_event_folder(recordio::Units& units) {
  const std::filesystem::path event = units.path_of(recordio::kEventFolder);
  std::filesystem::path here;
  if (units.files().real_path(event.parent_path(), here))
    here = event.lexically_normal().parent_path();
  return "there is no event folder in " + here.string() +
         ": make it with `mkdir event` (Windows: `md event`), or run quorlant in the model's "
         "working directory";
}

// An event file takes whole blocks on disk: 4227 bytes at most (4335 with CR LF records), so
// two blocks of 4 KiB.
constexpr std::uint64_t kEventFileRoom = 8192;
// A list line is 73 characters and its record end.
constexpr std::uint64_t kListLineRoom = 75;
// The directory's own growth and whatever else takes room meanwhile.
constexpr std::uint64_t kRoomMargin = 64 * 1024;
// The list, its temporary, the journal, and a few to spare.
constexpr std::uint64_t kFilesMargin = 16;

// Room needed is rounded up and room free down, so that the two never read the same when one
// is short of the other.
std::string kib(std::uint64_t bytes, bool round_up) {
  return std::to_string((bytes + (round_up ? 1023 : 0)) / 1024) + " KiB";
}

// The targets of a series as the series check finds them: what replacing each would meet (one
// look at the file, and one of each directory), and no two names for one file.
class TargetCheck {
 public:
  explicit TargetCheck(recordio::Units& units) : units_(units) {}

  /// What `name` leads to, once it is known that it can be replaced; `fail` throws the failure
  /// of the system's error as the file's open would report it.
  template <typename Fail>
  platform::FileStatus check(const std::string& name, const Fail& fail) {
    platform::Target target;
    try {
      target = units_.resolve(name);
    } catch (const recordio::Failure& failure) {
      if (!failure.error()) throw;
      fail(failure.error());
    }
    const platform::FileStatus& status = target.status;
    if (status.kind == platform::FileKind::kFifo) fail(platform::not_regular_file_error());
    if (status.write_error) fail(status.write_error);
    if (status.kind == platform::FileKind::kOther) return status;
    if (!may_add_.contains(target.directory)) {
      if (const auto error = units_.files().may_add(target.directory)) fail(error);
      may_add_.insert(target.directory);
    }
    return status;
  }

  // Two names of the series that lead to one file would leave one of them without its file.
  void once(const std::string& name, const platform::FileStatus& status) {
    if (status.kind == platform::FileKind::kMissing) return;
    const auto [first, added] = met_.try_emplace(status.id, name);
    if (!added) {
      throw recordio::Failure(first->second + " and " + name +
                              " are one file (a link or a second name): quorlant writes each "
                              "file of a series once, so neither is written");
    }
  }

 private:
  recordio::Units& units_;
  std::set<platform::FileHandle> may_add_;  // directories a new file can be made in
  std::map<platform::FileId, std::string> met_;
};

// The disk has room for a staged series of `events` files at once: the old files are kept
// until the new ones are in place.
void check_room(recordio::RecordIo& io, std::size_t events) {
  const std::uint64_t needed =
      events * (kEventFileRoom + kListLineRoom) + kEventFileRoom + kRoomMargin;
  const std::uint64_t files_needed = events + kFilesMargin;
  platform::Room room;
  const std::string folder = recordio::in_event_folder("");
  recordio::fail_if(io.units().files().free_space(io.units().event_folder(), room),
                    "cannot tell how much room is left in " + folder);
  const std::string short_of = "not enough room in " + folder + " for the series: its " +
                               std::to_string(events) + " event files need ";
  if (room.bytes < needed) {
    throw recordio::Failure(short_of + kib(needed, true) + " with a margin, and " +
                            kib(room.bytes, false) + " are free");
  }
  if (room.files < files_needed) {
    throw recordio::Failure(short_of + std::to_string(files_needed) +
                            " new files with a margin, and " + std::to_string(room.files) +
                            " can still be made");
  }
}

// The event files of an earlier series in the event folder that this one does not write
// (`names`): they stay, and a shorter re-run says how many and their range. Empty when there are
// none.
std::string earlier_series(recordio::Units& units, const std::vector<std::string>& names) {
  std::vector<std::string> found;
  recordio::fail_if(units.files().names_at(units.event_folder(), found),
                    "cannot list " + recordio::in_event_folder(""));
  std::set<std::string> written;
  for (const std::string& name : names) written.insert(name.substr(name.rfind('\\') + 1));
  std::set<std::string> earlier;
  for (const std::string& name : found) {
    if (eventfile::names_a_series_file(name) && name != eventfile::kFollowListFile &&
        !written.contains(name))
      earlier.insert(name.substr(0, 8));
  }
  if (earlier.empty()) return {};
  const bool one = earlier.size() == 1;
  return std::to_string(earlier.size()) + (one ? " event file" : " event files") +
         " of an earlier series " + (one ? "stays" : "stay") + " in " +
         recordio::in_event_folder("") + " (" + *earlier.begin() +
         (one ? "" : " to " + *earlier.rbegin()) + "); the list names only this run's " +
         std::to_string(names.size());
}

// Every event file of the series can be replaced, and the disk has room for the whole staged
// series at once: checked once every name is known and before the first file is touched. A
// file that fails is reported as its open would be. Returns what earlier_series says.
std::string check_series(recordio::RecordIo& io, shared::RunData& data) {
  const std::vector<std::string> names = events::series_event_files(data);
  TargetCheck targets(io.units());
  for (const std::string& name : names) {
    targets.once(name, targets.check(name, [&](platform::SystemError error) {
      if (error == platform::not_regular_file_error()) throw recordio::Failure(name, error);
      data.fln[shared::kEventFileEntry] = name;
      eventfile::abort_on_open_failure(data.fln[shared::kEventFileEntry], error.number());
    }));
  }
  targets.once(eventfile::kFollowList,
               targets.check(eventfile::kFollowList, [](platform::SystemError error) {
                 throw recordio::Failure("cannot open " + eventfile::kFollowList, error);
               }));
  check_room(io, names.size());
  // The series is put in place under a journal made in event\, even where its files are links
  // to others elsewhere.
  targets.check(recordio::SeriesWriter::kJournal, [](platform::SystemError error) {
    throw recordio::Failure("cannot make " + std::string(recordio::SeriesWriter::kJournal) +
                                ", under which the series is put in place",
                            error);
  });
  return earlier_series(io.units(), names);
}

// The series of a run cut off while it put its files in place is finished or undone before
// anything else; a dry run only says what the next run will do, and ends.
void settle_interrupted_series(recordio::RecordIo& io) {
  if (io.units().dry_run()) {
    const recordio::JournalState state = io.units().interrupted_series();
    if (state != recordio::JournalState::kNone)
      throw recordio::Failure(recordio::interrupted_run_report(state, false));
    return;
  }
  recordio::JournalState found = recordio::JournalState::kNone;
  io.units().recover_series(found);
  if (found != recordio::JournalState::kNone)
    io.note(recordio::interrupted_run_report(found, true));
}

// A dry run's counts, or the note on the list written; then the closing banner.
void show_closing(recordio::RecordIo& io, const events::EventTally& tally,
                  const std::string& earlier) {
  if (io.units().dry_run()) {
    io.listener().dry_run_counts(tally.files, tally.replaced, earlier);
  } else {
    say(io, "A file called events\\events_to_follow.txt");
    say(io, "has been written");
    say(io, "This list can be used in the first event file");
    say(io, "of a connected set of events");
  }
  io.message(kConsoleOutput);
  show_banner(io, kClosingDate);
  io.message(kConsoleOutput);
  say(io, kRunLogNote);
}

// The overwrite warning and the change notice, each followed by a pause.
void show_warning_and_notice(recordio::RecordIo& io) {
  say(io, kNamesCorrespond);
  say(io, "WARNING:");
  say(io, "Existing evt files may be overwritten");
  say(io, kNamesCorrespond);
  say(io, "Hit Ctrl C to abort");
  io.pause();
  io.message(kConsoleOutput);
  say(io, "recent change(s):");
  say(io, "8/12/2011 - `ensimflg` has been replaced by `kenueflg`");
  say(io, "in the new evt file");
  say(io, "Pre-existing programs will not accept `kenueflg` &");
  say(io, "will produce an error");
  say(io, "Please update all executables");
  say(io, "New exec`s will recognize ensimflg & kenueflg");
  say(io, "so there is no need to edit your data files");
  io.message(kConsoleOutput);
  io.pause();
}

}  // namespace

int run_sequence(recordio::RecordIo& io) {
  return io.run([](recordio::RecordIo& run_io) {
    // The file-name table comes first: nothing is shown before it is obtained.
    std::unique_ptr<shared::RunData> data;
    try {
      data = std::make_unique<shared::RunData>();
    } catch (const std::bad_alloc&) {
      recordio::stop("**Allocation failed for area12 in eventsa l86**");
    }
    // A second run ends here, before it shows or writes anything; a dry run writes nothing.
    // One run at a time in a working directory: the lock on event\ is held from the start of
    // the run to its very end, after every unit is closed.
    if (!run_io.units().dry_run()) run_io.units().lock_event_folder();
    settle_interrupted_series(run_io);
    show_banner(run_io, kBanner[kDateLine]);
    // Said before the first question rather than after all the answers, and before the run log
    // or a scratch file is made: a newcomer's first run is most often in the wrong directory.
    if (!run_io.units().is_directory(recordio::kEventFolder))
      throw recordio::Failure(no_event_folder(run_io.units()));
    run_io.message(kConsoleOutput);
    say(run_io, kRunLogNote);
    run_io.open(recordio::kRunLogUnit, "evt_info.txt");  // stays open, never written

    ask_first_group(run_io, *data);
    events::split_start(*data);
    events::open_follow_list(run_io);
    events::prepare_first_event(run_io, *data);
    std::string earlier;  // what an earlier, longer series leaves in event\ beside this one
    const events::EventTally tally = events::run_event_loop(
        run_io, *data,
        {[&] { ask_second_group(run_io, *data); }, [&] { show_warning_and_notice(run_io); },
         [&] {
           earlier = check_series(run_io, *data);
           // A real run says it before it writes; a dry run in its summary.
           if (!earlier.empty() && !run_io.units().dry_run()) run_io.note(earlier);
         }});
    events::finish_series(run_io, tally);
    show_closing(run_io, tally, earlier);
  });
}

}  // namespace quorlant::run
