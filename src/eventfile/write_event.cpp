#include "eventfile/write_event.h"

#include <optional>

#include "eventfile/event_file_layout.h"

namespace quorlant::eventfile {

using recordio::kConsoleOutput;
using recordio::kFileUnit;

void abort_on_open_failure(recordio::RecordIo& io, shared::RunData& data, std::error_code error) {
  data.ios = error.value();
  // The whole 256-character entry goes on the report, trailing blanks and all.
  io.message(kConsoleOutput,
             {"problem opening", data.fln[kFileUnit].view(), "in write_event @ line 15"});
  io.message(kConsoleOutput, {"ios=", data.ios, " possible problem: lile is locked"});
  recordio::stop("program aborted in write_event");
}

void write_event(recordio::RecordIo& io, shared::RunData& data, const FixedText<4>& yy1,
                 const FixedText<2>& mm1, const FixedText<2>& dd1, const FixedText<2>& hh1,
                 const FixedText<8>& evtname, std::int32_t evtlength) {
  const shared::FileName& path = data.fln[kFileUnit];
  const std::error_code error =
      io.open(kFileUnit, path.trimmed(), recordio::OpenMode::kReplaceWhole);
  data.ios = error.value();
  if (error) abort_on_open_failure(io, data, error);
  for (const EventFileLine& line : event_file_layout()) {
    // The one value a line carries, if any; nothing is computed, only copied or converted by
    // the line's format.
    std::optional<recordio::OutItem> value;
    switch (line.value) {
      case LineValue::kNone: break;
      case LineValue::kYear: value = yy1.view(); break;
      case LineValue::kMonth: value = mm1.view(); break;
      case LineValue::kDay: value = dd1.view(); break;
      case LineValue::kHour: value = hh1.view(); break;
      case LineValue::kOption: value = (data.*line.option).view(); break;
      case LineValue::kRate: value = data.disaggregation_rate; break;
      case LineValue::kLength: value = evtlength; break;
      case LineValue::kDeltatReport: value = data.deltat_report; break;
      case LineValue::kBasinFile: value = data.fln[line.fln_entry].view(); break;
      case LineValue::kEventName: value = evtname.view(); break;
    }
    if (value) {
      io.write(kFileUnit, line.format, {*value});
    } else {
      io.write(kFileUnit, line.format, {});
    }
  }
  io.close(kFileUnit);
}

}  // namespace quorlant::eventfile
