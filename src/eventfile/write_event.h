#pragma once

#include <cstdint>
#include <system_error>

#include "recordio/record_io.h"
#include "shared/run_data.h"

namespace quorlant::eventfile {

using recordio::FixedText;

/// Writes the event file named by `fln` entry 99 on unit 99: 108 lines from the arguments and
/// the run data, closed and complete on return. Sets `data.ios` to the status of the open; when
/// the open fails, reports it on the console and stops the run with
/// "program aborted in write_event".
void write_event(recordio::RecordIo& io, shared::RunData& data, const FixedText<4>& yy1,
                 const FixedText<2>& mm1, const FixedText<2>& dd1, const FixedText<2>& hh1,
                 const FixedText<8>& evtname, std::int32_t evtlength);

/// The report of an event file that cannot be opened, for the file named by `fln` entry 99:
/// sets `data.ios` to `error`'s number, shows the two console lines and stops the run with
/// "program aborted in write_event".
[[noreturn]] void abort_on_open_failure(recordio::RecordIo& io, shared::RunData& data,
                                        std::error_code error);

}  // namespace quorlant::eventfile
