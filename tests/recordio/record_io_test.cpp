#include "recordio/record_io.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "test_support.h"

namespace quorlant::recordio {
namespace {

using testing::read_file;
using testing::TempDir;
using testing::write_file;

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
  RecordIo io(in, out, err, files, directory);
  Outcome result;
  result.status = testing::reported([&] { return io.run(body); }, err);
  result.out = out.str();
  result.err = err.str();
  return result;
}

// The error stream holds exactly one line, the report of the I/O layer.
void expect_one_report(const std::string& err) {
  ASSERT_TRUE(err.starts_with("quorlant: ")) << err;
  ASSERT_TRUE(err.ends_with("\n")) << err;
  EXPECT_EQ(err.find('\n'), err.size() - 1) << err;
}

TEST(RecordIoRun, AStopShowsItsMessageLastAndReturnsItsStatus) {
  TempDir dir;
  const Outcome normal = run_body(dir.path(), "", [](RecordIo& io) {
    io.message(kConsoleOutput, {"closing"});
    stop("Normal ending", ExitStatus::kNormalEnding);
  });
  EXPECT_EQ(normal.status, 0);
  EXPECT_EQ(normal.out, " closing\nNormal ending\n");
  EXPECT_EQ(normal.err, "");

  const Outcome aborted =
      run_body(dir.path(), "", [](RecordIo&) { stop("Program aborted in evt @ 130"); });
  EXPECT_EQ(aborted.status, 1);
  EXPECT_EQ(aborted.out, "Program aborted in evt @ 130\n");
}

TEST(RecordIoRun, AStopClosesAndKeepsEveryUnit) {
  TempDir dir;
  const Outcome run = run_body(dir.path(), "", [](RecordIo& io) {
    io.open_or_fail(kRunLogUnit, "evt_info.txt");
    io.open(kFileUnit, "temp0.fls");
    io.write(kFileUnit, Format{IntField{4}}, {2015});
    stop("Normal ending", ExitStatus::kNormalEnding);
  });
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(read_file(dir / "temp0.fls"), "2015\n");
  EXPECT_EQ(read_file(dir / "evt_info.txt"), "");
}

TEST(RecordIoRun, AnIoFailureIsReportedOnTheErrorStreamWithStatus2) {
  TempDir dir;
  const Outcome run = run_body(dir.path(), "", [](RecordIo& io) {
    io.message(kConsoleOutput, {"Enter the no of events to create:"});
    io.read_integer("the no of events");
    stop("Normal ending", ExitStatus::kNormalEnding);
  });
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, " Enter the no of events to create:\n");  // no stop message
  expect_one_report(run.err);
  EXPECT_EQ(run.err, "quorlant: end of input while waiting for the no of events\n");
}

TEST(RecordIoRun, ABadAnswerInAFormattedReadIsAnIoFailure) {
  TempDir dir;
  const Outcome run = run_body(dir.path(), "2.5x\n", [](RecordIo& io) {
    float factor = 0.0F;
    io.read(kConsoleInput, Format{RealField{5, 0}}, {&factor}, "the snow conversion factor");
    stop("Normal ending", ExitStatus::kNormalEnding);
  });
  EXPECT_EQ(run.status, 2);
  expect_one_report(run.err);
  EXPECT_NE(run.err.find("the snow conversion factor"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("2.5x"), std::string::npos) << run.err;
}

TEST(RecordIoRun, AWriteAfterAFailedOpenIsReportedNotACrash) {
  TempDir dir;
  const Outcome run = run_body(dir.path(), "", [](RecordIo& io) {
    EXPECT_NE(io.open(kFollowListUnit, "event\\events_to_follow.txt"),
              std::error_code());  // no event\ here
    io.message(kFollowListUnit, {"event\\20150101.evt"});
    stop("Normal ending", ExitStatus::kNormalEnding);
  });
  EXPECT_EQ(run.status, 2);
  expect_one_report(run.err);
  EXPECT_NE(run.err.find("event\\events_to_follow.txt"), std::string::npos) << run.err;
}

TEST(RecordIoRun, ARejectedAnswerGoesToTheErrorStreamWithStatus1) {
  TempDir dir;
  const Outcome run = run_body(dir.path(), "", [](RecordIo&) { reject("no such answer"); });
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "quorlant: no such answer\n");
}

TEST(RecordIoPause, ShowsThePromptAndWaitsForALine) {
  TempDir dir;
  const Outcome run = run_body(dir.path(), "anything typed\n7\n", [](RecordIo& io) {
    io.pause();
    io.message(kConsoleOutput, {"after"});
    const std::int32_t n = io.read_integer("the no of events");
    io.message(kConsoleOutput, {"n=", n});
    stop("Normal ending", ExitStatus::kNormalEnding);
  });
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, " Hit enter to continue\n after\n n=" +
                         std::string(static_cast<std::size_t>(kMessageIntegerWidth - 1), ' ') +
                         "7\nNormal ending\n");
}

