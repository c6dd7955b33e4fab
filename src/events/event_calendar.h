#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "recordio/record_io.h"
#include "shared/run_data.h"

namespace quorlant::events {

/// Why the first 13 columns of `start` name no real hour of a real day, or nothing when they
/// do: "yyyy mm dd hh" in digits and single blanks, a year from 1000, hour 00 to 23, a day its
/// month has (29 February only in a year divisible by 4, the leap rule of the event lengths).
std::optional<std::string> start_problem(std::string_view start);

/// The year in which the last of `noevents` events of `no_months` months starts, the first one
/// starting in `iyear` and `imonth`.
std::int64_t last_event_year(std::int32_t iyear, std::int32_t imonth, std::int32_t noevents,
                             std::int32_t no_months);

/// The event file of every event of the series, in event order, as the loop will name them:
/// the first one's is `fln1`, composed for the first event; the others step on from the first
/// event's year and month as the advance step does. Empty without events.
std::vector<std::string> series_event_files(const shared::RunData& data);

/// Cuts the start answer into yy1 (columns 1-4), mm1 (6-7), dd1 (9-10) and hh1 (12-13).
void split_start(shared::RunData& data);

/// The first event's name, year and month, through temp0.fls. When events are asked for, a start
/// that start_problem refuses stops the run first (status 1, on the error stream).
void prepare_first_event(recordio::RecordIo& io, shared::RunData& data);

/// Steps to the next month or year and derives its name and start texts through temp5.fls.
void advance_to_next_event(recordio::RecordIo& io, shared::RunData& data);

/// Sets evtlength and rewrites temp1.fls (and temp2.fls on the first event). Stops the run when
/// the months per event are neither 1 nor 12, or when the last event would start after the year
/// 9999, which the four columns of the year cannot hold.
void take_event_length(recordio::RecordIo& io, shared::RunData& data, bool first_event);

}  // namespace quorlant::events
