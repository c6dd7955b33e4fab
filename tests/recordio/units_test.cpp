#include "recordio/units.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <set>
#include <string>

#include "recordio/stop.h"
#include "test_support.h"

namespace quorlant::recordio {
namespace {

using testing::io_failure_of;
using testing::read_file;
using testing::TempDir;
using testing::write_file;

namespace fs = std::filesystem;
using testing::kPosixModes;

std::set<std::string> entries(const fs::path& directory) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(directory)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

TEST(Units, OpenCreatesAMissingFile) {
  TempDir dir;
  Units units(dir.path());
  EXPECT_EQ(units.open(99, "temp0.fls"), std::error_code());
  units.close(99);
  ASSERT_TRUE(fs::exists(dir / "temp0.fls"));
  EXPECT_EQ(read_file(dir / "temp0.fls"), "");
}

TEST(Units, OpeningDoesNotEmptyAnExistingFile) {
  TempDir dir;
  write_file(dir / "evt_info.txt", "old line\nno terminator");
  Units units(dir.path());
  ASSERT_EQ(units.open(98, "evt_info.txt"), std::error_code());
  units.close(98);
  EXPECT_EQ(read_file(dir / "evt_info.txt"), "old line\nno terminator");
}

TEST(Units, TheFirstRecordWrittenReplacesTheContentFromThere) {
  TempDir dir;
  write_file(dir / "temp3.fls", "a much longer old record\nand a second one\n");
  Units units(dir.path());
  ASSERT_EQ(units.open(99, "temp3.fls"), std::error_code());
  units.write(99, "new\n");
  units.close(99);
  EXPECT_EQ(read_file(dir / "temp3.fls"), "new\n");
}

TEST(Units, AWriteAfterReadingReplacesTheRestOfTheFile) {
  TempDir dir;
  write_file(dir / "f.txt", "a\nb\nc\n");
  Units units(dir.path());
  ASSERT_EQ(units.open(99, "f.txt"), std::error_code());
  EXPECT_EQ(units.read_record(99), "a");
  units.write(99, "X\n");
  units.close(99);
  EXPECT_EQ(read_file(dir / "f.txt"), "a\nX\n");
}

TEST(Units, RewindThenReadReturnsTheRecords) {
  TempDir dir;
  Units units(dir.path());
  ASSERT_EQ(units.open(99, "temp0.fls"), std::error_code());
  units.write(99, "2015010100\n");
  units.write(99, "second  \n");
  units.rewind(99);
  EXPECT_EQ(units.read_record(99), "2015010100");
  EXPECT_EQ(units.read_record(99), "second  ");
  // Rewound again, the same records come back.
  units.rewind(99);
  EXPECT_EQ(units.read_record(99), "2015010100");
  units.close(99);
  EXPECT_EQ(read_file(dir / "temp0.fls"), "2015010100\nsecond  \n");
}

TEST(Units, RewindAndWriteAgainLeavesOnlyTheNewRecords) {
  TempDir dir;
  Units units(dir.path());
  ASSERT_EQ(units.open(99, "temp5.fls"), std::error_code());
  units.write(99, "aaaaaaaa\nbbbbbbbb\n");
  units.rewind(99);
  units.write(99, "c\n");
  units.rewind(99);
  EXPECT_EQ(units.read_record(99), "c");
  EXPECT_THROW(units.read_record(99), IoFailure);
  units.close(99);
  EXPECT_EQ(read_file(dir / "temp5.fls"), "c\n");
}

TEST(Units, ReadsAnExistingFileAndItsLastLineWithoutTerminator) {
  TempDir dir;
  write_file(dir / "f.txt", "one\n\nthree");
  Units units(dir.path());
  ASSERT_EQ(units.open(99, "f.txt"), std::error_code());
  EXPECT_EQ(units.read_record(99), "one");
  EXPECT_EQ(units.read_record(99), "");
  EXPECT_EQ(units.read_record(99), "three");
  const std::string report = io_failure_of([&] { units.read_record(99); });
  EXPECT_NE(report.find("f.txt"), std::string::npos) << report;
}

TEST(Units, ReadingAnEmptyFileIsAnIoFailure) {
  TempDir dir;
  Units units(dir.path());
  ASSERT_EQ(units.open(99, "empty.fls"), std::error_code());
  EXPECT_THROW(units.read_record(99), IoFailure);
}

TEST(Units, OpeningAConnectedUnitClosesAndKeepsTheFirstFile) {
  TempDir dir;
  Units units(dir.path());
  ASSERT_EQ(units.open(99, "temp0.fls"), std::error_code());
  units.write(99, "A\n");
  ASSERT_EQ(units.open(99, "temp5.fls"), std::error_code());
  units.write(99, "B\n");
  EXPECT_EQ(read_file(dir / "temp0.fls"), "A\n");  // closed by the second open
  units.close(99);
  EXPECT_EQ(read_file(dir / "temp5.fls"), "B\n");
}

TEST(Units, WriteThroughPutsEachLineOnDiskAtOnce) {
  TempDir dir;
  fs::create_directory(dir / "event");
  write_file(dir / "event" / "events_to_follow.txt", "an older and longer list\nof events\n");
  Units units(dir.path());
  ASSERT_EQ(units.open(90, "event\\events_to_follow.txt"), std::error_code());
  units.write_through(90);
  units.write(90, " event\\20150101.evt\n");
  EXPECT_EQ(read_file(dir / "event" / "events_to_follow.txt"), " event\\20150101.evt\n");
  units.write(90, " event\\20150201.evt\n");
  EXPECT_EQ(read_file(dir / "event" / "events_to_follow.txt"),
            " event\\20150101.evt\n event\\20150201.evt\n");
  units.close(90);
}

TEST(Units, CloseAllKeepsEveryFile) {
  TempDir dir;
  {
    Units units(dir.path());
    ASSERT_EQ(units.open(98, "evt_info.txt"), std::error_code());
    ASSERT_EQ(units.open(99, "temp1.fls"), std::error_code());
    units.write(99, "2015 01 01 00\n");
    units.close_all();
    EXPECT_EQ(read_file(dir / "temp1.fls"), "2015 01 01 00\n");
    EXPECT_EQ(read_file(dir / "evt_info.txt"), "");
  }
  // Leaving a unit connected: the destructor closes and keeps it too.
  {
    Units units(dir.path());
    ASSERT_EQ(units.open(99, "temp2.fls"), std::error_code());
    units.write(99, "20150101\n");
  }
  EXPECT_EQ(read_file(dir / "temp2.fls"), "20150101\n");
}

TEST(Units, BackslashesNameSubDirectories) {
  TempDir dir;
  fs::create_directory(dir / "event");
  Units units(dir.path());
  EXPECT_EQ(units.path_of("event\\x.evt"), dir.path() / "event" / "x.evt");
  EXPECT_EQ(native_path("base", "a\\b\\c.evt"), fs::path("base") / "a" / "b" / "c.evt");
  ASSERT_EQ(units.open(99, "event\\x.evt"), std::error_code());
  units.write(99, "line\n");
  units.close(99);
  EXPECT_EQ(read_file(dir / "event" / "x.evt"), "line\n");
  EXPECT_EQ(entries(dir.path()), (std::set<std::string>{"event"}));
}

TEST(Units, AFailedOpenReportsLaterTransfersWithTheName) {
  TempDir dir;
  Units units(dir.path());
  EXPECT_EQ(units.open(99, "nodir\\x.evt"), std::errc::no_such_file_or_directory);
  EXPECT_EQ(units.name_of(99), "nodir\\x.evt");
  const std::string report = io_failure_of([&] { units.write(99, "line\n"); });
  EXPECT_NE(report.find("nodir\\x.evt"), std::string::npos) << report;
  EXPECT_THROW(units.read_record(99), IoFailure);
  EXPECT_NO_THROW(units.close(99));
  EXPECT_FALSE(fs::exists(dir / "nodir"));
}

struct CrLfCase {
  std::string label;
  std::string old_bytes;                  // the file before the unit opens it
  std::function<void(Units&)> transfers;  // on unit 99, opened as "f.txt"
  std::string bytes;                      // the file after it closes
};

// With CR LF records every length counts the CR: the record read lacks it, the cut falls after
// it, and a write after a read starts behind it.
TEST(Units, CrLfRecordsAreCountedWithTheirCr) {
  const std::vector<CrLfCase> rows = {
      {"written", "", [](Units& u) { u.write(99, "a\nbb\n"); }, "a\r\nbb\r\n"},
      {"a longer old file is cut after the new record's CR", "old and longer\r\nx\r\n",
       [](Units& u) { u.write(99, "new\n"); }, "new\r\n"},
      {"read back without the CR, then written behind it", "a\r\nb\r\nc\r\n",
       [](Units& u) {
         EXPECT_EQ(u.read_record(99), "a");
         u.write(99, "X\n");
         u.rewind(99);
         EXPECT_EQ(u.read_record(99), "a");
         EXPECT_EQ(u.read_record(99), "X");
         EXPECT_THROW(u.read_record(99), IoFailure);
       },
       "a\r\nX\r\n"},
  };
  for (const CrLfCase& row : rows) {
    TempDir dir;
    write_file(dir / "f.txt", row.old_bytes);
    Units units(dir.path(), "\r\n");
    ASSERT_EQ(units.open(99, "f.txt"), std::error_code()) << row.label;
    row.transfers(units);
    units.close(99);
    EXPECT_EQ(testing::read_bytes(dir / "f.txt"), row.bytes) << row.label;
  }
}

// A device is written in order, never cut to length: a list that is a link to /dev/null takes
// every line.
TEST(Units, ALinkToADeviceIsWrittenNotCut) {
  if (!fs::exists("/dev/null") || testing::kOnWindows)
    GTEST_SKIP() << "links to /dev/null are POSIX's";
  TempDir dir;
  fs::create_symlink("/dev/null", dir / "list.txt");
  Units units(dir.path());
  ASSERT_EQ(units.open(90, "list.txt"), std::error_code());
  units.write_through(90);
  units.write(90, " event\\20150101.evt\n");
  units.write(90, " event\\20150201.evt\n");
  EXPECT_NO_THROW(units.close(90));
  EXPECT_TRUE(fs::is_symlink(dir / "list.txt"));
}

// The interrupt clean-up removes the replacements of the run whose scope is open, and no other.
TEST(UnitsReplaceWhole, AnInterruptRemovesOnlyItsOwnRunsFileInFlight) {
  TempDir dir;
  Units first(dir.path());
  Units second(dir.path());
  ASSERT_EQ(first.open(99, "a.evt", OpenMode::kReplaceWhole), std::error_code());
  ASSERT_EQ(second.open(99, "b.evt", OpenMode::kReplaceWhole), std::error_code());
  EXPECT_EQ(entries(dir.path()).size(), 2U);  // the two temporary files
  {
    const platform::InterruptScope scope(first.in_flight());
    platform::files_in_flight()->remove_all();
  }
  EXPECT_EQ(platform::files_in_flight(), nullptr);
  first.close(99);  // the file the interrupt took is not put in place
  EXPECT_FALSE(fs::exists(dir / "a.evt"));
  const auto left = entries(dir.path());
  ASSERT_EQ(left.size(), 1U);
  EXPECT_TRUE(left.begin()->starts_with(".b.evt.tmp")) << *left.begin();
}

TEST(Units, TransfersOnAnUnconnectedUnitAreIoFailures) {
  TempDir dir;
  Units units(dir.path());
  EXPECT_THROW(units.write(99, "x\n"), IoFailure);
  EXPECT_THROW(units.read_record(99), IoFailure);
  EXPECT_THROW(units.rewind(99), IoFailure);
}

TEST(UnitsReplaceWhole, NewContentReachesThePathOnlyAtClose) {
  TempDir dir;
  fs::create_directory(dir / "event");
  const fs::path path = dir / "event" / "20150101.evt";
  write_file(path, "old content that is longer\n");
  fs::permissions(path, fs::perms(0640));
  Units units(dir.path());
  ASSERT_EQ(units.open(99, "event\\20150101.evt", OpenMode::kReplaceWhole), std::error_code());
  units.write(99, "new\n");
  EXPECT_EQ(read_file(path), "old content that is longer\n");
  units.close(99);
  EXPECT_EQ(read_file(path), "new\n");
  if (kPosixModes) {
    EXPECT_EQ(fs::status(path).permissions(), fs::perms(0640));
  }
  EXPECT_EQ(entries(dir / "event"), (std::set<std::string>{"20150101.evt"}));
}

TEST(UnitsReplaceWhole, CreatesAMissingFile) {
  TempDir dir;
  Units units(dir.path());
  ASSERT_EQ(units.open(99, "x.evt", OpenMode::kReplaceWhole), std::error_code());
  units.write(99, "a\n");
  units.write(99, "b\n");
  units.close(99);
  EXPECT_EQ(read_file(dir / "x.evt"), "a\nb\n");
  EXPECT_EQ(entries(dir.path()), (std::set<std::string>{"x.evt"}));
}

TEST(UnitsReplaceWhole, AnUnfinishedReplacementIsDropped) {
  TempDir dir;
  write_file(dir / "x.evt", "old\n");
  {
    Units units(dir.path());
    ASSERT_EQ(units.open(99, "x.evt", OpenMode::kReplaceWhole), std::error_code());
    units.write(99, "new\n");
    units.close_all();
  }
  EXPECT_EQ(read_file(dir / "x.evt"), "old\n");
  EXPECT_EQ(entries(dir.path()), (std::set<std::string>{"x.evt"}));
  {
    Units units(dir.path());
    ASSERT_EQ(units.open(99, "x.evt", OpenMode::kReplaceWhole), std::error_code());
    units.write(99, "new\n");
  }  // the destructor drops it as well
  EXPECT_EQ(read_file(dir / "x.evt"), "old\n");
  EXPECT_EQ(entries(dir.path()), (std::set<std::string>{"x.evt"}));
}

TEST(UnitsReplaceWhole, AFullDeviceFailsAtClose) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  TempDir dir;
  Units units(dir.path());
  ASSERT_EQ(units.open(99, "/dev/full", OpenMode::kReplaceWhole), std::error_code());
  units.write(99, "line\n");
  const std::string report = io_failure_of([&] { units.close(99); });
  EXPECT_NE(report.find("/dev/full"), std::string::npos) << report;
}

}  // namespace
}  // namespace quorlant::recordio
