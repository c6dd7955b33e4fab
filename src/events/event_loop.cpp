#include "events/event_loop.h"

#include <string>
#include <system_error>

#include "eventfile/write_event.h"
#include "events/event_calendar.h"
#include "events/file_name_set.h"

namespace quorlant::events {

using recordio::kFollowListUnit;

void open_follow_list(recordio::RecordIo& io) {
  io.open(kFollowListUnit, kFollowList);
  // Each line reaches the disk as it is written, so an interrupted run leaves the list as far
  // as it got.
  io.units().write_through(kFollowListUnit);
}

namespace {

// A list that could not be opened ends the run before the first event rather than after its
// file: a missing event directory aside, which the first event file reports in its own words.
void check_follow_list(recordio::RecordIo& io) {
  const std::error_code error = io.units().open_error(kFollowListUnit);
  if (error && error != std::errc::no_such_file_or_directory) {
    throw recordio::IoFailure(recordio::cannot_open(kFollowList, error));
  }
}

recordio::FileOutcome outcome_of(bool dry_run, bool replacing) {
  using recordio::FileOutcome;
  if (!dry_run) return FileOutcome::kCreated;
  return replacing ? FileOutcome::kWouldReplace : FileOutcome::kWouldBeCreated;
}

}  // namespace

EventTally run_event_loop(recordio::RecordIo& io, shared::RunData& data,
                          const FirstPassSteps& first_pass) {
  EventTally tally;
  const bool dry_run = io.units().dry_run();
  bool questions_done = false;
  const std::int32_t noevents = data.noevents;
  for (std::int32_t event = 1; event <= noevents; ++event) {
    if (event == 1) check_follow_list(io);
    if (event > 1) advance_to_next_event(io, data);
    take_event_length(io, data, event == 1);
    if (!questions_done) first_pass.ask_options();
    compose_name_set(io, data);
    if (event == 1) first_pass.show_warning();
    data.fln[shared::kEventFileEntry] = data.fln1.view();
    // Only a dry run says which files exist; a real run asks the file system nothing more.
    const bool replacing = dry_run && io.units().exists(data.fln1.trimmed());
    data.ios = eventfile::write_event(io, data);
    ++tally.files;
    if (replacing) ++tally.replaced;
    io.listener().event_file(data.fln[shared::kEventFileEntry].view(),
                             outcome_of(dry_run, replacing));
    // A blank and the path padded to 72 characters: 73 in all.
    io.message(kFollowListUnit, {data.fln1.first(72)});
    questions_done = true;
  }
  return tally;
}

void close_follow_list(recordio::RecordIo& io) {
  io.close(kFollowListUnit);
}

}  // namespace quorlant::events
