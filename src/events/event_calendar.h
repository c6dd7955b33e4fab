#pragma once

#include "recordio/record_io.h"
#include "shared/run_data.h"

namespace quorlant::events {

/// Hours of each month of a common year, January to December, then the same twelve again so
/// that a yearly event starting in any month adds up twelve entries without wrapping.
inline constexpr int kMohours[24] = {744, 672, 744, 720, 744, 720, 744, 744, 720, 744, 720, 744,
                                     744, 672, 744, 720, 744, 720, 744, 744, 720, 744, 720, 744};

/// Cuts the start answer into yy1 (columns 1-4), mm1 (6-7), dd1 (9-10) and hh1 (12-13).
void split_start(shared::RunData& data);

/// The first event's name, year and month, through temp0.fls. Throws IoFailure when the date
/// columns do not read as numbers.
void prepare_first_event(recordio::RecordIo& io, shared::RunData& data);

/// Steps to the next month or year and derives its name and start texts through temp5.fls.
void advance_to_next_event(recordio::RecordIo& io, shared::RunData& data);

/// Sets evtlength and rewrites temp1.fls (and temp2.fls on the first event). Stops the run when
/// the months per event are neither 1 nor 12, or when the start cannot make a series: a month
/// outside 1 to 12, or a last event beyond the year 9999.
void take_event_length(recordio::RecordIo& io, shared::RunData& data, bool first_event);

}  // namespace quorlant::events
