#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "eventfile/write_event.h"
#include "test_support.h"

namespace quorlant::eventfile {

/// One call of write_event in a fresh working directory with an `event` directory, set up as
/// the first event of a run of monthly events from 2015 01 01 00 for the basin gr10k, snow melt
/// answered y and the other options n. Tests change the data before writing.
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
    data.yy1 = "2015";
    data.mm1 = "01";
    data.dd1 = "01";
    data.hh1 = "00";
    data.evtname = "20150101";
    data.evtlength = 744;
  }

  /// Writes the file and puts it in place, as the series it would be one file of.
  void write() {
    write_event(io, data);
    io.units().commit_series();
  }

  /// Writes the file through a run, as the program does: the exit status.
  int run() {
    return testing::reported(
        [&] {
          return io.run([&](recordio::RecordIo& run_io) {
            write_event(run_io, data);
            run_io.units().commit_series();
          });
        },
        err);
  }

  std::filesystem::path path() const { return dir / "event" / "20150101.evt"; }
  std::string file() const { return testing::read_file(path()); }

  /// Writes the file and returns its lines without terminators; every line must end in '\n'.
  std::vector<std::string> write_lines() {
    write();
    return testing::split_lines(file());
  }
};

}  // namespace quorlant::eventfile
