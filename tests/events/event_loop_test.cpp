#include "events/event_loop.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "events/event_calendar.h"
#include "expected_files.h"
#include "test_support.h"

namespace quorlant::events {
namespace {

using testing::read_file;
using testing::evt::created_line;
using testing::evt::follow_line;

struct Bench : testing::IoBench {
  Bench() { std::filesystem::create_directory(dir / "event"); }
  std::vector<std::string> steps;  // what the first-pass steps saw, in order

  bool exists(std::string_view name) const { return std::filesystem::exists(dir / name); }

  // Runs the loop as the run driver does, from the start answer on.
  void run(std::int32_t noevents, std::int32_t no_months, std::string_view start) {
    data.noevents = noevents;
    data.no_months = no_months;
    data.start = start;
    split_start(data);
    open_follow_list(io);
    prepare_first_event(io, data);
    FirstPassSteps first_pass{
        [&] {
          steps.push_back("options: length " + std::to_string(data.evtlength) +
                          (exists("temp1.fls") ? ", temp1" : "") +
                          (exists("temp3.fls") ? ", temp3" : ""));
          data.bsnme = "gr10k";
          data.snwflg = "y";
          data.deltat_report = 1;
        },
        [&] {
          steps.push_back("warning: " + std::string(data.fln1.trimmed()) + ", " +
                          std::string(data.fln[1].trimmed()) +
                          (exists("event/" + data.evtname.str() + ".evt") ? ", file" : ""));
        },
        {}};
    finish_series(io, run_event_loop(io, data, first_pass));
  }
};

TEST(EventLoop, ThreeMonthlyEventsAcrossTheYearEnd) {
  Bench b;
  b.run(3, 1, "2015 11 15 06");
  // The options come after the first length and before the first names; the warning after
  // the first names and before the first file; neither comes again.
  EXPECT_EQ(b.steps, (std::vector<std::string>{
                         "options: length 720, temp1",
                         "warning: event\\20151115.evt, basin\\gr10k_shd.r2c",
                     }));
  EXPECT_EQ(b.out.str(), created_line("event\\20151115.evt") + created_line("event\\20151201.evt") +
                             created_line("event\\20160101.evt"));
  EXPECT_EQ(read_file(b.dir / "event/events_to_follow.txt"),
            follow_line("event\\20151115.evt") + follow_line("event\\20151201.evt") +
                follow_line("event\\20160101.evt"));
  EXPECT_EQ(b.data.fln[99].trimmed(), "event\\20160101.evt");
  // The three files themselves are compared whole in run/whole_run_test.cpp (the series row
  // "monthly events across a year end keep the hour").
}

}  // namespace
}  // namespace quorlant::events
