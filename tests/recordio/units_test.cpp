#include "recordio/units.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "memory_file_system.h"
#include "eventfile/event_names.h"
#include "recordio/failure.h"
#include "test_support.h"

namespace quorlant::recordio {
namespace {

using testing::entries;
using testing::io_failure_of;
using testing::read_file;
using testing::TempDir;
using testing::write_file;

namespace fs = std::filesystem;

// The system's files, for every test here.
platform::SystemFileSystem files;

// One file opened on unit 99, the transfers made on it, and the file once closed: the only one
// in its directory.
struct UnitCase {
  std::string label;
  std::string name;
  std::optional<std::string> old_bytes;  // the file before the open; none: missing
  std::function<void(Units&)> transfers;
  std::string after;  // as read_file reads it; with `crlf` byte for byte
  OpenMode mode = OpenMode::kUnknown;
  bool crlf = false;  // records end in CR LF
};

// With CR LF records every length counts the CR: the record read lacks it, the cut falls after
// it, and a write after a read starts behind it.
TEST(Units, TransfersOnOneUnitLeaveTheFileAsExpected) {
  const auto nothing = [](Units&) {};
  const std::vector<UnitCase> rows = {
      {"opening does not empty an existing file", "evt_info.txt", "old line\nno terminator",
       nothing, "old line\nno terminator"},
      {"the first record written replaces the content from there", "temp3.fls",
       "a much longer old record\nand a second one\n", [](Units& u) { u.write(99, "new\n"); },
       "new\n"},
      {"a write after reading replaces the rest of the file", "f.txt", "a\nb\nc\n",
       [](Units& u) {
         EXPECT_EQ(u.read_record(99), "a");
         u.write(99, "X\n");
       },
       "a\nX\n"},
      {"rewound, the records read back, and rewound again the same", "temp0.fls", std::nullopt,
       [](Units& u) {
         u.write(99, "2015010100\n");
         u.write(99, "second  \n");
         u.rewind(99);
         EXPECT_EQ(u.read_record(99), "2015010100");
         EXPECT_EQ(u.read_record(99), "second  ");
         u.rewind(99);
         EXPECT_EQ(u.read_record(99), "2015010100");
       },
       "2015010100\nsecond  \n"},
      {"rewound and written again, only the new records are left", "temp5.fls", std::nullopt,
       [](Units& u) {
         u.write(99, "aaaaaaaa\nbbbbbbbb\n");
         u.rewind(99);
         u.write(99, "c\n");
         u.rewind(99);
         EXPECT_EQ(u.read_record(99), "c");
         EXPECT_THROW(u.read_record(99), Failure);
       },
       "c\n"},
      {"an existing file is read, its last line without terminator too", "f.txt", "one\n\nthree",
       [](Units& u) {
         EXPECT_EQ(u.read_record(99), "one");
         EXPECT_EQ(u.read_record(99), "");
         EXPECT_EQ(u.read_record(99), "three");
         const std::string report = io_failure_of([&] { u.read_record(99); });
         EXPECT_NE(report.find("f.txt"), std::string::npos) << report;
       },
       "one\n\nthree"},
      {"reading an empty file is an Failure", "empty.fls", std::nullopt,
       [](Units& u) { EXPECT_THROW(u.read_record(99), Failure); }, ""},
      {"a missing file replaced whole is created", "x.evt", std::nullopt,
       [](Units& u) {
         u.write(99, "a\n");
         u.write(99, "b\n");
       },
       "a\nb\n", OpenMode::kReplaceWhole},
      // Where records end in LF alone, a CR before it is the record's last character.
      {"a CR read back as this system's records end", "f.txt", "a\r\n",
       [](Units& u) { EXPECT_EQ(u.read_record(99), testing::kOnWindows ? "a" : "a\r"); },
       testing::kOnWindows ? "a\n" : "a\r\n"},
      {"CR LF records written", "f.txt", "", [](Units& u) { u.write(99, "a\nbb\n"); },
       "a\r\nbb\r\n", OpenMode::kUnknown, true},
      {"a longer old file is cut after the new record's CR", "f.txt", "old and longer\r\nx\r\n",
       [](Units& u) { u.write(99, "new\n"); }, "new\r\n", OpenMode::kUnknown, true},
      {"CR LF records read back without the CR, then written behind it", "f.txt", "a\r\nb\r\nc\r\n",
       [](Units& u) {
         EXPECT_EQ(u.read_record(99), "a");
         u.write(99, "X\n");
         u.rewind(99);
         EXPECT_EQ(u.read_record(99), "a");
         EXPECT_EQ(u.read_record(99), "X");
         EXPECT_THROW(u.read_record(99), Failure);
       },
       "a\r\nX\r\n", OpenMode::kUnknown, true},
  };
  for (const UnitCase& row : rows) {
    SCOPED_TRACE(row.label);
    TempDir dir;
    fs::create_directory(dir / "event");  // where the series' journal is kept
    if (row.old_bytes) write_file(dir / row.name, *row.old_bytes);
    Units units(files, dir.path(), eventfile::kSeriesNames,
                row.crlf ? std::string_view("\r\n") : platform::record_end());
    ASSERT_NO_THROW(units.open(99, row.name, row.mode));
    row.transfers(units);
    units.close(99);
    units.commit_series();
    EXPECT_EQ(entries(dir.path()), (std::set<std::string>{"event", row.name}));
    ASSERT_TRUE(fs::exists(dir / row.name));
    EXPECT_EQ(row.crlf ? testing::read_bytes(dir / row.name) : read_file(dir / row.name),
              row.after);
  }
}

// Opening a connected unit, close_all and the destructor each close and keep what was written.
TEST(Units, EveryWayOfClosingKeepsTheFile) {
  TempDir dir;
  {
    Units units(files, dir.path(), eventfile::kSeriesNames);
    ASSERT_NO_THROW(units.open(98, "evt_info.txt"));
    ASSERT_NO_THROW(units.open(99, "temp0.fls"));
    units.write(99, "A\n");
    ASSERT_NO_THROW(units.open(99, "temp1.fls"));
    EXPECT_EQ(read_file(dir / "temp0.fls"), "A\n");
    units.write(99, "2015 01 01 00\n");
    units.close_all();
    EXPECT_EQ(read_file(dir / "temp1.fls"), "2015 01 01 00\n");
    EXPECT_EQ(read_file(dir / "evt_info.txt"), "");
    ASSERT_NO_THROW(units.open(99, "temp2.fls"));
    units.write(99, "20150101\n");
  }
  EXPECT_EQ(read_file(dir / "temp2.fls"), "20150101\n");
}

TEST(Units, AFailedOpenReportsLaterTransfersWithTheName) {
  TempDir dir;
  Units units(files, dir.path(), eventfile::kSeriesNames);
  units.connect(99, "nodir\\x.evt");
  ASSERT_NE(units.open_failure(99), nullptr);
  EXPECT_TRUE(units.open_failure(99)->error().is(std::errc::no_such_file_or_directory));
  EXPECT_EQ(units.name_of(99), "nodir\\x.evt");
  const std::string report = io_failure_of([&] { units.write(99, "line\n"); });
  EXPECT_NE(report.find("nodir\\x.evt"), std::string::npos) << report;
  EXPECT_THROW(units.read_record(99), Failure);
  EXPECT_NO_THROW(units.close(99));
  EXPECT_FALSE(fs::exists(dir / "nodir"));
  // A unit never opened is no file at all.
  EXPECT_THROW(units.write(98, "x\n"), Failure);
  EXPECT_THROW(units.read_record(98), Failure);
  EXPECT_THROW(units.rewind(98), Failure);
}

// A device is written in order, never cut to length: a list that is a link to /dev/null takes
// every line.
TEST(Units, ALinkToADeviceIsWrittenNotCut) {
  if (!fs::exists("/dev/null") || testing::kOnWindows)
    GTEST_SKIP() << "links to /dev/null are POSIX's";
  TempDir dir;
  fs::create_symlink("/dev/null", dir / "list.txt");
  Units units(files, dir.path(), eventfile::kSeriesNames);
  ASSERT_NO_THROW(units.open(90, "list.txt"));
  units.write(90, " event\\20150101.evt\n");
  units.write(90, " event\\20150201.evt\n");
  EXPECT_NO_THROW(units.close(90));
  EXPECT_TRUE(fs::is_symlink(dir / "list.txt"));
}

// A chain of this user's own links is followed to its end, but no further than 40 links: the
// 41st is an open failure, and the file at the end stays as it was.
TEST(UnitsReplaceWhole, AtMostFortyLinksAreFollowedOnOnePath) {
  if (testing::kOnWindows) GTEST_SKIP() << "Windows follows links itself";
  for (const int links : {40, 41}) {
    TempDir dir;
    fs::create_directory(dir / "event");  // where the series' journal is kept
    write_file(dir / "link0", "old\n");
    for (int i = 1; i <= links; ++i)
      fs::create_symlink("link" + std::to_string(i - 1), dir / ("link" + std::to_string(i)));
    Units units(files, dir.path(), eventfile::kSeriesNames);
    units.connect(99, "link" + std::to_string(links), OpenMode::kReplaceWhole);
    const Failure* failed = units.open_failure(99);
    EXPECT_EQ(failed ? std::string(failed->what()) : "opened",
              links == 40 ? "opened" : "cannot open link41: Too many levels of symbolic links");
    if (failed == nullptr) {
      units.write(99, "new\n");
      units.close(99);
      units.commit_series();
    }
    EXPECT_EQ(read_file(dir / "link0"), links == 40 ? "new\n" : "old\n");
  }
}

// An interrupt while a series is staged waits for its run, which removes its own files only.
TEST(UnitsReplaceWhole, AnInterruptWaitsForItsRunToDropItsOwnSeries) {
  TempDir dir;
  fs::create_directory(dir / "event");
  Units first(files, dir.path(), eventfile::kSeriesNames);
  Units second(files, dir.path(), eventfile::kSeriesNames);
  ASSERT_NO_THROW(first.open(99, "a.evt", OpenMode::kReplaceWhole));
  ASSERT_NO_THROW(second.open(99, "b.evt", OpenMode::kReplaceWhole));
  EXPECT_EQ(entries(dir.path()).size(), 3U);  // the two temporary files
  EXPECT_TRUE(first.interrupts().wait_for_run(2));
  first.close(99);
  try {
    (void)first.commit_series();
    ADD_FAILURE() << "the waiting interrupt did not end the commit";
  } catch (const Failure& failure) {
    EXPECT_TRUE(failure.is_interrupt()) << failure.what();
  }
  first.close_all();
  EXPECT_EQ(first.series_left(), SeriesLeft::kAsItWas);
  EXPECT_FALSE(fs::exists(dir / "a.evt"));
  const auto left = entries(dir.path());
  ASSERT_EQ(left.size(), 2U);
  EXPECT_TRUE(left.begin()->starts_with(".b.evt.tmp")) << *left.begin();
}

// The old file's permission bits are kept whatever the umask (one with a 7 in it too).
TEST(UnitsReplaceWhole, NewContentReachesThePathOnlyWithTheSeries) {
  for (const auto& [mode, mask] : {std::pair(0640U, 022U), std::pair(0666U, 077U)}) {
    TempDir dir;
    fs::create_directory(dir / "event");
    const fs::path path = dir / "event" / "20150101.evt";
    write_file(path, "old content that is longer\n");
    fs::permissions(path, fs::perms(mode));
    const unsigned mask_before = testing::set_umask(mask);
    platform::SystemFileSystem system;  // asks for the umask afresh
    Units units(system, dir.path(), eventfile::kSeriesNames);
    ASSERT_NO_THROW(units.open(99, "event\\20150101.evt", OpenMode::kReplaceWhole));
    units.write(99, "new\n");
    EXPECT_EQ(read_file(path), "old content that is longer\n");
    units.close(99);
    EXPECT_EQ(read_file(path), "old content that is longer\n");
    units.commit_series();
    testing::set_umask(mask_before);
    EXPECT_EQ(read_file(path), "new\n");
    if (testing::kPosixModes) {
      EXPECT_EQ(fs::status(path).permissions(), fs::perms(mode)) << mask;
    }
    EXPECT_EQ(entries(dir / "event"), (std::set<std::string>{"20150101.evt"}));
  }
}

TEST(UnitsReplaceWhole, AnUnfinishedReplacementIsDropped) {
  TempDir dir;
  write_file(dir / "x.evt", "old\n");
  for (const bool close_all : {true, false}) {  // else the destructor drops it
    {
      Units units(files, dir.path(), eventfile::kSeriesNames);
      ASSERT_NO_THROW(units.open(99, "x.evt", OpenMode::kReplaceWhole));
      units.write(99, "new\n");
      if (close_all) units.close_all();
    }
    EXPECT_EQ(read_file(dir / "x.evt"), "old\n") << close_all;
    EXPECT_EQ(entries(dir.path()), (std::set<std::string>{"x.evt"})) << close_all;
  }
}

namespace on_fake {

using testing::MemoryFileSystem;
using Call = MemoryFileSystem::Call;

const fs::path kBase = "/w";

// What a unit operation on the fake file system ended with: "" or the report.
std::string outcome(const std::function<void()>& action) {
  try {
    action();
  } catch (const Failure& failure) {
    return failure.what();
  }
  return "";
}

std::string open_outcome(Units& units, int unit, std::string_view name, OpenMode mode) {
  return outcome([&] { units.open(unit, name, mode); });
}

struct FakeCase {
  std::string label;
  std::function<void(MemoryFileSystem&)> setup;
  std::function<std::string(Units&)> act;
  std::string report;
  std::set<std::string> left;  // the names in the working directory afterwards, but event
};

const std::error_code kEio = std::make_error_code(std::errc::io_error);
const std::string kEioWords = platform::message_of(kEio);
const std::string kDenied =
    platform::message_of(std::make_error_code(std::errc::permission_denied));

TEST(UnitsOnAFakeFileSystem, QuestionsAndFailuresEachAsARow) {
  const auto write_three = [](Units& u) {
    return outcome([&] {
      for (const int unit : {90, 98, 99}) {
        ASSERT_NO_THROW(u.open(unit, "f" + std::to_string(unit)));
        u.write(unit, "line\n");
      }
      u.close_all();
    });
  };
  const auto replace_x = [](Units& u) {
    return outcome([&] {
      ASSERT_NO_THROW(u.open(99, "x.evt", OpenMode::kReplaceWhole));
      u.write(99, "new\n");
      u.close(99);
      u.commit_series();
    });
  };
  const std::string dead = ".20150101.evt.tmp999999999.0";
  const std::string dead_list = ".events_to_follow.txt.tmp999999999.4";
  const std::string live = ".20150101.evt.tmp12.0";  // process 12 runs, process 2 does not
  // Outside the locked event folder only temporaries of runs no longer running go: neither a
  // dead run's copy nor this process's own temporary.
  const std::string dead_copy = ".20150101.evt.bak999999999.0";
  const std::string own = ".20150101.evt.tmp" + std::to_string(platform::process_id()) + ".0";
  // Named like temporaries, but none of this program's making, or not a file: they all stay.
  // Each differs from a dead run's by one thing: the date, the process (none, ten digits, not a
  // number), the counter (none, ten digits, not a number) or an ending.
  const std::set<std::string> others = {
      ".notes.tmp999999999.1",          ".x.evt.tmp999999999.0",
      ".2015010.evt.tmp999999999.0",    ".2015010a.evt.tmp999999999.0",
      ".20150101.evt.tmp.0",            ".20150101.evt.tmp9999999999.0",
      ".20150101.evt.tmp99x.0",         ".20150101.evt.tmp999999999.",
      ".20150101.evt.tmp999999999.0x",  ".20150101.evt.tmp999999999.1234567890",
      ".20150101.evt.tmp999999999",     ".20150101.evt.tmp999999999.0.bak",
      ".events_to_follow.txt.tmp999999999"};
  const auto foreign = [](const char* link) {
    return [link](MemoryFileSystem& f) {
      f.make_file(kBase / "data.evt", "old\n");
      f.make_link(kBase / link, "data.evt", 1001);
    };
  };
  const std::vector<FakeCase> rows = {
      {"when several files fail to close at the end, the first is reported",
       [](MemoryFileSystem& f) {
         for (std::size_t nth = 1; nth <= 3; ++nth) f.fail(Call::kClose, nth, kEio);
       },
       write_three, "cannot close f90: " + kEioWords, {"f90", "f98", "f99", "x.evt"}},
      {"a question that fails is a failure, not a no",
       [](MemoryFileSystem& f) { f.fail(Call::kResolve, 1, kEio); },
       [](Units& u) { return outcome([&] { (void)u.is_directory("event"); }); },
       "cannot examine event: " + kEioWords, {"x.evt"}},
      {"a name below a missing directory or a file names nothing: no failure",
       [](MemoryFileSystem&) {},
       [](Units& u) {
         return outcome([&] { EXPECT_FALSE(u.exists("no\\x.evt") || u.exists("x.evt\\y")); });
       },
       "", {"x.evt"}},
      {"a link planted by another user is an open failure naming it, its file untouched",
       foreign("y.evt"),
       [](Units& u) {
         return outcome([&] { u.open(99, "y.evt", OpenMode::kReplaceWhole); });
       },
       "y.evt: a link made by user 1001; quorlant follows only links you made",
       {"data.evt", "x.evt", "y.evt"}},
      {"another user's link on the way is not written through, even in place", foreign("ev"),
       [](Units& u) { return outcome([&] { u.open(99, "ev\\y.evt"); }); },
       "ev: a link made by user 1001; quorlant follows only links you made",
       {"data.evt", "ev", "x.evt"}},
      {"a directory that takes no new file: an open failure, never a rewrite in place",
       [](MemoryFileSystem& f) {
         f.fail(Call::kCreate, 1, std::make_error_code(std::errc::permission_denied));
       },
       [](Units& u) { return open_outcome(u, 99, "x.evt", OpenMode::kReplaceWhole); },
       "cannot open x.evt: " + kDenied, {"x.evt"}},
      {"an old file this run may not write is an open failure, and is left as it was",
       [](MemoryFileSystem& f) { f.set_read_only(kBase / "x.evt"); },
       [](Units& u) { return open_outcome(u, 99, "x.evt", OpenMode::kReplaceWhole); },
       "cannot open x.evt: " + kDenied, {"x.evt"}},
      {"a failed flush keeps the old file and leaves no temporary",
       [](MemoryFileSystem& f) { f.fail(Call::kFlush, 1, kEio); }, replace_x,
       "cannot write x.evt: " + kEioWords, {"x.evt"}},
      {"a failed directory sync after the replacements puts the old file back",
       [](MemoryFileSystem& f) { f.fail(Call::kSyncDirectory, 3, kEio); }, replace_x,
       "cannot write .: " + kEioWords, {"x.evt"}},
      {"a dead run's temporary files go before the first replacement; a live one's stay",
       [&](MemoryFileSystem& f) {
         for (const std::string& name : {dead, dead_list, live, dead_copy, own})
           f.make_file(kBase / name, "");
         for (const std::string& name : others) f.make_file(kBase / name, "");
         f.make_directory(kBase / ".20150101.evt.tmp999999999.2");
         f.set_running({12});
       },
       [](Units& u) { return open_outcome(u, 99, "x.evt", OpenMode::kReplaceWhole); }, "",
       [&] {
         std::set<std::string> left = others;
         left.insert({live, dead_copy, own, ".20150101.evt.tmp999999999.2", "x.evt"});
         return left;
       }()},
  };
  for (const FakeCase& row : rows) {
    SCOPED_TRACE(row.label);
    MemoryFileSystem fake;
    fake.make_directory(kBase);
    fake.make_directory(kBase / "event");  // where the series' journal is kept
    fake.make_file(kBase / "x.evt", "old\n");
    row.setup(fake);
    {
      Units units(fake, kBase, eventfile::kSeriesNames);
      EXPECT_EQ(row.act(units), row.report);
    }
    std::set<std::string> left;
    for (const auto& [name, bytes] : fake.tree(kBase)) {
      if (name.find('/') == std::string::npos && name != "event") left.insert(name);
    }
    EXPECT_EQ(left, row.left);
    EXPECT_EQ(fake.tree(kBase / "event").size(), 0U);
    EXPECT_EQ(fake.bytes(kBase / "x.evt"), "old\n");
  }
}

}  // namespace on_fake

}  // namespace
}  // namespace quorlant::recordio
