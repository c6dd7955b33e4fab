#pragma once

#include <cstdint>
#include <functional>

#include "recordio/record_io.h"
#include "shared/run_data.h"

namespace quorlant::events {

using shared::kFollowList;

/// What the first event adds to the dialogue, supplied by the run driver.
struct FirstPassSteps {
  std::function<void()> ask_options;   // after the first event's length
  std::function<void()> show_warning;  // after the first event's names, before its file
  std::function<void()> check_series;  // then, when given: every name is known, nothing written
};

/// What a loop wrote, or in a dry run would have written.
struct EventTally {
  std::int32_t files = 0;
  std::int32_t replaced = 0;  // of them, files that existed before; counted in a dry run only
};

/// Opens the list of events to follow on unit 90; the outcome is not examined.
void open_follow_list(recordio::RecordIo& io);

/// Events 1 to noevents: calendar, names, event file, "... created" line and list entry. In a
/// dry run each file's line says instead whether it would be created or replace one.
EventTally run_event_loop(recordio::RecordIo& io, shared::RunData& data,
                          const FirstPassSteps& first_pass);

/// Closes the list of events to follow and keeps it.
void close_follow_list(recordio::RecordIo& io);

}  // namespace quorlant::events
