// The wait before a console window of the program's own closes, with the system's count of the
// processes on the console stubbed.
#include <gtest/gtest.h>

#include <iterator>
#include <sstream>
#include <string>

#include "recordio/console_window.h"
#include "test_support.h"

namespace quorlant::recordio {
namespace {

unsigned stub_count = 0;
unsigned stubbed_processes_on_console() {
  return stub_count;
}

TEST(ConsoleWindow, WaitsForEnterOnlyInAWindowOfItsOwnWithTypedAnswers) {
  struct Row {
    bool terminal;
    unsigned processes;  // 1: started from Explorer; 2: from a shell; 0: no console
    bool waits;
  } const rows[] = {{true, 1, true}, {true, 2, false}, {true, 0, false}, {false, 1, false}};
  for (const Row& row : rows) {
    stub_count = row.processes;
    std::istringstream in("\nnext\n");
    in.setstate(std::ios::eofbit);  // a run that ended on the end of its input waits as well
    std::ostringstream out;
    EXPECT_EQ(hold_own_window(in, out, row.terminal, stubbed_processes_on_console), row.waits);
    EXPECT_EQ(out.str(), row.waits ? "Press Enter to close this window.\n" : "");
    in.clear();
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), row.waits ? "next\n" : "\nnext\n");
  }
  // A terminal belongs to the shell that opened it: POSIX never waits.
  if (!testing::kOnWindows) {
    EXPECT_EQ(platform::processes_on_console(), 0U);
  }
}

}  // namespace
}  // namespace quorlant::recordio
