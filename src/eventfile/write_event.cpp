#include "eventfile/write_event.h"

#include <string>
#include <string_view>

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

// The columns of a number on its line.
constexpr int kNumberColumns = 5;

// The line's value in its columns: a text as it is held, a number right-justified in them (the
// rate with two decimals) or asterisks when it does not fit. Nothing is computed, only copied.
void append_value(std::string& records, const EventFileLine& line, const shared::RunData& data) {
  switch (line.value) {
    case LineValue::kNone: break;
    case LineValue::kYear: records += data.yy1.view(); break;
    case LineValue::kMonth: records += data.mm1.view(); break;
    case LineValue::kDay: records += data.dd1.view(); break;
    case LineValue::kHour: records += data.hh1.view(); break;
    case LineValue::kOption: records += (data.*line.option).view(); break;
    case LineValue::kRate:
      records += recordio::format_real(data.disaggregation_rate, kNumberColumns, 2);
      break;
    case LineValue::kLength:
      records += recordio::format_integer(data.evtlength, kNumberColumns);
      break;
    case LineValue::kDeltatReport:
      records += recordio::format_integer(data.deltat_report, kNumberColumns);
      break;
    // The first 30 of the entry's 256 characters.
    case LineValue::kBasinFile: records += data.fln[line.fln_entry].first(30); break;
    case LineValue::kEventName: records += data.evtname.view(); break;
  }
}

}  // namespace

void write_event(recordio::RecordIo& io, const shared::RunData& data) {
  const shared::FileName& path = data.fln[shared::kEventFileEntry];
  io.connect(kFileUnit, path.trimmed(), recordio::OpenMode::kReplaceWhole);
  if (const recordio::Failure* failed = io.units().open_failure(kFileUnit))
    abort_on_open_failure(path, failed->error().number());
  // The whole file is made first, then handed over at once: about 5 KB.
  std::string records;
  records.reserve(8192);
  for (const EventFileLine& line : event_file_layout()) {
    records += line.text;
    append_value(records, line, data);
    records += line.ending;
    records += '\n';
  }
  io.units().write(kFileUnit, records);
  io.close(kFileUnit);
}

}  // namespace quorlant::eventfile