TEST(RecordIoConsole, MessagesAndFormattedRecordsShareOneStreamInOrder) {
  TempDir dir;
  const Outcome run = run_body(dir.path(), "", [](RecordIo& io) {
    io.message(kConsoleOutput, {"WARNING:"});
    io.write(kConsoleOutput, Format{Literal{" enter the snow conversion factor"}}, {});
    io.message(kConsoleOutput);
    io.write(kConsoleOutput, Format{RecordEnd{}, Literal{" name"}}, {});
    stop("Normal ending", ExitStatus::kNormalEnding);
  });
  EXPECT_EQ(run.out, " WARNING:\n enter the snow conversion factor\n\n\n name\nNormal ending\n");
}

TEST(RecordIoConsole, FormattedAnswers) {
  TempDir dir;
  const Outcome run = run_body(dir.path(), "yes\n\n\n25.125\n2015 01 01 00\n", [](RecordIo& io) {
    FixedText<1> first;
    FixedText<1> second;
    FixedText<8> name("XXXXXXXX");
    float factor = -1.0F;
    FixedText<13> start;
    io.read(kConsoleInput, Format{TextField{1}}, {first.span()});
    io.read(kConsoleInput, Format{TextField{1}}, {second.span()});
    io.read(kConsoleInput, Format{TextField{8}}, {name.span()});
    io.read(kConsoleInput, Format{RealField{5, 0}}, {&factor});
    io.read(kConsoleInput, Format{TextField{13}}, {start.span()});
    EXPECT_EQ(first.view(), "y");
    EXPECT_EQ(second.view(), " ");
    EXPECT_EQ(name.view(), "        ");
    EXPECT_EQ(factor, 25.12F);
    EXPECT_EQ(start.view(), "2015 01 01 00");
    stop("Normal ending", ExitStatus::kNormalEnding);
  });
  EXPECT_EQ(run.status, 0) << run.err;
}

// Numbers and texts converted through a scratch file on disk.
TEST(RecordIoScratch, WriteRewindReadBackWithAnotherLayout) {
  TempDir dir;
  write_file(dir / "temp0.fls", "an old record longer than the new one\nand another\n");
  const Outcome run = run_body(dir.path(), "", [](RecordIo& io) {
    const FixedText<4> yy1("2015");
    const FixedText<2> mm1("01");
    const FixedText<2> dd1("01");
    const FixedText<2> hh1("00");
    io.open(kFileUnit, "temp0.fls");
    io.write(kFileUnit, Format{TextField{}, TextField{}, TextField{}, TextField{}},
             {yy1.view(), mm1.view(), dd1.view(), hh1.view()});
    io.rewind(kFileUnit);
    FixedText<8> evtname;
    io.read(kFileUnit, Format{TextField{8}}, {evtname.span()});
    EXPECT_EQ(evtname.view(), "20150101");
    io.rewind(kFileUnit);
    std::int32_t year = 0;
    std::int32_t month = 0;
    std::int32_t day = 0;
    std::int32_t hour = -1;
    io.read(kFileUnit, Format{IntField{4}, IntField{2}, IntField{2}, IntField{2}},
            {&year, &month, &day, &hour});
    EXPECT_EQ(year, 2015);
    EXPECT_EQ(month, 1);
    EXPECT_EQ(day, 1);
    EXPECT_EQ(hour, 0);
    io.close(kFileUnit);
    stop("Normal ending", ExitStatus::kNormalEnding);
  });
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(read_file(dir / "temp0.fls"), "2015010100\n");
}

TEST(RecordIoScratch, ReadingPastTheRecordsIsAnIoFailure) {
  TempDir dir;
  const Outcome run = run_body(dir.path(), "", [](RecordIo& io) {
    io.open(kFileUnit, "temp3.fls");
    io.write(kFileUnit, Format{TextField{}}, {"one"});
    io.rewind(kFileUnit);
    FixedText<8> a;
    FixedText<8> b;
    io.read(kFileUnit, Format{TextField{8}}, {a.span(), b.span()});
    stop("Normal ending", ExitStatus::kNormalEnding);
  });
  EXPECT_EQ(run.status, 2);
  expect_one_report(run.err);
  EXPECT_NE(run.err.find("temp3.fls"), std::string::npos) << run.err;
  EXPECT_EQ(read_file(dir / "temp3.fls"), "one\n");
}

}  // namespace
}  // namespace quorlant::recordio
