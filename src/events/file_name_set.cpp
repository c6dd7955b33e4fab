#include "events/file_name_set.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <string>
#include <string_view>

#include "eventfile/event_names.h"

namespace quorlant::events {

using recordio::FixedText;
using recordio::kFileUnit;

namespace {

constexpr std::string_view kBasinPrefix = "basin\\";

// The basin file endings, each written in 11 columns with its trailing blanks.
// Record 16 is written like a basin record too; its ending is left blank, since no file of
// that name is ever read.
const std::array<FixedText<11>, 8> kEndings = {
    FixedText<11>("_shd.r2c"),  FixedText<11>("_par.csv"), FixedText<11>("_ch_par.r2c"),
    FixedText<11>(".pdl"),      FixedText<11>(".sdc"),     FixedText<11>(".wqd"),
    FixedText<11>("_diff.r2c"), FixedText<11>("")};
constexpr std::size_t kRecord16Ending = 7;

struct DataName {
  std::string_view directory;
  std::string_view ending;
};

// Records 8 to 15, then 17 to 21.
constexpr std::array<DataName, 8> kDataNamesBefore16 = {{{"raing\\", ".rag"},
                                                         {"strfw\\", ".str"},
                                                         {"resrl\\", ".rel"},
                                                         {"snow1\\", "_crs.pt2"},
                                                         {"raduc\\", ".rad"},
                                                         {"radcl\\", "_met.r2c"},
                                                         {"radar\\", ".scn"},
                                                         {"raduc\\", ".clt"}}};
constexpr std::array<DataName, 5> kDataNamesAfter16 = {{{"tempr\\", ".tag"},
                                                        {"tempr\\", "_tem.r2c"},
                                                        {"strfw\\", ".gwt"},
                                                        {"tempr\\", ".tmx"},
                                                        {"snowg\\", ".dsn"}}};

}  // namespace

void compose_name_set(recordio::RecordIo& io, shared::RunData& data) {
  io.open(kFileUnit, "temp3.fls", recordio::OpenMode::kScratch);
  // The basin name in file names: the characters before its first blank (a tab counts as any
  // other). An empty name still gives one character: the blank that begins it.
  const std::string_view basin = data.bsnme.view();
  const std::string_view name = basin.substr(0, std::max<std::size_t>(basin.find(' '), 1));
  const std::string_view evtname = data.evtname.view();

  // Each record is its pieces side by side, each filling its columns exactly: a directory of 6
  // characters, the basin name or the event name (8), an ending. All are handed over at once.
  std::string records;
  records.reserve(1024);  // 24 records of at most 25 characters
  const auto add = [&records](std::initializer_list<std::string_view> pieces) {
    for (const std::string_view piece : pieces) records += piece;
    records += '\n';
  };
  for (std::size_t k = 0; k < 7; ++k) add({kBasinPrefix, name, kEndings[k].view()});
  for (const DataName& d : kDataNamesBefore16) add({d.directory, evtname, d.ending});
  add({kBasinPrefix, name, kEndings[kRecord16Ending].view()});
  for (const DataName& d : kDataNamesAfter16) add({d.directory, evtname, d.ending});
  add({"                "});  // 16 blanks
  add({recordio::in_event_folder("event.evt")});
  add({recordio::in_event_folder(eventfile::event_file_name(evtname))});
  io.units().write(kFileUnit, records);

  // The file is left behind; the entries are taken from what was written, as reading it back
  // through a 30-column text field would give them: records 1 to 23 into fln entries 1 to 23,
  // record 24 into fln1.
  std::string_view rest = records;
  for (int entry = 1; entry <= 24; ++entry) {
    const std::size_t end = rest.find('\n');
    (entry < 24 ? data.fln[entry] : data.fln1) = rest.substr(0, std::min<std::size_t>(end, 30));
    rest.remove_prefix(end + 1);
  }
  io.close(kFileUnit);
}

}  // namespace quorlant::events
