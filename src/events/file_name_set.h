#pragma once

#include "recordio/record_io.h"
#include "shared/run_data.h"

namespace quorlant::events {

/// Composes the event's file names, fln entries 1 to 23 and fln1, and leaves them in temp3.fls,
/// one record each.
void compose_name_set(recordio::RecordIo& io, shared::RunData& data);

}  // namespace quorlant::events
