#pragma once

#include "recordio/record_io.h"

namespace quorlant::run {

/// One whole run, from the start banner to its stop; returns the exit status. When the units
/// are in a dry run, the closing gives the counts of the files that would have been written.
/// A run holds the lock on event\ from its start, and ends at once with status 2 when another
/// run holds it or it cannot be taken; a dry run neither takes nor asks it.
/// Before the first event file, every one of the series must be replaceable and the disk must
/// have room for them all, or nothing is written.
int run_sequence(recordio::RecordIo& io);

}  // namespace quorlant::run
