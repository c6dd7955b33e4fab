// Every file operation and question of a three-event run failed in turn, on the fake file
// system: the run ends with one report naming the file and a failing status, nothing incomplete
// is announced, every event file is old or new, and no temporary file is left.
#include <gtest/gtest.h>

#include "fake_file_system.h"
#include "reliability/reliability_support.h"

namespace quorlant::reliability {
namespace {

namespace fs = std::filesystem;
using testing::FakeFileSystem;
using Call = FakeFileSystem::Call;

const std::vector<std::string> kEvents = {"20150101", "20150201", "20150301"};

std::string three_events() {
  return "3\n" + script_lines(full_script().size()).substr(2);
}

std::string event_name(const std::string& event) {
  return "event\\" + event + ".evt";
}

std::string new_event(std::size_t i) {
  static const std::vector<testing::evt::Event> events = {
      {"2015", "01", "01", "00", "20150101", "  744"},
      {"2015", "02", "01", "00", "20150201", "  672"},
      {"2015", "03", "01", "00", "20150301", "  744"}};
  return full_script_event(events[i]);
}

std::string old_bytes(const std::string& name) {
  return "the old " + name + " of an earlier run\n";
}

void prepare(const TempDir& dir) {
  fs::create_directory(dir / "event");
  for (const std::string& event : kEvents) write_file(dir / "event" / (event + ".evt"), old_bytes(event));
  write_file(dir / "event/events_to_follow.txt", old_bytes("list"));
}

// The one report: a line on the error stream whose subject, before the reason, ends in one of
// the names the run uses; or, for an event file that cannot be opened, the event file's own.
std::string report_problem(const testing::RunResult& result, std::error_code error) {
  const std::string reason = ": " + recordio::platform::message_of(error) + "\n";
  if (result.status == 1) {
    const bool named = result.out.find(" problem opening") != std::string::npos &&
                       result.out.ends_with("program aborted in write_event\n");
    return named && result.err.empty() ? "" : "no write_event report";
  }
  if (result.status != 2) return "status " + std::to_string(result.status);
  if (!result.err.starts_with("quorlant: ") || !result.err.ends_with(reason) ||
      count_of(result.err, "\n") != 1) {
    return "not one report with the reason";
  }
  const std::string subject = result.err.substr(0, result.err.size() - reason.size());
  for (const char* name : {"evt_info.txt", "temp0.fls", "temp1.fls", "temp2.fls", "temp3.fls",
                           "temp5.fls", "event\\events_to_follow.txt", "event", "event\\"}) {
    if (subject.ends_with(name) || subject.ends_with(std::string(name) + " could not be opened"))
      return "";
  }
  for (const std::string& event : kEvents) {
    if (subject.ends_with(event_name(event))) return "";
  }
  return "no file named";
}

// Each event file old or new, a new one announced only once complete, the list old or the
// lines of the announced files, and no temporary file anywhere.
std::string files_problem(const TempDir& dir, const testing::RunResult& result) {
  std::string list;
  for (std::size_t i = 0; i < kEvents.size(); ++i) {
    const std::string bytes = read_file(dir / "event" / (kEvents[i] + ".evt"));
    const bool created = result.out.find(created_line(event_name(kEvents[i]))) != std::string::npos;
    if (bytes != old_bytes(kEvents[i]) && bytes != new_event(i)) return kEvents[i] + " mixed";
    if (created && bytes != new_event(i)) return kEvents[i] + " announced but old";
    if (created) list += follow_line(event_name(kEvents[i]));
  }
  const std::string on_disk = read_file(dir / "event/events_to_follow.txt");
  if (on_disk != old_bytes("list") && !list.starts_with(on_disk)) return "list: " + on_disk;
  const std::set<std::string> event_entries = {"20150101.evt", "20150201.evt", "20150301.evt",
                                               "events_to_follow.txt"};
  if (entries(dir / "event") != event_entries) return "something left in event";
  for (const std::string& name : entries(dir.path())) {
    if (name.starts_with(".")) return "left " + name;
  }
  return "";
}

TEST(EveryFailure, EachOperationOfAThreeEventRunFailedInTurn) {
  FakeFileSystem counting;
  {
    TempDir dir;
    prepare(dir);
    const auto clean = run_program(dir.path(), three_events(), {}, &counting);
    ASSERT_EQ(clean.status, 0) << clean.err;
    ASSERT_EQ(files_problem(dir, clean), "");
  }
  std::size_t runs = 0;
  for (std::size_t kind = 0; kind < FakeFileSystem::kCalls; ++kind) {
    const auto call = static_cast<Call>(kind);
    for (std::size_t nth = 1; nth <= counting.calls(call); ++nth) {
      for (const std::errc code : {std::errc::io_error, std::errc::no_space_on_device}) {
        const std::error_code error = std::make_error_code(code);
        const std::string label = std::string(FakeFileSystem::kNames[kind]) + " #" +
                                  std::to_string(nth) + ": " + error.message();
        TempDir dir;
        prepare(dir);
        FakeFileSystem files;
        files.fail(call, nth, error);
        const auto result = run_program(dir.path(), three_events(), {}, &files);
        EXPECT_EQ(report_problem(result, error), "") << label << "\n" << result.err;
        EXPECT_EQ(files_problem(dir, result), "") << label;
        EXPECT_EQ(result.out.find("Normal ending"), std::string::npos) << label;
        ++runs;
      }
    }
  }
  // Opens, writes, flushes, closes, renames and the questions all took part.
  for (const Call call : {Call::kStatus, Call::kKind, Call::kOpen, Call::kCreate, Call::kWrite,
                          Call::kFlush, Call::kClose, Call::kReplace,
                          Call::kSyncDirectory, Call::kList}) {
    EXPECT_GT(counting.calls(call), 0U) << FakeFileSystem::kNames[static_cast<std::size_t>(call)];
  }
  EXPECT_GT(runs, 100U) << runs;
}

}  // namespace
}  // namespace quorlant::reliability
