#pragma once

#include <array>
#include <string_view>

#include "recordio/record_io.h"

namespace quorlant::run {

/// A banner: 11 lines of exactly 56 characters, framed by asterisks.
using Banner = std::array<std::string_view, 11>;
extern const Banner kStartBanner;
extern const Banner kClosingBanner;

/// Shows the overwrite warning and the change notice, each followed by a pause.
void show_warning_and_notice(recordio::RecordIo& io);

/// One whole run, from the start banner to its stop; returns the exit status. When the units
/// are in a dry run, the closing gives the counts of the files that would have been written.
/// A run holds the lock on event\ from its start, and ends at once with status 2 when another
/// run holds it or it cannot be taken; a dry run neither takes nor asks it.
/// Before the first event file, every one of the series must be replaceable and the disk must
/// have room for them all, or nothing is written.
int run_sequence(recordio::RecordIo& io);

}  // namespace quorlant::run
