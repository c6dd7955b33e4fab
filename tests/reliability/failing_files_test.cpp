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

constexpr std::string_view kOldSecond = "the second event from an earlier run\n";

std::size_t line_count(const std::string& text) {
  return count_of(text, "\n");
}

// The report of write_event: the whole 256-character path entry, then the status code.
std::string open_failure_report(const std::string& path, int error_number) {
  const std::string code = std::to_string(error_number);
  return " problem opening" + path + std::string(256 - path.size(), ' ') +
         "in write_event @ line 15\n" + " ios=" + std::string(12 - code.size(), ' ') + code +
         " possible problem: lile is locked\n" + "program aborted in write_event\n";
}

std::string ends_with_open_failure(const std::string& out, const std::string& report) {
  if (out.size() < report.size()) return "transcript too short";
  return out.substr(out.size() - report.size());
}

struct FailingFile {
  std::string name;
  std::function<void(const TempDir&)> setup;  // the event directory exists unless it removes it
  int status;
  std::string err;                         // the whole error stream
  std::string out_ending;                  // how the transcript ends; empty to skip
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
  const std::vector<FailingFile> rows = {
      {"the event directory is missing",
       [](const TempDir& dir) { fs::remove_all(dir / "event"); },
       1,
       "quorlant: warning: the working directory has no event directory, so no event file can be "
       "written\n",
       open_failure_report(first, testing::kNoDirectoryError),
       {},
       std::nullopt,
       0,
       false},
      {"evt_info.txt cannot be opened",
       make_directory("evt_info.txt"),
       2,
       "quorlant: cannot open evt_info.txt: " + is_directory + "\n",
       "",
       {"20150201.evt"},
       std::nullopt,
       0,
       true},
      {"temp0.fls cannot be opened",
       make_directory("temp0.fls"),
       2,
       "quorlant: temp0.fls could not be opened: " + is_directory + "\n",
       "",
       {"20150201.evt", "events_to_follow.txt"},
       "",
       0,
       true},
      {"temp1.fls cannot be opened",
       make_directory("temp1.fls"),
       2,
       "quorlant: cannot open temp1.fls: " + is_directory + "\n",
       "",
       {"20150201.evt", "events_to_follow.txt"},
       "",
       0,
       true},
      {"temp2.fls cannot be opened",
       make_directory("temp2.fls"),
       2,
       "quorlant: cannot open temp2.fls: " + is_directory + "\n",
       "",
       {"20150201.evt", "events_to_follow.txt"},
       "",
       0,
       true},
      {"temp3.fls cannot be opened",
       make_directory("temp3.fls"),
       2,
       "quorlant: cannot open temp3.fls: " + is_directory + "\n",
       "\n name of shd & par files: eg. gr10k, saug 8 char max\n\n",
       {"20150201.evt", "events_to_follow.txt"},
       "",
       0,
       true},
      {"temp5.fls cannot be opened before the second event",
       make_directory("temp5.fls"),
       2,
       "quorlant: temp5.fls could not be opened: " + is_directory + "\n",
       created_line(first),
       {"20150101.evt", "20150201.evt", "events_to_follow.txt"},
       follow_line(first),
       1,
       true},
      {"the second event file cannot be opened",
       [](const TempDir& dir) {
         fs::remove(dir / "event/20150201.evt");
         fs::create_directory(dir / "event/20150201.evt");
       },
       1,
       "",
       created_line(first) + open_failure_report("event\\20150201.evt", testing::kIsDirectoryError),
       {"20150101.evt", "20150201.evt", "events_to_follow.txt"},
       follow_line(first),
       1,
       false},
      {"the first event file is on a full device",
       [](const TempDir& dir) { fs::create_symlink("/dev/full", dir / "event/20150101.evt"); },
       2,
       "quorlant: cannot write " + first + ": No space left on device\n",
       "Hit enter to continue\n",
       {"20150101.evt", "20150201.evt", "events_to_follow.txt"},
       "",
       0,
       true},
      {"the list of events to follow cannot be opened: reported before the first event",
       make_directory("event/events_to_follow.txt"),
       2,
       "quorlant: cannot open event\\events_to_follow.txt: " + is_directory + "\n",
       " please stick with this convention so radar files work\n",
       {"20150201.evt", "events_to_follow.txt"},
       std::nullopt,
       0,
       true},
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
    if (!row.out_ending.empty()) {
      EXPECT_EQ(ends_with_open_failure(result.out, row.out_ending), row.out_ending) << row.name;
    }
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
      const std::string written = read_file(dir / "event/20150101.evt");
      EXPECT_EQ(line_count(written), 108U) << row.name;
      EXPECT_EQ(written.substr(written.size() - 6), "#\neof\n") << row.name;
    }
  }
}

// Hand-written lines of the first event of the full script, for checking a rewritten file.
void expect_first_event_lines(const std::string& written) {
  const auto keyword = [](std::string word) { return word + std::string(30 - word.size(), ' '); };
  EXPECT_EQ(line_count(written), 108U);
  EXPECT_EQ(written.substr(0, 2), "#\n");
  for (const std::string& line :
       {keyword(":year") + "2015", keyword(":month") + "01", keyword(":snwflg") + "y",
        keyword(":smrflg") + "y", keyword(":disaggregate") + " 2.50",
        keyword(":hoursraindata") + "  744", keyword(":hoursflowdata") + "  744",
        keyword(":deltat_report") + "    1",
        keyword(":basinfilename") + "basin\\gr10k_shd.r2c           ",
        keyword(":pointprecip") + "raing\\20150101_rag.tb0"}) {
    EXPECT_NE(written.find("\n" + line + "\n"), std::string::npos) << line;
  }
  EXPECT_EQ(written.substr(written.size() - 6), "#\neof\n");
}

// A longer old file loses every old line; a link is written through and stays a link.
TEST(ExistingEventFiles, ALinkIsWrittenThroughInPlaceAndOldLinesAreGone) {
  if (testing::kOnWindows) GTEST_SKIP() << "links and mode bits are POSIX's (Wine makes no links)";
  TempDir dir;
  fs::create_directory(dir / "event");
  fs::create_directory(dir / "kept");
  std::string old_lines;
  for (int i = 0; i < 300; ++i) old_lines += "old line " + std::to_string(i) + "\n";
  write_file(dir / "kept/target.evt", old_lines);
  fs::create_symlink("../kept/target.evt", dir / "event/20150101.evt");
  write_file(dir / "event/20150201.evt", old_lines);
  fs::permissions(dir / "event/20150201.evt", fs::perms(0640));

  const auto result = run_program(dir.path(), whole_script());
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_TRUE(fs::is_symlink(dir / "event/20150101.evt"));
  EXPECT_EQ(fs::read_symlink(dir / "event/20150101.evt"), "../kept/target.evt");
  const std::string through_link = read_file(dir / "kept/target.evt");
  expect_first_event_lines(through_link);
  EXPECT_EQ(through_link.find("old line"), std::string::npos);
  // The replaced regular file keeps its permissions, and nothing else is left beside it.
  const std::string second = read_file(dir / "event/20150201.evt");
  EXPECT_EQ(line_count(second), 108U);
  EXPECT_EQ(second.find("old line"), std::string::npos);
  EXPECT_EQ(fs::status(dir / "event/20150201.evt").permissions(), fs::perms(0640));
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
