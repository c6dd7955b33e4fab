#pragma once

#include "recordio/record_io.h"
#include "shared/run_data.h"

namespace quorlant::eventfile {

/// Writes the event file named by `fln` entry 99 on unit 99: 108 lines from the run data (the
/// event in hand: its start texts, name and length; the answers; the basin file names), closed
/// and complete on return. When the open fails, the run stops with its report and "program
/// aborted in write_event".
void write_event(recordio::RecordIo& io, const shared::RunData& data);

/// Stops the run as an event file that cannot be opened does: the two console lines naming
/// `path` (the whole table entry) and the status of the open (`ios`, the system's error
/// number), then "program aborted in write_event".
[[noreturn]] void abort_on_open_failure(const shared::FileName& path, std::int32_t ios);

}  // namespace quorlant::eventfile
