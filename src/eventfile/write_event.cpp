#include "eventfile/write_event.h"

#include <optional>
#include <span>
#include <string>

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

namespace {

// The one value a line carries, if any; nothing is computed, only copied or converted by the
// line's format.
std::optional<recordio::OutItem> value_of(const EventFileLine& line, const shared::RunData& data) {
  switch (line.value) {
    case LineValue::kNone: break;
    case LineValue::kYear: return data.yy1.view();
    case LineValue::kMonth: return data.mm1.view();
    case LineValue::kDay: return data.dd1.view();
    case LineValue::kHour: return data.hh1.view();
    case LineValue::kOption: return (data.*line.option).view();
    case LineValue::kRate: return data.disaggregation_rate;
    case LineValue::kLength: return data.evtlength;
    case LineValue::kDeltatReport: return data.deltat_report;
    case LineValue::kBasinFile: return data.fln[line.fln_entry].view();
    case LineValue::kEventName: return data.evtname.view();
  }
  return std::nullopt;
}

}  // namespace

void write_event(recordio::RecordIo& io, const shared::RunData& data) {
  const shared::FileName& path = data.fln[shared::kEventFileEntry];
  io.connect(kFileUnit, path.trimmed(), recordio::OpenMode::kReplaceWhole);
  if (const recordio::Failure* failed = io.units().open_failure(kFileUnit))
    abort_on_open_failure(path, failed->error().value());
  // The whole file is formatted first, then handed over at once: about 5 KB.
  std::string records;
  records.reserve(8192);
  for (const EventFileLine& line : event_file_layout()) {
    const std::optional<recordio::OutItem> value = value_of(line, data);
    recordio::format_records(line.format,
                             value ? std::span(&*value, 1) : std::span<const recordio::OutItem>(),
                             records);
  }
  io.units().write(kFileUnit, records);
  io.close(kFileUnit);
}

}  // namespace quorlant::eventfile
