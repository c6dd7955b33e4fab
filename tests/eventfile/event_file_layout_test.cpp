#include "eventfile/event_file_layout.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "eventfile/event_file_writer.h"

namespace quorlant::eventfile {
namespace {

// Data sets far from the typical run: none may add, drop or widen a line.
std::vector<std::pair<std::string, std::function<void(EventFileWriter&)>>> data_sets() {
  return {
      {"blank answers, empty entries, zero values",
       [](EventFileWriter& w) {
         for (auto* answer : {&w.data.snwflg, &w.data.vapflg, &w.data.smrflg, &w.data.resinflg,
                              &w.data.wetflg, &w.data.divertflg, &w.data.lakeflg, &w.data.iceflg}) {
           *answer = "";
         }
         for (int entry = 1; entry <= 6; ++entry) w.data.fln[entry] = "";
         w.data.evtlength = 0;
         w.data.deltat_report = 0;
       }},
      {"values that overflow their fields, long names",
       [](EventFileWriter& w) {
         w.data.disaggregation_rate = -123.456F;
         w.data.evtlength = -2147483647 - 1;
         w.data.deltat_report = 2147483647;
         for (int entry = 1; entry <= 6; ++entry) w.data.fln[entry] = std::string(200, 'x');
         w.data.yy1 = "9999";
         w.data.evtname = "99991201";
       }},
  };
}

// Every line has the length it has in the typical run's file (written out byte for byte in
// write_event_test.cpp) whatever the data. Only the date lines, the answers, the rate, the
// lengths, the reporting step, the basin files and the event name inside the references carry
// values; every other line is the same in every file.
TEST(EventFileLayout, EveryLineHasItsLengthAndOnlyValuesChange) {
  const std::set<std::size_t> value_lines = {4,  5,  6,  7,  9,  11, 12, 13, 21, 32, 35,
                                             36, 46, 48, 49, 50, 52, 53, 54, 55, 56, 57};
  EventFileWriter typical;
  const auto reference = typical.write_lines();
  ASSERT_EQ(reference.size(), 108U);
  for (const auto& [name, change] : data_sets()) {
    EventFileWriter writer;
    change(writer);
    const std::string event_name(writer.data.evtname.view());
    const auto written = writer.write_lines();
    ASSERT_EQ(written.size(), 108U) << name;
    for (std::size_t number = 1; number <= 108; ++number) {
      std::string line = written[number - 1];
      EXPECT_EQ(line.size(), reference[number - 1].size())
          << name << ", line " << number << ": \"" << line << "\"";
      if (value_lines.contains(number)) continue;
      // The event name stands in columns 37 to 44 of a data-file reference.
      if (number >= 59 && number <= 104 && line.size() > 36) {
        EXPECT_EQ(line.substr(36, 8), event_name) << name << ", line " << number;
        line.replace(36, 8, "20150101");
      }
      EXPECT_EQ(line, reference[number - 1]) << name << ", line " << number;
    }
    // Nothing follows the end line.
    EXPECT_TRUE(writer.file().ends_with("\n#\neof\n")) << name;
  }
}

}  // namespace
}  // namespace quorlant::eventfile
