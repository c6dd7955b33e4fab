#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "eventfile/event_names.h"
#include "recordio/record_io.h"
#include "shared/run_data.h"

namespace quorlant::events {

using eventfile::kFollowList;

/// What the first event adds to the dialogue, supplied by the run driver.
struct FirstPassSteps {
  std::function<void()> ask_options;   // after the first event's length
  std::function<void()> show_warning;  // after the first event's names, before its file
  std::function<void()> check_series;  // then, when given: every name is known, nothing written
};

/// What a loop wrote, or in a dry run would have written.
struct EventTally {
  std::int32_t files = 0;
  std::int32_t replaced = 0;        // of them, files that existed before; counted in a dry run only
  std::vector<std::string> staged;  // the event files written, to announce once in place
};

/// Opens the list of events to follow on unit 90 where it is, which makes a missing list; the
/// outcome is not examined. The lines of the run replace it with the series (finish_series).
void open_follow_list(recordio::RecordIo& io);

/// Events 1 to noevents: calendar, names, event file and list entry, each file staged to be
/// put in place with the rest. In a dry run each file's line says instead whether it would be
/// created or replace one.
EventTally run_event_loop(recordio::RecordIo& io, shared::RunData& data,
                          const FirstPassSteps& first_pass);

/// Closes the list of events to follow, puts the whole series in place, then shows the
/// "... created" line of each event file.
void finish_series(recordio::RecordIo& io, const EventTally& tally);

}  // namespace quorlant::events
