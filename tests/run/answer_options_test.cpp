// Runs without the dialogue, dry runs and strict answer scripts, whole runs in-process.
#include <gtest/gtest.h>

#include <array>
#include <map>

#include "test_support.h"

namespace quorlant::run {
namespace {

using testing::read_file;
using testing::run_program;
using testing::TempDir;
namespace fs = std::filesystem;
using Args = std::vector<std::string_view>;

// Every file below `dir` with its bytes and modification time.
std::map<std::string, std::pair<std::string, fs::file_time_type>> snapshot(const TempDir& dir) {
  std::map<std::string, std::pair<std::string, fs::file_time_type>> found;
  for (const auto& entry : fs::recursive_directory_iterator(dir.path())) {
    found[fs::relative(entry.path(), dir.path()).generic_string()] = {
        entry.is_directory() ? "" : read_file(entry.path()), entry.last_write_time()};
  }
  return found;
}

std::string listed(const std::string& name, const std::string& what) {
  return " event\\" + name + ".evt" + std::string(42, ' ') + what + "\n";
}

struct Workplace {
  Workplace() { fs::create_directory(dir / "event"); }
  TempDir dir;
};

// "a|b|c" as the arguments a, b and c.
std::vector<std::string> split(const std::string& joined) {
  std::vector<std::string> parts;
  for (std::size_t at = 0, bar; at <= joined.size(); at = bar + 1) {
    bar = std::min(joined.find('|', at), joined.size());
    parts.push_back(joined.substr(at, bar - at));
  }
  return parts;
}

testing::RunResult run_with(const TempDir& dir, const std::string& args) {
  const auto parts = split(args);
  return run_program(dir.path(), "", Args(parts.begin(), parts.end()));
}

TEST(AnswerOptions, GiveTheDialoguesFilesForTheSameAnswers) {
  const std::string basin = "--report-step|1|--basin|gr10k";
  const std::array<std::string, 3> rows[] = {
      // options in any order, the same typed, the files
      {"--events|2|--months-per-event|1|--start|2015 01 01 00|" + basin,
       "2\n1\n2015 01 01 00\nn\nn\nn\n1\nn\nn\nn\nn\nn\ngr10k\n\n\n", "20150101 20150201"},
      {"--basin|saug|--events|2|--start|2015 11 15 06|--snow-melt|25.|--evaporation|--disaggregate|"
       "2.5|--reservoir-inflow|--wetland|--diversions|--lake-evaporation|--ice-factors|"
       "--report-step|3|--months-per-event|1",
       "2\n1\n2015 11 15 06\ny\n25.\ny\ny\n2.5\n3\ny\ny\ny\ny\ny\nsaug\n\n\n", "20151115 20151201"},
      {"--events|3|--start|2016 02 29 06|--months-per-event|12|--wetland|" + basin,
       "3\n12\n2016 02 29 06\nn\nn\nn\n1\nn\ny\nn\nn\nn\ngr10k\n\n\n",
       "20160229 20170201 20180201"},
  };
  for (const auto& [args, script, names] : rows) {
    TempDir printed;
    EXPECT_EQ(run_with(printed, args + "|--print-answers").out, script);
    EXPECT_TRUE(fs::is_empty(printed.path()));
    Workplace options, dialogue, quiet;
    const auto result = run_with(options.dir, args);
    ASSERT_EQ(run_program(dialogue.dir.path(), script).status, 0);
    std::string created;
    for (std::size_t at = 0; at < names.size(); at += 9)
      created += listed(names.substr(at, 8), "... created");
    EXPECT_EQ(result.out + result.err, created) << script;
    EXPECT_EQ(result.status, 0);
    const auto files = snapshot(options.dir), expected = snapshot(dialogue.dir);
    EXPECT_EQ(files.size(), expected.size()) << script;
    for (const auto& [name, content] : expected)
      EXPECT_EQ(files.at(name).first, content.first) << name;
    EXPECT_EQ(run_with(quiet.dir, args + "|-q").out, "");
  }
}

TEST(AnswerOptions, AValueTheRunCannotUseIsRefusedBeforeAnythingIsTouched) {
  const std::string good =
      "--events=2|--months-per-event=1|--start=2015 01 01 00|--report-step=1|--basin=gr10k";
  const std::string real = "expected \"yyyy mm dd hh\" naming a real hour of a real day";
  const std::string basin = "expected 1 to 8 printable ASCII characters without a blank";
  const std::string rate = "expected a number from 0 to 99.99 (mm/h)";
  const std::string steps = "expected a whole number from 1 to 99999";
  // In place of the good value or added; "!" leaves an option out, nothing: no event directory.
  const std::pair<std::string, std::string> rows[] = {
      {"--events=0", "--events \"0\": expected a whole number of at least 1"},
      {"--events=95821",
       "--events \"95821\": expected a series from --start \"2015 01 01 00\" "
       "whose last event starts by the year 9999"},
      {"--months-per-event=6", "--months-per-event \"6\": expected 1 or 12"},
      {"--start=2015 1 1 0", "--start \"2015 1 1 0\": " + real},
      {"--start=2100 02 30 00", "--start \"2100 02 30 00\": " + real +
                                    "; it names day 30, but month 02 of 2100 has 29 days"},
      {"--start=2015 01 01 24",
       "--start \"2015 01 01 24\": " + real + "; it has no hour from 00 to 23 in columns 12-13"},
      {"--report-step=0", "--report-step \"0\": " + steps},
      {"--report-step=100000", "--report-step \"100000\": " + steps},
      {"--disaggregate=-0.5", "--disaggregate \"-0.5\": " + rate},
      {"--disaggregate=99.995", "--disaggregate \"99.995\": " + rate},
      {"--snow-melt=25.125",
       "--snow-melt \"25.125\": expected a number of at most five characters, such as 1.0 or 25."},
      {"--basin=abcdefghi", "--basin \"abcdefghi\": " + basin},
      {"--basin=g\tr", "--basin \"g\\x09r\": " + basin},
      {"--wet",
       "The following argument was not expected: --wet; usage: quorlant [OPTIONS] (see "
       "quorlant --help)"},
      {"--answers=run.answers", "--answers and the answer options exclude each other"},
      {"!--basin",
       "--basin is missing: the answer options need --events, --months-per-event, "
       "--start, --report-step and --basin"},
      {"", "the working directory has no event directory: expected one to hold the event files"},
  };
  for (const auto& [added, err] : rows) {
    const bool leave_out = added.starts_with('!');
    const std::size_t equals = added.find('=');
    const std::string option =
        (equals == std::string::npos ? added.substr(leave_out) : added.substr(0, equals)) + "=";
    std::string args = leave_out || added.empty() ? "" : added + "|";
    for (const auto& arg : split(good))
      if (!arg.starts_with(option)) args += arg + "|";
    args.pop_back();
    TempDir dir;
    if (!added.empty()) fs::create_directory(dir / "event");
    testing::write_file(dir / "evt_info.txt", "kept");
    const auto before = snapshot(dir);
    const auto result = run_with(dir, args);
    EXPECT_EQ(std::tie(result.err, result.out, result.status),
              std::tuple("quorlant: " + err + "\n", "", 2));
    EXPECT_EQ(snapshot(dir), before) << err;
  }
}

TEST(DryRun, ListsTheFilesAndLeavesTheDirectoryAsItWas) {
  Workplace w;
  testing::write_file(w.dir / "event/20151201.evt", "old");
  testing::write_file(w.dir / "temp0.fls", "old scratch\nlonger than the new one\n");
  const auto before = snapshot(w.dir);
  const auto options = run_with(w.dir,
                                "--dry-run|--events=2|--months-per-event=1|--start=2015 11 "
                                "15 06|--report-step=1|--basin=a");
  EXPECT_EQ(
      options.out + options.err + std::to_string(options.status),
      listed("20151115", "... would be created") +
          listed("20151201", "... would replace an existing file") +
          " dry run: 2 event files, 1 new, 1 replacing existing ones; nothing was written\n0");
  // With the dialogue the questions are asked as usual; the counts replace the note on the list.
  const auto dialogue = run_program(
      w.dir.path(), "1\n12\n2015 11 15 06\nn\nn\nn\n1\nn\nn\nn\nn\nn\na\n\n\n", {"--dry-run"});
  EXPECT_NE(
      dialogue.out.find(" Hit enter to continue\n" + listed("20151115", "... would be created") +
                        " dry run: 1 event files, 1 new, 0 replacing existing ones;"),
      std::string::npos)
      << dialogue.out;
  EXPECT_EQ(snapshot(w.dir), before);
}

// Scripts that the dialogue takes loosely: one line naming where, status 2, no event file.
TEST(Strict, RefusesAnAnswerTheDialogueWouldTakeLoosely) {
  const std::string head = "1\n1\n2015 01 01 00\n";
  const std::string yes_no = "\" is not y, n, yes or no";
  const std::string left = "\" is left over; the dialogue asks nothing more";
  const std::pair<std::string, std::string> rows[] = {
      {head + "n\nn\nn\n1\nn\nn\nn\nn\ngr10k\n\n\n\n",
       "line 12 of the input (the ice factors answer): \"gr10k" + yes_no},
      {head + "n\nn\nn\n1\nn\nn\nn\nn\nn\ngr10k\n\n\n\n",
       "line 16 of the input (after the last answer): \"" + left},
      {head + "Y\n", "line 4 of the input (the snow melt answer): \"Y" + yes_no},
      {head + "maybe" + std::string(60, 'e') + "\n",
       "line 4 of the input (the snow melt answer): \"maybe" + std::string(55, 'e') + "\"..." +
           yes_no.substr(1)},
      {head + "n\nn\nn\n1\nn\nn\nn\nn\nno\ngr 10k\n",
       "line 13 of the input (the basin name): \"gr 10k\" would be cut to \"gr\" in the file names "
       "(at most 8 characters, no blank)"},
      {"1\n1\n2015 01 01 00 x\n",
       "line 3 of the input (the start of the first event): \"2015 01 01 00 x\" is not 13 "
       "characters"},
  };
  for (const auto& [script, err] : rows) {
    Workplace w;
    const auto result = run_program(w.dir.path(), script, {"--strict"});
    const auto list = w.dir / "event/events_to_follow.txt";
    EXPECT_EQ(std::tuple(result.err, result.status, fs::exists(list) ? read_file(list) : ""),
              std::tuple("quorlant: " + err + "\n", 2, ""));
  }
}

}  // namespace
}  // namespace quorlant::run
