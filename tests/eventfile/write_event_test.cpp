#include "eventfile/write_event.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "eventfile/event_file_writer.h"
#include "expected_files.h"
#include "test_support.h"

namespace quorlant::eventfile {
namespace {

using testing::read_file;
using testing::evt::kw;

// The first event of a run of monthly events from 2015 01 01 00, snow melt y, basin gr10k,
// written out line by line with every trailing blank. The whole file, the console and the event
// directory after it: WholeRun.SeriesOfEventsByteForByte, row "two monthly events".
const std::string kTypicalFirstEvent =
    testing::evt::event_file({"2015", "01", "01", "00", "20150101", "  744"});

// The file goes where fln entry 99 says, whatever the event name.
TEST(WriteEvent, OpensTheNameInEntry99) {
  EventFileWriter writer;
  writer.data.fln[99] = "event\\other.evt";
  writer.write();
  EXPECT_EQ(read_file(writer.dir / "event" / "other.evt"), kTypicalFirstEvent);
  EXPECT_FALSE(std::filesystem::exists(writer.path()));
}

// One changed value and the line that must carry it (line numbers count from 1).
struct ValueCase {
  std::string what;
  std::function<void(EventFileWriter&)> change;
  std::vector<int> line_numbers;
  std::string expected;
};

TEST(WriteEvent, ValuesInTheirColumns) {
  const auto rate = [](float value) {
    return [value](EventFileWriter& w) { w.data.disaggregation_rate = value; };
  };
  const auto length = [](std::int32_t value) {
    return [value](EventFileWriter& w) { w.data.evtlength = value; };
  };
  const auto deltat = [](std::int32_t value) {
    return [value](EventFileWriter& w) { w.data.deltat_report = value; };
  };
  const auto entry = [](int number, const char* value) {
    return [number, value](EventFileWriter& w) { w.data.fln[number] = value; };
  };
  const std::vector<ValueCase> cases = {
      // The rate through a real field of 5 columns and 2 decimals (its rounding is the field's).
      {"rate -1.5", rate(-1.5F), {46}, kw(":disaggregate") + "-1.50"},
      {"rate 250", rate(250.0F), {46}, kw(":disaggregate") + "*****"},
      // The event length on both hour lines, integer fields of 5 columns.
      {"length 99999", length(99999), {48, 49}, kw(":hoursraindata") + "99999"},
      {"length 100000", length(100000), {48, 49}, kw(":hoursraindata") + "*****"},
      // The reporting time step as answered, negative values included.
      {"deltat -9999", deltat(-9999), {50}, kw(":deltat_report") + "-9999"},
      {"deltat -10000", deltat(-10000), {50}, kw(":deltat_report") + "*****"},
      // Basin file names: the first 30 characters of the entry, always 60 columns in all.
      {"31-character basin name",
       entry(6, "basin\\abcdefghijklmnopq_shd.wqd"),
       {57},
       ":waterqualitydatafile         basin\\abcdefghijklmnopq_shd.wq"},
      {"empty basin entry",
       entry(3, ""),
       {54},
       kw(":channelparfile") + std::string(30, ' ')},
      // Date texts are copied as they are, no trimming and no conversion.
      {"year", [](EventFileWriter& w) { w.data.yy1 = "0999"; }, {4}, kw(":year") + "0999"},
      {"month", [](EventFileWriter& w) { w.data.mm1 = " 2"; }, {5}, kw(":month") + " 2"},
  };
  for (const ValueCase& c : cases) {
    EventFileWriter writer;
    c.change(writer);
    const auto written = writer.write_lines();
    ASSERT_EQ(written.size(), 108U) << c.what;
    for (const int number : c.line_numbers) {
      std::string expected = c.expected;
      // Both hour lines carry the same length.
      if (number == 49) expected.replace(0, 14, ":hoursflowdata");
      EXPECT_EQ(written[static_cast<std::size_t>(number - 1)], expected)
          << c.what << ", line " << number;
    }
  }
}

// The event file cannot be opened: the run stops with the report, and nothing is created.
TEST(WriteEvent, AFileThatCannotBeOpenedStopsTheRun) {
  struct Row {
    std::string label;
    bool directory_in_the_way;      // else the event directory is missing
    int error_number;               // the status of the open, as reported
    std::vector<std::string> left;  // everything in the working directory afterwards
  };
  const Row rows[] = {
      {"missing event directory", false, testing::kNoDirectoryError, {}},
      {"a directory of the same name",
       true,
       testing::kIsDirectoryError,
       {"event", "event/20150101.evt"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    EventFileWriter writer;
    if (row.directory_in_the_way) {
      std::filesystem::create_directory(writer.path());
    } else {
      std::filesystem::remove(writer.dir / "event");
    }
    EXPECT_EQ(writer.run(), 1);
    EXPECT_EQ(writer.out.str(),
              testing::evt::open_failure_report("event\\20150101.evt", row.error_number));
    EXPECT_EQ(writer.err.str(), "");
    EXPECT_EQ(testing::tree(writer.dir.path()), row.left);
    EXPECT_EQ(std::filesystem::is_directory(writer.path()), row.directory_in_the_way);
  }
}

// A write that fails ends the run with status 2: the row "the first event file is on a full
// device" of reliability/failing_files_test.cpp.

}  // namespace
}  // namespace quorlant::eventfile
