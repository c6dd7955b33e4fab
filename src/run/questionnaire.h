#pragma once

#include "recordio/record_io.h"
#include "shared/run_data.h"

namespace quorlant::run {

/// Number of events, months per event and the start of the first event. When `strict`, a start
/// that is not exactly a real "yyyy mm dd hh" ends the run (status 2, naming its input line).
void ask_first_group(recordio::RecordIo& io, shared::RunData& data, bool strict = false);

/// The model options, the disaggregation rate, the reporting time step and the basin name;
/// asked during the first event only. A basin name that is cut gets a warning; when `strict`,
/// it ends the run (status 2) as does a y/n answer other than y, n, yes or no.
void ask_second_group(recordio::RecordIo& io, shared::RunData& data, bool strict = false);

/// For a strict answer script: ends the run (status 2) when a line is left after the last
/// answer. On a terminal nothing is checked.
void check_nothing_left(recordio::RecordIo& io);

}  // namespace quorlant::run
