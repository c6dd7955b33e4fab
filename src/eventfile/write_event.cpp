#include "eventfile/write_event.h"

#include <optional>

#include "eventfile/event_file_layout.h"
#include "recordio/failure.h"

namespace quorlant::eventfile {

using recordio::kFileUnit;

void abort_on_open_failure(const shared::FileName& path, std::int32_t ios) {
  // The whole 256-character entry goes on the report, trailing blanks and all.
  throw recordio::Stop(
      {recordio::message_line({"problem opening", path.view(), "in write_event @ line 15"}),
       recordio::message_line({"ios=", ios, " possible problem: lile is locked"})},
      "program aborted in write_event");
}

void write_event(recordio::RecordIo& io, const shared::RunData& data) {
  const shared::FileName& path = data.fln[shared::kEventFileEntry];
  io.connect(kFileUnit, path.trimmed(), recordio::OpenMode::kReplaceWhole);
  if (const recordio::Failure* failed = io.units().open_failure(kFileUnit))
    abort_on_open_failure(path, failed->error().value());
  for (const EventFileLine& line : event_file_layout()) {
    // The one value a line carries, if any; nothing is computed, only copied or converted by
    // the line's format.
    std::optional<recordio::OutItem> value;
    switch (line.value) {
      case LineValue::kNone: break;
      case LineValue::kYear: value = data.yy1.view(); break;
      case LineValue::kMonth: value = data.mm1.view(); break;
      case LineValue::kDay: value = data.dd1.view(); break;
      case LineValue::kHour: value = data.hh1.view(); break;
      case LineValue::kOption: value = (data.*line.option).view(); break;
      case LineValue::kRate: value = data.disaggregation_rate; break;
      case LineValue::kLength: value = data.evtlength; break;
      case LineValue::kDeltatReport: value = data.deltat_report; break;
      case LineValue::kBasinFile: value = data.fln[line.fln_entry].view(); break;
      case LineValue::kEventName: value = data.evtname.view(); break;
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
