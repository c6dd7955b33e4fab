// Someone typing at a terminal: an answer that fails its check is asked again (each answer's
// values are tried in-process in run/answers_test.cpp); a console window of the program's own
// waits for Enter before it closes.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <tuple>

#include "recordio/console_window.h"
#include "run/expected_dialogue.h"
#include "test_support.h"

namespace quorlant::testing {
namespace {

TEST(Terminal, AnAnswerThatFailsItsCheckIsAskedAgainWithAHint) {
#ifdef _WIN32
  GTEST_SKIP() << "pseudo-terminals are POSIX";
#else
  const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_TRUE(terminal >= 0 && ::grantpt(terminal) == 0 && ::unlockpt(terminal) == 0);
  const std::string keyboard = ::ptsname(terminal);
  // Held open, so the lines typed ahead wait in the terminal's input for the program.
  const int held = ::open(keyboard.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(held, 0);
  const std::string typed = "two\n1\n1\n2015 01 01 00\nn\nn\nn\n1\nn\nn\nn\nn\nn\ngr10k\n\n\n";
  ASSERT_EQ(::write(terminal, typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
  RunArea area;
  const auto result =
      run_process({.argv = {program().string()}, .directory = area.work, .input = keyboard});
  ::close(held);
  ::close(terminal);

  run::expected::Lines t = run::expected::opening();
  t.insert(std::find(t.begin(), t.end(), " Enter the no of events to create:") + 1,
           " \"two\": expected a whole number of at least 1; type the number of events again");
  EXPECT_EQ(result.out.substr(0, lines(t).size()), lines(t));
  EXPECT_TRUE(result.out.ends_with(lines(run::expected::closing())));
  EXPECT_TRUE(std::filesystem::exists(area.work / "event/20150101.evt"));
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.status, 0);
#endif
}

unsigned stub_count = 0;  // the system's count of the processes on the console, stubbed
unsigned stubbed_count() {
  return stub_count;
}

TEST(Terminal, OnlyAConsoleWindowOfItsOwnWaitsForEnter) {
  // typed answers, processes on the console (1: started from Explorer, 2: from a shell), waits
  const std::tuple<bool, unsigned, bool> rows[] = {
      {true, 1, true}, {true, 2, false}, {true, 0, false}, {false, 1, false}};
  for (const auto& [typed, processes, waits] : rows) {
    stub_count = processes;
    std::istringstream in("\nnext\n");
    in.setstate(std::ios::eofbit);  // a run that ended on the end of its input waits as well
    std::ostringstream out;
    EXPECT_EQ(recordio::hold_own_window(in, out, typed, stubbed_count), waits) << processes;
    EXPECT_EQ(out.str(), waits ? "Press Enter to close this window.\n" : "");
    in.clear();
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), waits ? "next\n" : "\nnext\n");
  }
}

}  // namespace
}  // namespace quorlant::testing
