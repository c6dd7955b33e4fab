// Files that cannot be opened or written end the run cleanly: the right report and status,
// no "created" line or list entry for a file that failed, and earlier files left as they were.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <optional>

#include "reliability/reliability_support.h"

namespace quorlant::reliability {
namespace {

namespace fs = std::filesystem;

struct FailingFile {
  std::string name;
  std::function<void(const TempDir&)> setup;  // the event directory exists unless it removes it
  int status;
  std::string err;                         // the whole error stream
  std::string out_ending;                  // how the transcript ends; empty: any way
  std::set<std::string> event_entries;     // what is left in event/
  std::optional<std::string> follow_list;  // its bytes; nullopt when it must not exist
  std::size_t created;                     // "... created" lines shown
  bool second_kept;                        // the old second event file is unchanged
};

TEST(FailingFiles, EachEndsWithItsReportAndLeavesOnlyWhatWasDone) {
  const std::string first = "event\\20150101.evt";
  const std::string is_directory = testing::is_directory_reason();
  const auto make_directory = [](const char* name) {
    return [name](const TempDir& dir) { fs::create_directory(dir / name); };
  };
  const std::set<std::string> second_and_list = {"20150201.evt", "events_to_follow.txt"};
  const std::set<std::string> all = {"20150101.evt", "20150201.evt", "events_to_follow.txt"};
  // A directory in the place of `name`: the one-line report is `report` and the reason.
  const auto unopenable = [&](const char* name, const std::string& report,
                              const std::string& out_ending, std::set<std::string> left,
                              std::optional<std::string> list, std::size_t created = 0) {
    return FailingFile{std::string(name) + " cannot be opened",
                       make_directory(name),
                       2,
                       "quorlant: " + report + is_directory + "\n",
                       out_ending,
                       std::move(left),
                       std::move(list),
                       created,
                       true};
  };
  const std::vector<FailingFile> rows = {
      // The event directory missing: EventFolder in run_sequence_test.cpp.
      unopenable("evt_info.txt", "cannot open evt_info.txt: ", "", {"20150201.evt"}, std::nullopt),
      unopenable("temp0.fls", "temp0.fls could not be opened: ", "", second_and_list, ""),
      unopenable("temp1.fls", "cannot open temp1.fls: ", "", second_and_list, ""),
      unopenable("temp2.fls", "cannot open temp2.fls: ", "", second_and_list, ""),
      unopenable("temp3.fls", "cannot open temp3.fls: ",
                 "\n name of shd & par files: eg. gr10k, saug 8 char max\n\n", second_and_list, ""),
      // temp5.fls is first opened before the second event: the first event file, already
      // staged, is dropped with the series.
      {"temp5.fls cannot be opened", make_directory("temp5.fls"), 2,
       "quorlant: temp5.fls could not be opened: " + is_directory +
           "\nquorlant: the series in event\\ was left as it was\n",
       "Hit enter to continue\n", second_and_list, "", 0, true},
      // The list of events to follow is opened before the first event.
      unopenable("event/events_to_follow.txt", "cannot open event\\events_to_follow.txt: ",
                 " please stick with this convention so radar files work\n", second_and_list,
                 std::nullopt),
      // The series is checked before its first file: the first one is not written either.
      {"the second event file cannot be opened",
       [](const TempDir& dir) {
         fs::remove(dir / "event/20150201.evt");
         fs::create_directory(dir / "event/20150201.evt");
       },
       1, "", open_failure_report("event\\20150201.evt", testing::kIsDirectoryError),
       second_and_list, "", 0, false},
      {"the first event file is on a full device",
       [](const TempDir& dir) { fs::create_symlink("/dev/full", dir / "event/20150101.evt"); }, 2,
       "quorlant: cannot write " + first + ": No space left on device\n", "Hit enter to continue\n",
       all, "", 0, true},
  };
  for (const FailingFile& row : rows) {
    // Windows has no /dev/full.
    if (testing::kOnWindows && row.name == "the first event file is on a full device") continue;
    TempDir dir;
    fs::create_directory(dir / "event");
    write_file(dir / "event/20150201.evt", kOldSecond);
    row.setup(dir);
    const auto result = run_program(dir.path(), whole_script());
    EXPECT_EQ(result.status, row.status) << row.name;
    EXPECT_EQ(result.err, row.err) << row.name;
    EXPECT_TRUE(result.out.ends_with(row.out_ending)) << row.name << ":\n" << result.out;
    EXPECT_EQ(result.out.find("Normal ending"), std::string::npos) << row.name;
    EXPECT_EQ(count_of(result.out, "... created"), row.created) << row.name;
    EXPECT_EQ(entries(dir / "event"), row.event_entries) << row.name;
    const fs::path list = dir / "event/events_to_follow.txt";
    if (row.follow_list) {
      EXPECT_EQ(read_file(list), *row.follow_list) << row.name;
    } else {
      EXPECT_FALSE(fs::is_regular_file(list)) << row.name;
    }
    if (row.second_kept) {
      EXPECT_EQ(read_file(dir / "event/20150201.evt"), kOldSecond) << row.name;
    }
    // An event file reported as created is complete.
    if (row.created == 1) {
      EXPECT_EQ(read_file(dir / "event/20150101.evt"), first_event()) << row.name;
    }
  }
}

// A longer old file, event file or list, loses every old line; a link of this user is replaced at the file it names
// and stays a link.
TEST(ExistingEventFiles, ALinkIsReplacedAtItsTargetAndOldLinesAreGone) {
  if (testing::kOnWindows) GTEST_SKIP() << "links and mode bits are POSIX's (Wine makes no links)";
  TempDir dir;
  fs::create_directory(dir / "event");
  fs::create_directory(dir / "kept");
  std::string old_lines;
  for (int i = 0; i < 300; ++i) old_lines += "old line " + std::to_string(i) + "\n";
  write_file(dir / "kept/target.evt", old_lines);
  fs::create_symlink("../kept/target.evt", dir / "event/20150101.evt");
  write_file(dir / "event/20150201.evt", old_lines);
  write_file(dir / "event/events_to_follow.txt", old_lines);
  fs::permissions(dir / "event/20150201.evt", fs::perms(0640));

  const auto result = run_program(dir.path(), whole_script());
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_TRUE(fs::is_symlink(dir / "event/20150101.evt"));
  EXPECT_EQ(fs::read_symlink(dir / "event/20150101.evt"), "../kept/target.evt");
  EXPECT_EQ(read_file(dir / "kept/target.evt"), first_event());
  EXPECT_EQ(entries(dir / "kept"), std::set<std::string>{"target.evt"});
  // The replaced regular file keeps its permissions, and nothing else is left beside it.
  EXPECT_EQ(read_file(dir / "event/20150201.evt"), second_event());
  EXPECT_EQ(fs::status(dir / "event/20150201.evt").permissions(), fs::perms(0640));
  EXPECT_EQ(read_file(dir / "event/events_to_follow.txt"),
            follow_line("event\\20150101.evt") + follow_line("event\\20150201.evt"));
  EXPECT_EQ(entries(dir / "event"),
            (std::set<std::string>{"20150101.evt", "20150201.evt", "events_to_follow.txt"}));
}

// With no events nothing is ever written to the list, so a list that cannot be opened is no
// failure: the run ends normally.
TEST(FailingFiles, AListThatCannotBeOpenedIsNoFailureWithoutEvents) {
  TempDir dir;
  fs::create_directory(dir / "event");
  fs::create_directory(dir / "event/events_to_follow.txt");
  const auto result = run_program(dir.path(), "0\n1\n2015 01 01 00\n");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_TRUE(result.out.ends_with("\nNormal ending\n"));
  EXPECT_TRUE(fs::is_directory(dir / "event/events_to_follow.txt"));
}

}  // namespace
}  // namespace quorlant::reliability
