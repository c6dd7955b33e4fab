#include "eventfile/write_event.h"

#include "eventfile/event_file_layout.h"

namespace quorlant::eventfile {

using recordio::kConsoleOutput;
using recordio::kFileUnit;

void write_event(recordio::RecordIo& io, shared::RunData& data, const FixedText<4>& yy1,
                 const FixedText<2>& mm1, const FixedText<2>& dd1, const FixedText<2>& hh1,
                 const FixedText<8>& evtname, std::int32_t evtlength) {
  const shared::FileName& path = data.fln[kFileUnit];
  data.ios = io.open(kFileUnit, path.trimmed(), recordio::OpenMode::kReplaceWhole);
  if (data.ios != 0) {
    // The whole 256-character entry goes on the report, trailing blanks and all.
    io.message(kConsoleOutput, {"problem opening", path.view(), "in write_event @ line 15"});
    io.message(kConsoleOutput, {"ios=", data.ios, " possible problem: lile is locked"});
    recordio::stop("program aborted in write_event");
  }
  for (const EventFileLine& line : event_file_layout()) {
    switch (line.value) {
      case LineValue::kNone:
        io.write(kFileUnit, line.format, {});
        break;
      case LineValue::kYear:
        io.write(kFileUnit, line.format, {yy1.view()});
        break;
      case LineValue::kMonth:
        io.write(kFileUnit, line.format, {mm1.view()});
        break;
      case LineValue::kDay:
        io.write(kFileUnit, line.format, {dd1.view()});
        break;
      case LineValue::kHour:
        io.write(kFileUnit, line.format, {hh1.view()});
        break;
      case LineValue::kOption:
        io.write(kFileUnit, line.format, {(data.*line.option).view()});
        break;
      case LineValue::kRate:
        io.write(kFileUnit, line.format, {data.disaggregation_rate});
        break;
      case LineValue::kLength:
        io.write(kFileUnit, line.format, {evtlength});
        break;
      case LineValue::kDeltatReport:
        io.write(kFileUnit, line.format, {data.deltat_report});
        break;
      case LineValue::kBasinFile:
        io.write(kFileUnit, line.format, {data.fln[line.fln_entry].view()});
        break;
      case LineValue::kEventName:
        io.write(kFileUnit, line.format, {evtname.view()});
        break;
    }
  }
  io.close(kFileUnit);
}

}  // namespace quorlant::eventfile
