#include "events/event_loop.h"

#include <string>
#include <system_error>

#include "eventfile/write_event.h"
#include "events/event_calendar.h"
#include "events/file_name_set.h"
#include "recordio/failure.h"

namespace quorlant::events {

using recordio::kFollowListUnit;

void open_follow_list(recordio::RecordIo& io) {
  io.connect(kFollowListUnit, kFollowList);
}

namespace {

// A list that could not be opened ends the run before the first event rather than after its
// file: a missing event directory aside, which the first event file reports in its own words.
void check_follow_list(recordio::RecordIo& io) {
  const recordio::Failure* failed = io.units().open_failure(kFollowListUnit);
  if (failed && !failed->error().is(std::errc::no_such_file_or_directory)) throw *failed;
}

// The event's file, then its list entry; a real run announces the file once it is in place.
void write_event_file(recordio::RecordIo& io, shared::RunData& data, EventTally& tally) {
  data.fln[shared::kEventFileEntry] = data.fln1.view();
  const bool dry_run = io.units().dry_run();
  // Only a dry run says which files exist; a real run asks the file system nothing more.
  const bool replacing = dry_run && io.units().exists(data.fln1.trimmed());
  eventfile::write_event(io, data);
  // The list's new lines go to a file of their own, put in place with the series. Opened once
  // the first event file is written, so a missing event directory is reported by that file.
  if (++tally.files == 1) io.open(kFollowListUnit, kFollowList, recordio::OpenMode::kReplaceWhole);
  if (replacing) ++tally.replaced;
  using recordio::FileOutcome;
  if (dry_run) {
    io.listener().event_file(data.fln[shared::kEventFileEntry].view(),
                             replacing ? FileOutcome::kWouldReplace : FileOutcome::kWouldBeCreated);
  } else {
    tally.staged.emplace_back(data.fln[shared::kEventFileEntry].trimmed());
  }
  // A blank and the path padded to 72 characters: 73 in all.
  io.message(kFollowListUnit, {data.fln1.first(72)});
}

}  // namespace

EventTally run_event_loop(recordio::RecordIo& io, shared::RunData& data,
                          const FirstPassSteps& first_pass) {
  EventTally tally;
  const std::int32_t noevents = data.noevents;
  if (noevents < 1) return tally;
  // The first event brings the rest of the dialogue: the options after its length, the
  // warning after its names; then the whole series is checked before its first file.
  check_follow_list(io);
  take_event_length(io, data, true);
  first_pass.ask_options();
  compose_name_set(io, data);
  first_pass.show_warning();
  if (first_pass.check_series) first_pass.check_series();
  write_event_file(io, data, tally);
  for (std::int32_t event = 2; event <= noevents; ++event) {
    advance_to_next_event(io, data);
    take_event_length(io, data, false);
    compose_name_set(io, data);
    write_event_file(io, data, tally);
  }
  return tally;
}

void finish_series(recordio::RecordIo& io, const EventTally& tally) {
  io.close(kFollowListUnit);
  if (io.units().dry_run()) return;
  const std::string untidy = io.units().commit_series();
  // From here on the new series is in place and the run has succeeded: an interrupt that came
  // meanwhile ends it once every file in place is told.
  for (const std::string& path : tally.staged) {
    io.listener().event_file(path, recordio::FileOutcome::kCreated);
  }
  if (!untidy.empty()) io.note(untidy);
  io.units().end_commit();
}

}  // namespace quorlant::events
