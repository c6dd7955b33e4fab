#include "recordio/console.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "recordio/failure.h"
#include "test_support.h"

namespace quorlant::recordio {
namespace {

// Bad numbers and the end of the input are tested on whole runs, report and status, in
// reliability/bad_answers_test.cpp.

struct ConsoleFixture {
  explicit ConsoleFixture(std::string input) : in(std::move(input)), console(in, out) {}
  std::istringstream in;
  std::ostringstream out;
  Console console;
};

// A number is the first value on the first line that holds one.
TEST(ConsoleNumbers, FreeFormValues) {
  struct Row {
    std::string input;
    bool real;  // read as a real; else as a whole number
    double expected;
  };
  const Row rows[] = {
      {"\n\n   \n7\n", false, 7},
      {"12,13\n", false, 12},
      {"+5 \n", false, 5},
      {"\t9\n", false, 9},
      {"12\r\n", false, 12},
      {"40", false, 40},  // the last line needs no terminator
      {"2.5\n", true, 2.5},   {"\n  25 mm\n", true, 25}, {"1e2\n", true, 100},
      {"-.5,\n", true, -0.5}, {"1.5d1\n", true, 15},     {"3.\r\n", true, 3},
  };
  for (const Row& row : rows) {
    ConsoleFixture f(row.input);
    const double read = row.real ? static_cast<double>(f.console.read_real("the rate"))
                                 : f.console.read_integer("the no of events");
    EXPECT_EQ(read, row.expected) << "\"" << row.input << "\"";
  }
}

TEST(ConsoleLines, LinesAsTypedWithoutTerminator) {
  ConsoleFixture f("y\r\n\n  gr10k  \nlast");
  EXPECT_EQ(f.console.read_line("a"), "y");
  EXPECT_EQ(f.console.read_line("b"), "");
  EXPECT_EQ(f.console.read_line("c"), "  gr10k  ");
  EXPECT_EQ(f.console.read_line("d"), "last");
  EXPECT_THROW(f.console.read_line("e"), Failure);
}

// A line is kept up to the bound, its terminator aside; one character more ends the run at once,
// naming the line, so that an endless input (/dev/zero) is never read to its end.
TEST(ConsoleLines, ALineLongerThanTheBoundEndsTheRun) {
  const std::string full(Console::kLineBound, 'x');
  for (const std::string& longer : {full + "\n", full + "\r\n", full + "\r"}) {
    ConsoleFixture f("7\n" + longer);
    (void)f.console.read_line("a");
    EXPECT_EQ(f.console.read_line("b"), full);
  }
  for (const std::string& longer : {full + "x", full + "x\r\n", full + "\rx", full + full}) {
    ConsoleFixture f("7\n" + longer);
    (void)f.console.read_line("a");
    try {
      (void)f.console.read_line("b");
      ADD_FAILURE() << longer.size() << " characters taken";
    } catch (const Failure& failure) {
      EXPECT_STREQ(failure.what(), "line 2 of the answers is longer than 64 KiB");
    }
  }
}

TEST(ConsoleOutput, WritesAndFailsOnABrokenStream) {
  ConsoleFixture f("");
  f.console.write(" one\n");
  f.console.write(" two\n");
  f.console.flush();
  EXPECT_EQ(f.out.str(), " one\n two\n");
  f.out.setstate(std::ios::badbit);
  EXPECT_THROW(f.console.write(" three\n"), Failure);
}

}  // namespace
}  // namespace quorlant::recordio
