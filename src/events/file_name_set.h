#pragma once

#include "recordio/record_io.h"
#include "shared/run_data.h"

namespace quorlant::events {

/// Length of the basin name as used in file names: the characters before its first blank.
int basin_name_length(const recordio::FixedText<8>& bsnme);

/// Composes the event's file names, fln entries 1 to 23 and fln1, and leaves them in temp3.fls,
/// one record each.
void compose_name_set(recordio::RecordIo& io, shared::RunData& data);

}  // namespace quorlant::events
