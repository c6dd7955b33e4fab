// What only Windows has: CR LF records, replacement beside read-only and held-open files,
// Ctrl Break, and working directories whose names are not ASCII.
#include <gtest/gtest.h>

#include "reliability/reliability_support.h"

#ifndef _WIN32
TEST(Windows, OnlyMeansSomethingOnWindows) {
  GTEST_SKIP() << "CR LF records, read-only attributes, file locks and Ctrl Break are Windows'";
}
#else

namespace quorlant::reliability {
namespace {

namespace fs = std::filesystem;
using testing::read_bytes;

constexpr std::string_view kOld = "the event from an earlier run\r\n";

// The event directory's files apart from the two of the run: what a replacement left behind.
std::set<std::string> leftovers(const fs::path& event_directory) {
  auto names = entries(event_directory);
  for (const char* name : {"20150101.evt", "20150201.evt", "events_to_follow.txt"})
    names.erase(name);
  return names;
}

// Every file a run writes ends each record in CR LF, and holds no other CR or LF. temp3.fls
// holds the 23 data file names and the event file's name.
TEST(WindowsFiles, EveryRecordEndsInCrLf) {
  TempDir dir;
  fs::create_directory(dir / "event");
  ASSERT_EQ(run_program(dir.path(), whole_script()).status, 0);
  const std::vector<std::pair<std::string, std::size_t> > records = {
      {"event/20150101.evt", 108},
      {"event/20150201.evt", 108},
      {"event/events_to_follow.txt", 2},
      {"temp0.fls", 1},
      {"temp1.fls", 1},
      {"temp2.fls", 1},
      {"temp3.fls", 24},
      {"temp5.fls", 1},
      {"evt_info.txt", 0}};
  for (const auto& [name, count] : records) {
    const std::string bytes = read_bytes(dir / name);
    EXPECT_EQ(count_of(bytes, "\r\n"), count) << name;
    EXPECT_EQ(count_of(bytes, "\n"), count) << name;
    EXPECT_EQ(count_of(bytes, "\r"), count) << name;
    EXPECT_TRUE(bytes.empty() || bytes.ends_with("\r\n")) << name;
  }
}

struct ExistingFile {
  std::string label;
  std::function<void(const fs::path&)> lock;  // makes the first event file unwritable, or not
  int status;
  std::string ios;  // the error number on the report, as written; empty when replaced
};

// A replaced file is new from its first byte; one this run may not replace is an open failure
// reported before anything is written, and stays as it was. No temporary file is left.
TEST(WindowsFiles, ExistingEventFilesAreReplacedOrLeftWhole) {
  std::unique_ptr<std::ifstream> holder;  // an editor holding the file open
  const std::vector<ExistingFile> rows = {
      {"a writable file", [](const fs::path&) {}, 0, ""},
      {"a read-only file",
       [](const fs::path& file) { fs::permissions(file, fs::perms::owner_read); }, 1, "5"},
      {"a file held open by another program",
       [&](const fs::path& file) { holder = std::make_unique<std::ifstream>(file); }, 1, "32"},
  };
  for (const ExistingFile& row : rows) {
    TempDir dir;
    fs::create_directory(dir / "event");
    write_file(dir / "event/20150101.evt", kOld);
    row.lock(dir / "event/20150101.evt");
    const auto result = run_program(dir.path(), whole_script());
    holder.reset();
    EXPECT_EQ(result.status, row.status) << row.label << result.err;
    EXPECT_EQ(leftovers(dir / "event"), std::set<std::string>{}) << row.label;
    const std::string first = read_file(dir / "event/20150101.evt");
    if (row.ios.empty()) {
      EXPECT_EQ(count_of(first, "\n"), 108U) << row.label;
      continue;
    }
    EXPECT_EQ(read_bytes(dir / "event/20150101.evt"), kOld) << row.label;
    const std::string report =
        " ios=" + std::string(12 - row.ios.size(), ' ') + row.ios +
        " possible problem: lile is locked\nprogram aborted in write_event\n";
    EXPECT_TRUE(result.out.ends_with(report)) << row.label << "\n" << result.out;
    fs::permissions(dir / "event/20150101.evt", fs::perms::owner_all);
  }
}

// A working directory named as its user names it: the process starts there and writes there.
TEST(WindowsFiles, ANonAsciiWorkingDirectory) {
  TempDir dir;
  TempDir plain;
  const fs::path work = dir.path() / fs::path(u8"J\u00fcrgen") / fs::path(u8"Mod\u00e8le \u6cb3");
  fs::create_directories(work / "event");
  fs::create_directory(plain / "event");
  write_file(dir / "answers", whole_script());
  const auto ended = testing::run_process(
      {.argv = {testing::program().string()}, .directory = work, .input = dir / "answers"});
  ASSERT_EQ(ended.status, 0) << ended.err;
  ASSERT_EQ(run_program(plain.path(), whole_script()).status, 0);
  for (const char* name :
       {"event/20150101.evt", "event/20150201.evt", "event/events_to_follow.txt", "temp3.fls"}) {
    EXPECT_EQ(read_bytes(work / name), read_bytes(plain / name)) << name;
  }
}

// Ctrl C ends the run at once: at a pause, or in the middle of a long series, no
// event file is left half written and no temporary file is left; the status says so.
TEST(WindowsInterrupt, CtrlCLeavesNoHalfWrittenFile) {
  constexpr int kStatusControlCExit = static_cast<int>(0xC000013AU);
  for (const bool during_series : {false, true}) {
    TempDir dir;
    fs::create_directory(dir / "event");
    write_file(dir / "event/20150101.evt", kOld);
    testing::Child child(
        {.argv = {testing::program().string()}, .directory = dir.path(), .own_console = true});
    // The series asks its questions as the short one does, and runs on after the first event.
    child.type(during_series ? "480\n" + whole_script().substr(2) : script_lines(15));
    ASSERT_TRUE(child.wait_for_output(during_series ? "... created" : "Hit enter to continue"));
    if (!child.interrupt(0)) GTEST_SKIP() << "this system cannot deliver Ctrl C to another console";
    const auto ended = child.finish();
    EXPECT_EQ(ended.status, kStatusControlCExit) << during_series << ended.err;
    EXPECT_FALSE(ended.out.ends_with("Normal ending\n")) << "the run ended before Ctrl C";
    for (const auto& name : entries(dir / "event")) {
      const std::string bytes = read_bytes(dir / "event" / name);
      if (name == "events_to_follow.txt") {
        EXPECT_EQ(bytes.size() % 75, 0U) << "a line is 1 + 72 characters and CR LF";
        continue;
      }
      EXPECT_TRUE(name.ends_with(".evt") && !name.starts_with(".")) << "left: " << name;
      if (bytes != kOld) {
        EXPECT_EQ(count_of(bytes, "\r\n"), 108U) << name;
      }
    }
    if (!during_series) {
      EXPECT_EQ(read_bytes(dir / "event/20150101.evt"), kOld);
    }
  }
}

}  // namespace
}  // namespace quorlant::reliability
#endif  // _WIN32
