// Every answer script in examples/ run through the real binary.
#include <gtest/gtest.h>

#include <map>
#include <tuple>

#include "expected_files.h"
#include "memory_file_system.h"
#include "test_support.h"

namespace quorlant::testing {
namespace {

const std::filesystem::path kExamples = std::filesystem::path(QUORLANT_SOURCE_DIR) / "examples";

// What each script must produce, worked out from its answers: how many events, the first and
// the last, and the answers their files show.
struct Expected {
  int events;
  evt::Event first, last;
  evt::Answers answers;
};

const std::map<std::string, Expected> kExpected = {
    // 40 yearly events from 1981 01 01 00: 1981 has 8760 hours, 2020 is divisible by 4.
    {"forty-years-yearly",
     {40,
      {"1981", "01", "01", "00", "19810101", " 8760"},
      {"2020", "01", "01", "00", "20200101", " 8784"},
      {.snw = "n", .deltat = "   24"}}},
    // 12 monthly events from 2015 01 01 00 with snow factor 25. and the rate 2.5 mm/h.
    {"one-year-monthly-snow-disaggregation",
     {12,
      {"2015", "01", "01", "00", "20150101", "  744"},
      {"2015", "12", "01", "00", "20151201", "  744"},
      {.smr = "y", .rate = " 2.50"}}},
    // 2 monthly events from 2015 01 01 00: January 744 hours, February 2015 672.
    {"typical-two-months",
     {2,
      {"2015", "01", "01", "00", "20150101", "  744"},
      {"2015", "02", "01", "00", "20150201", "  672"},
      {}}},
};

// Every script has its expectations, and runs to a normal ending with its event files.
TEST(Examples, EachRunsToANormalEndingWithItsEventFiles) {
  std::vector<std::string> scripts;
  for (const auto& entry : std::filesystem::directory_iterator(kExamples))
    if (entry.path().extension() == ".answers") scripts.push_back(entry.path().stem().string());
  std::sort(scripts.begin(), scripts.end());
  std::vector<std::string> known;
  for (const auto& [name, want] : kExpected) {
    known.push_back(name);
    SCOPED_TRACE(name);
    RunArea area;
    // Each script is exact: nothing in it is taken loosely.
    const auto result = area.run({"--strict"}, kExamples / (name + ".answers"));
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    const auto out = split_lines(result.out);
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out.back(), "Normal ending");
    // Both pauses were answered; the second group of questions came once.
    EXPECT_EQ(std::count(out.begin(), out.end(), " Hit enter to continue"), 2);

    std::vector<std::string> event_files;
    for (const auto& entry : std::filesystem::directory_iterator(area.work / "event"))
      if (entry.path().extension() == ".evt")
        event_files.push_back(entry.path().filename().string());
    std::sort(event_files.begin(), event_files.end());
    ASSERT_EQ(event_files.size(), static_cast<std::size_t>(want.events));
    EXPECT_EQ(event_files.front(), want.first.name + ".evt");
    EXPECT_EQ(event_files.back(), want.last.name + ".evt");
    // The list and the transcript's lines are checked byte for byte in run/whole_run_test.cpp.

    for (const evt::Event& e : {want.first, want.last}) {
      EXPECT_EQ(read_file(area.work / "event" / (e.name + ".evt")),
                evt::event_file(e, want.answers))
          << e.name;
    }
  }
  EXPECT_EQ(scripts, known);
}

// --answers gives the piped run's transcript and files, from a file named relative to the
// working directory or from standard input itself ("-"); a file it cannot read is one line,
// status 2, before anything is written.
TEST(Examples, AnswersNamedByOptionAsPiped) {
  const auto script = kExamples / "typical-two-months.answers";
  RunArea piped;
  std::filesystem::copy_file(script, piped.work / "run.answers");
  const auto want = piped.run({"--strict"}, script);
  ASSERT_EQ(want.status, 0);
  const std::string missing = "quorlant: cannot read the answers from missing.answers: " +
                              platform::message_of(platform::system_error(2));
  const std::tuple<std::string, bool, std::string> rows[] = {
      {"run.answers", false, ""}, {"-", true, ""}, {"missing.answers", true, missing + "\n"}};
  for (const auto& [file, input, err] : rows) {
    RunArea area;
    std::filesystem::copy_file(script, area.work / "run.answers");
    const auto result = area.run({"--strict", "--answers", file}, input ? script : "");
    EXPECT_EQ(std::tie(result.status, result.err), std::tuple(err.empty() ? 0 : 2, err)) << file;
    if (!err.empty()) {
      EXPECT_EQ(tree(area.work), (std::vector<std::string>{"event", "run.answers"}));
      continue;
    }
    EXPECT_EQ(result.out, want.out) << file;
    ASSERT_EQ(tree(area.work), tree(piped.work)) << file;
    for (const auto& name : tree(piped.work)) {
      if (std::filesystem::is_directory(piped.work / name)) continue;
      EXPECT_EQ(read_bytes(area.work / name), read_bytes(piped.work / name)) << name;
    }
  }
  // The same answers past a first block of 4096 bytes, the first pause's line 5000 blanks.
  RunArea padded;
  std::string answers = read_bytes(script);
  answers.insert(answers.size() - 2, std::string(5000, ' '));
  write_file(padded.work / "run.answers", answers);
  const auto long_run = padded.run({"--strict", "--answers", "run.answers"});
  EXPECT_EQ(std::tie(long_run.status, long_run.err, long_run.out),
            std::tie(want.status, want.err, want.out));
  // A read that fails past the first block ends the run there, naming the file and why.
  MemoryFileSystem files;
  files.make_directory("/w");
  files.make_directory("/w/event");
  files.make_file("/w/run.answers", "2" + std::string(5000, ' ') + "\n1\n");
  files.fail(MemoryFileSystem::Call::kRead, 2, std::make_error_code(std::errc::io_error));
  const auto cut = run_program("/w", "", {"--answers", "run.answers"}, &files);
  EXPECT_EQ(cut.err, "quorlant: cannot read the answers from run.answers: Input/output error\n");
  EXPECT_EQ(cut.status, 2);
}

}  // namespace
}  // namespace quorlant::testing
