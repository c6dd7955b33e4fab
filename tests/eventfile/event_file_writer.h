#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "eventfile/write_event.h"
#include "test_support.h"

namespace quorlant::eventfile {

using recordio::FixedText;

/// One call of write_event in a fresh working directory with an `event` directory, set up as
/// the first event of a run of monthly events from 2015 01 01 00 for the basin gr10k, snow melt
/// answered y and the other options n. Tests change the arguments or the data before writing.
class EventFileWriter : public testing::IoBench {
 public:
  EventFileWriter() {
    std::filesystem::create_directory(dir / "event");
    data.snwflg = "y";
    for (auto* answer : {&data.vapflg, &data.smrflg, &data.resinflg, &data.wetflg, &data.divertflg,
                         &data.lakeflg, &data.iceflg}) {
      *answer = "n";
    }
    data.disaggregation_rate = 0.0F;
    data.deltat_report = 1;
    data.fln[1] = "basin\\gr10k_shd.r2c";
    data.fln[2] = "basin\\gr10k_par.csv";
    data.fln[3] = "basin\\gr10k_ch_par.r2c";
    data.fln[4] = "basin\\gr10k.pdl";
    data.fln[5] = "basin\\gr10k.sdc";
    data.fln[6] = "basin\\gr10k.wqd";
    data.fln[99] = "event\\20150101.evt";
  }

  /// Writes the file and puts it in place, as the series it would be one file of.
  void write() {
    write_event(io, event_data());
    io.units().commit_series();
  }

  /// Writes the file through a run, as the program does: the exit status.
  int run() {
    return testing::reported(
        [&] {
          return io.run([&](recordio::RecordIo& run_io) {
            write_event(run_io, event_data());
            run_io.units().commit_series();
          });
        },
        err);
  }

  /// The run data with the event in hand set from the members below.
  const shared::RunData& event_data() {
    data.yy1 = yy1.view();
    data.mm1 = mm1.view();
    data.dd1 = dd1.view();
    data.hh1 = hh1.view();
    data.evtname = evtname.view();
    data.evtlength = evtlength;
    return data;
  }

  std::filesystem::path path() const { return dir / "event" / "20150101.evt"; }
  std::string file() const { return testing::read_file(path()); }

  /// Writes the file and returns its lines without terminators; every line must end in '\n'.
  std::vector<std::string> write_lines() {
    write();
    return testing::split_lines(file());
  }

  FixedText<4> yy1{"2015"};
  FixedText<2> mm1{"01"};
  FixedText<2> dd1{"01"};
  FixedText<2> hh1{"00"};
  FixedText<8> evtname{"20150101"};
  std::int32_t evtlength = 744;
};

/// A keyword line: the keyword blank-padded to column 30, the value from column 31.
inline std::string keyword_line(std::string_view keyword, std::string_view value) {
  std::string line(keyword);
  line.resize(30, ' ');
  return line + std::string(value);
}

}  // namespace quorlant::eventfile
