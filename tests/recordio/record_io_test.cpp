#include "recordio/record_io.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "test_support.h"
#include "eventfile/event_names.h"

namespace quorlant::recordio {
namespace {

using testing::read_file;
using testing::TempDir;

// One run of the layer over scripted input, with what it left on both streams.
struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

Outcome run_body(const std::filesystem::path& directory, const std::string& input,
                 const std::function<void(RecordIo&)>& body) {
  std::istringstream in(input);
  std::ostringstream out;
  std::ostringstream err;
  platform::SystemFileSystem files;
  RecordIo io(in, out, err, files, directory, eventfile::kSeriesNames);
  Outcome result;
  result.status = testing::reported([&] { return io.run(body); }, err);
  result.out = out.str();
  result.err = err.str();
  return result;
}

// How a run ends: a body that returns or stops shows its ending on the console; a failure is
// one line on the error stream, after what the console had; a reject is status 1.
TEST(RecordIoRun, EachEndingHasItsStreamTextAndStatus) {
  struct Row {
    std::string input;
    std::function<void(RecordIo&)> body;
    int status;
    std::string out, err;
  };
  const Row rows[] = {
      // Messages and formatted records share the console in order; a pause passes over a line.
      {"anything typed\n7\n",
       [](RecordIo& io) {
         io.message(kConsoleOutput, {"WARNING:"});
         io.write(kConsoleOutput, Format{Literal{" enter the snow conversion factor"}}, {});
         io.message(kConsoleOutput);
         io.message(kConsoleOutput);
         io.write(kConsoleOutput, Format{Literal{" name"}}, {});
         io.pause();
         io.message(kConsoleOutput, {"n=", io.read_integer("the no of events")});
       },
       0,
       " WARNING:\n enter the snow conversion factor\n\n\n name\n Hit enter to continue\n n=           7\n"
       "Normal ending\n",
       ""},
      // No name in a report steers the terminal or starts a line of its own.
      {"", [](RecordIo&) { reject("a\x1b[2J\nb\t\r\x7f\x01"); }, 1, "",
       "quorlant: a\\x1b[2J\\nb\\t\\r\\x7f\\x01\n"},
      {"",
       [](RecordIo& io) {
         io.message(kConsoleOutput, {"Enter the no of events to create:"});
         io.read_integer("the no of events");
       },
       2, " Enter the no of events to create:\n",
       "quorlant: end of input while waiting for the no of events\n"},
      {"2.5x\n",
       [](RecordIo& io) {
         float factor = 0.0F;
         io.read(kConsoleInput, Format{RealField{5, 0}}, {&factor}, "the snow conversion factor");
       },
       2, "", "quorlant: line 1 of the answers (the snow conversion factor): \"2.5x\": \"2.5x \" in "
       "columns 1-5 is not a number\n"},
      {"",
       [](RecordIo& io) {
         io.open(kFileUnit, "temp3.fls");
         io.write(kFileUnit, Format{TextField{}}, {"one"});
         io.rewind(kFileUnit);
         FixedText<8> a;
         FixedText<8> b;
         io.read(kFileUnit, Format{TextField{8}}, {a.span(), b.span()});
       },
       2, "", "quorlant: end of file reading temp3.fls\n"},
  };
  for (const Row& row : rows) {
    TempDir dir;
    const Outcome run = run_body(dir.path(), row.input, row.body);
    EXPECT_EQ(std::tie(run.status, run.out, run.err), std::tie(row.status, row.out, row.err));
  }
}

TEST(RecordIoRun, AStopClosesAndKeepsEveryUnit) {
  TempDir dir;
  const Outcome run = run_body(dir.path(), "", [](RecordIo& io) {
    io.open(kRunLogUnit, "evt_info.txt");
    io.open(kFileUnit, "temp0.fls");
    io.write(kFileUnit, Format{IntField{4}}, {2015});
    stop("Normal ending", ExitStatus::kNormalEnding);
  });
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(read_file(dir / "temp0.fls"), "2015\n");
  EXPECT_EQ(read_file(dir / "evt_info.txt"), "");
}

}  // namespace
}  // namespace quorlant::recordio
