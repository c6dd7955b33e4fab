#include "events/file_name_set.h"

#include <gtest/gtest.h>

#include <string>

#include "expected_files.h"
#include "test_support.h"

namespace quorlant::events {
namespace {

using testing::lines;
using testing::read_file;
using Bench = testing::IoBench;
using testing::evt::padded;
using testing::evt::temp3_records;

struct NameSetRow {
  std::string bsnme;
  std::string name_part;
};

TEST(ComposeNameSet, Temp3HoldsTheTwentyFourRecordsAndTheEntriesTheirFirst30Characters) {
  // The name ends at its first blank only; a tab counts as any other character.
  const NameSetRow rows[] = {
      {"gr10k", "gr10k"}, {"gr 10k", "gr"},         {"", " "},  // an empty name gives one blank
      {" gr10k", " "},    {"abcdefgh", "abcdefgh"}, {"abcdefghij", "abcdefgh"},
      {"g\t 1", "g\t"},
  };
  for (const auto& row : rows) {
    Bench b;
    b.data.bsnme = row.bsnme;
    b.data.evtname = "20150101";
    compose_name_set(b.io, b.data);
    const auto records = temp3_records(row.name_part, "20150101");
    const std::string where = "basin name \"" + row.bsnme + "\"";
    EXPECT_EQ(read_file(b.dir / "temp3.fls"), lines(records)) << where;
    for (int entry = 1; entry <= 23; ++entry) {
      const std::string& record = records[static_cast<std::size_t>(entry - 1)];
      EXPECT_EQ(b.data.fln[entry].str(), padded(record.substr(0, 30), 256))
          << where << ", entry " << entry;
    }
    EXPECT_EQ(b.data.fln1.str(), padded("event\\20150101.evt", 256)) << where;
    // No entry past 23 is touched.
    EXPECT_EQ(b.data.fln[24].str(), std::string(256, ' ')) << where;
    EXPECT_EQ(b.data.fln[99].str(), std::string(256, ' ')) << where;
  }
}

TEST(ComposeNameSet, ALaterEventRewritesTemp3FromItsStart) {
  Bench b;
  b.data.bsnme = "abcdefgh";
  b.data.evtname = "20150101";
  compose_name_set(b.io, b.data);
  // A shorter basin name gives shorter records: nothing of the longer ones may survive.
  b.data.bsnme = "ab";
  b.data.evtname = "20150201";
  compose_name_set(b.io, b.data);
  EXPECT_EQ(read_file(b.dir / "temp3.fls"), lines(temp3_records("ab", "20150201")));
  EXPECT_EQ(b.data.fln[1].trimmed(), "basin\\ab_shd.r2c");
  EXPECT_EQ(b.data.fln1.trimmed(), "event\\20150201.evt");
}

}  // namespace
}  // namespace quorlant::events
