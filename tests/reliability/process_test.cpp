// Failures only a real process meets: a file-size limit, signals at the pauses, standard
// streams that are closed or cannot be written.

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <random>
#include <thread>

#include "reliability/reliability_support.h"

namespace quorlant::reliability {
namespace {

namespace fs = std::filesystem;

using testing::Child;
using testing::Output;
using testing::Process;
using testing::ProcessOptions;

// The program in `dir`, its answers typed by the test.
ProcessOptions in(const TempDir& dir, Output output = Output::kPipe) {
  return {.argv = {testing::program().string()}, .directory = dir.path(), .output = output};
}

// Signals, resource limits, closed streams and /dev/full are POSIX's; Windows has tests of its
// own for what it has instead.
#ifdef _WIN32
#define POSIX_ONLY() GTEST_SKIP() << "signals, resource limits and closed streams are POSIX's"
#else
#define POSIX_ONLY() static_cast<void>(0)
#endif

// The scratch files stay far below 2000 bytes; an event file of 108 lines is well above it, so
// its write fails with EFBIG (the program ignores SIGXFSZ). The old file stays whole and no
// temporary file is left.
TEST(FileSizeLimit, AFailedEventFileWriteKeepsTheOldFileAndLeavesNoTemporary) {
  POSIX_ONLY();
  TempDir dir;
  write_old_events(dir);
  ProcessOptions options = in(dir);
  options.file_size_limit = 2000;
  Child child(options);
  child.type(whole_script());
  const Process ended = child.finish();
  EXPECT_EQ(ended.status, 2) << ended.err;
  EXPECT_EQ(ended.err,
            "quorlant: cannot write event\\20150101.evt: File too large\n"
            "quorlant: the series in event\\ was left as it was\n");
  EXPECT_EQ(ended.out.find("created"), std::string::npos);
  expect_old_events(dir, "file-size limit");
  EXPECT_EQ(entries(dir / "event"),
            (std::set<std::string>{"20150101.evt", "20150201.evt", "events_to_follow.txt"}));
  EXPECT_EQ(read_file(dir / "event/events_to_follow.txt"), "");
}

#ifndef _WIN32
struct Interrupt {
  std::string label;
  std::size_t pauses_answered;  // 0: the first pause, 1: the second
  int signal_number;
};

// At a pause no event file is open: every old event file is untouched, and the process ends by
// the signal itself.
TEST(Interrupt, ASignalAtAPauseEndsTheProcessAndTouchesNoEventFile) {
  const std::vector<Interrupt> rows = {
      {"SIGINT at the first pause", 0, SIGINT},
      {"SIGINT at the second pause", 1, SIGINT},
      {"SIGTERM at the second pause", 1, SIGTERM},
      {"SIGHUP at the first pause", 0, SIGHUP},
  };
  for (const Interrupt& row : rows) {
    TempDir dir;
    write_old_events(dir);
    Child child(in(dir));
    child.type(script_lines(15 + row.pauses_answered));
    const std::string awaited =
        row.pauses_answered == 0
            ? " Hit Ctrl C to abort\n Hit enter to continue\n"
            : " so there is no need to edit your data files\n\n Hit enter to continue\n";
    ASSERT_TRUE(child.wait_for_output(awaited)) << row.label;
    ASSERT_TRUE(child.interrupt(row.signal_number)) << row.label;
    const Process ended = child.finish();
    EXPECT_EQ(ended.signal, row.signal_number) << row.label << ": status " << ended.status << "\n"
                                               << ended.err;
    EXPECT_EQ(ended.out.find("created"), std::string::npos) << row.label;
    expect_old_events(dir, row.label);
    EXPECT_EQ(entries(dir / "event"),
              (std::set<std::string>{"20150101.evt", "20150201.evt", "events_to_follow.txt"}))
        << row.label;
    EXPECT_EQ(read_file(dir / "event/events_to_follow.txt"), "") << row.label;
  }
}

// A 120-event re-run killed (SIGKILL) or interrupted (SIGINT) at a moment of its series: after
// the next run's recovery every event file and the list are old or new as a whole, and after a
// whole next run nothing else is left. An interrupt puts the old series back and ends the
// process by the signal.
TEST(Interrupt, ASeriesKilledOrInterruptedIsOldOrNewAsAWhole) {
  const std::string script = "120\n" + whole_script().substr(2);
  TempDir model;
  fs::create_directory(model / "event");
  ASSERT_EQ(run_program(model.path(), script).status, 0);
  std::map<std::string, std::string> fresh;
  for (const std::string& name : entries(model / "event")) fresh[name] = read_file(model / "event" / name);
  ASSERT_EQ(fresh.size(), 121U);
  const auto state = [&](const TempDir& dir) {
    std::size_t old = 0;
    std::size_t renewed = 0;
    for (const auto& [name, bytes] : fresh) {
      const std::string now = read_file(dir / "event" / name);
      old += now == "old " + name + "\n";
      renewed += now == bytes;
    }
    return old == fresh.size() ? "old" : renewed == fresh.size() ? "new" : "mixed";
  };
  std::mt19937 random(20261207);
  std::size_t interrupted_old = 0;
  for (int trial = 0; trial < 10; ++trial) {
    const int signal_number = trial < 7 ? SIGKILL : SIGINT;
    const std::string label = "trial " + std::to_string(trial);
    TempDir dir;
    fs::create_directory(dir / "event");
    for (const auto& [name, bytes] : fresh) write_file(dir / "event" / name, "old " + name + "\n");
    Child child(in(dir));
    child.type(script);
    ASSERT_TRUE(child.wait_for_output("edit your data files\n\n Hit enter to continue\n")) << label;
    // Kills anywhere in the series; interrupts early in it, so that they surely find it running.
    const unsigned within = signal_number == SIGKILL ? 40000 : 5000;
    std::this_thread::sleep_for(std::chrono::microseconds(random() % within));
    ASSERT_TRUE(child.interrupt(signal_number)) << label;
    const Process ended = child.finish();
    if (signal_number == SIGINT && ended.signal == SIGINT) {
      EXPECT_EQ(state(dir), std::string("old")) << label << ": " << ended.err;
      interrupted_old += state(dir) == std::string("old");
    }
    // The next run settles what the killed one left, before its first question.
    (void)run_program(dir.path(), "");
    EXPECT_NE(state(dir), std::string("mixed")) << label << ": " << ended.err;
    const auto next = run_program(dir.path(), script);
    ASSERT_EQ(next.status, 0) << label << ": " << next.err;
    EXPECT_EQ(entries(dir / "event").size(), fresh.size()) << label;
  }
  EXPECT_GT(interrupted_old, 0U);
}

// Started under nohup, a hangup at a pause is ignored and the run goes on to its end.
TEST(Interrupt, AHangupIgnoredAtTheStartStaysIgnored) {
  TempDir dir;
  write_old_events(dir);
  ProcessOptions options = in(dir);
  options.ignore_hangup = true;
  Child child(options);
  child.type(script_lines(15));
  ASSERT_TRUE(child.wait_for_output(" Hit Ctrl C to abort\n Hit enter to continue\n"));
  ASSERT_TRUE(child.interrupt(SIGHUP));
  child.type(script_lines(full_script().size()).substr(script_lines(15).size()));
  const Process ended = child.finish();
  EXPECT_EQ(ended.signal, 0);
  EXPECT_EQ(ended.status, 0) << ended.err;
  EXPECT_EQ(read_file(dir / "event/20150201.evt"), second_event());
}
#else
TEST(Interrupt, ASignalAtAPauseEndsTheProcessAndTouchesNoEventFile) {
  GTEST_SKIP() << "signals are POSIX's; Ctrl C on Windows is tested in windows_test.cpp";
}
#endif

struct BrokenOutput {
  std::string label;
  Output output;
  std::string err;
};

// Standard output that cannot be written ends the run at once with a report and status 2; the
// console text never lands in a file, and no event file is written.
TEST(StandardStreams, OutputThatCannotBeWrittenIsReported) {
  const std::vector<BrokenOutput> rows = {
      {"closed", Output::kClosed,
       "quorlant: standard output is closed, so the run cannot show its questions\n"},
      {"a full device", Output::kFullDevice, "quorlant: cannot write to standard output\n"},
      {"a pipe nobody reads", Output::kPipeNoReader, "quorlant: cannot write to standard output\n"},
  };
  POSIX_ONLY();
  for (const BrokenOutput& row : rows) {
    TempDir dir;
    write_old_events(dir);
    Child child(in(dir, row.output));
    child.type(whole_script());
    const Process ended = child.finish();
    EXPECT_EQ(ended.status, 2) << row.label;
    EXPECT_EQ(ended.err, row.err) << row.label;
    expect_old_events(dir, row.label);
    EXPECT_EQ(entries(dir / "event"), (std::set<std::string>{"20150101.evt", "20150201.evt"}))
        << row.label;
    if (fs::exists(dir / "evt_info.txt")) {
      EXPECT_EQ(read_file(dir / "evt_info.txt"), "") << row.label;
    }
  }
}

// The check's reader may stop reading (`check --json | head`): it has what it wanted, and the
// check ends quietly with its own status. A device that takes nothing is still a failure.
TEST(StandardStreams, ACheckWhoseReaderStoppedEndsQuietly) {
  POSIX_ONLY();
  TempDir dir;
  write_old_events(dir);
  ASSERT_EQ(testing::run_program(dir.path(), whole_script()).status, 0);
  for (const std::string option : {"--json", "--help"}) {
    for (const Output output : {Output::kPipeNoReader, Output::kFullDevice}) {
      const Process ended =
          testing::run_process({.argv = {testing::program().string(), "check", option},
                                .directory = dir.path(),
                                .output = output});
      const bool full = output == Output::kFullDevice;
      EXPECT_EQ(ended.err, full ? "quorlant check: cannot write to standard output\n" : "");
      EXPECT_EQ(ended.status, full ? 2 : option == "--help" ? 0 : 1) << option;
    }
  }
}

// A process started without standard input meets the end of input at the first question; it
// must not take its answers from the first file it opens (the run log).
TEST(StandardStreams, ClosedInputIsTheEndOfInput) {
  POSIX_ONLY();
  TempDir dir;
  write_old_events(dir);
  const std::string log = whole_script();
  write_file(dir / "evt_info.txt", log);
  ProcessOptions options = in(dir);
  options.close_input = true;
  Child child(options);
  const Process ended = child.finish();
  EXPECT_EQ(ended.status, 2);
  EXPECT_EQ(ended.err, "quorlant: end of input while waiting for the number of events\n");
  EXPECT_EQ(read_file(dir / "evt_info.txt"), log);
  expect_old_events(dir, "closed input");
}

}  // namespace
}  // namespace quorlant::reliability
