#pragma once

#include "recordio/record_io.h"
#include "shared/run_data.h"

namespace quorlant::run {

/// Number of events, months per event and the start of the first event. On a terminal an
/// answer that fails its check is asked again.
void ask_first_group(recordio::RecordIo& io, shared::RunData& data);

/// The model options, the disaggregation rate, the reporting time step and the basin name;
/// asked during the first event only. A basin name that is cut gets a warning.
void ask_second_group(recordio::RecordIo& io, shared::RunData& data);

}  // namespace quorlant::run
