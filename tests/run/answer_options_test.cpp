// Runs without the dialogue, dry runs and strict answer scripts, whole runs in-process.
#include <gtest/gtest.h>

#include <array>

#include "test_support.h"

namespace quorlant::run {
namespace {

using testing::snapshot;
using testing::run_program;
using testing::TempDir;
namespace fs = std::filesystem;
using Args = std::vector<std::string_view>;

std::string listed(const std::string& name, const std::string& what) {
  return " event\\" + name + ".evt" + std::string(42, ' ') + what + "\n";
}

// "a|b|c" as the arguments a, b and c.
std::vector<std::string> split(const std::string& joined) {
  std::vector<std::string> parts;
  for (std::size_t at = 0, bar; at <= joined.size(); at = bar + 1) {
    bar = std::min(joined.find('|', at), joined.size());
    parts.push_back(joined.substr(at, bar - at));
  }
  return parts;
}

testing::RunResult run_with(const fs::path& dir, const std::string& args) {
  const auto parts = split(args);
  return run_program(dir, "", Args(parts.begin(), parts.end()));
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
    EXPECT_EQ(run_with(printed.path(), args + "|--print-answers").out, script);
    EXPECT_TRUE(fs::is_empty(printed.path()));
    testing::RunArea options, dialogue, quiet;
    const auto result = run_with(options.work, args);
    ASSERT_EQ(run_program(dialogue.work, script).status, 0);
    std::string created;
    for (std::size_t at = 0; at < names.size(); at += 9)
      created += listed(names.substr(at, 8), "... created");
    EXPECT_EQ(result.out + result.err, created) << script;
    EXPECT_EQ(result.status, 0);
    const auto files = snapshot(options.work), expected = snapshot(dialogue.work);
    EXPECT_EQ(files.size(), expected.size()) << script;
    for (const auto& [name, content] : expected)
      EXPECT_EQ(files.at(name).first, content.first) << name;
    EXPECT_EQ(run_with(quiet.work, args + "|-q").out, "");
    // A dry run saves the same script.
    testing::RunArea saved;
    EXPECT_EQ(run_with(saved.work, args + "|--dry-run|--save-answers|run.answers").status, 0);
    EXPECT_EQ(testing::read_file(saved.work / "run.answers"), script);
  }
}

// The answers of a dialogue, saved by its dry run, give with --answers the files of the piped
// run; a file that cannot take them ends the run before anything is written.
TEST(SaveAnswers, ADialoguesAnswersGiveItsFilesAgain) {
  const std::string loose = "\n2\n1\n2015 01 01 00\nY\nn\nyes\n2.5\n  3 hours\nn\nn\nn\nn\nn\ngr10k\n";
  testing::RunArea piped, dry, again;
  ASSERT_EQ(run_program(piped.work, loose).status, 0);
  const auto saved =
      run_program(dry.work, loose, {"--dry-run", "--save-answers", "run.answers"});
  EXPECT_EQ(saved.status, 0) << saved.err;
  // Each answer as typed, the blank line before the first number left out, the pauses as Enter.
  EXPECT_EQ(testing::read_file(dry.work / "run.answers"),
            "2\n1\n2015 01 01 00\nY\nn\nyes\n2.5\n  3 hours\nn\nn\nn\nn\nn\ngr10k\n\n\n");
  const std::string answers = "--answers=" + (dry.work / "run.answers").string();
  ASSERT_EQ(run_program(again.work, "", {answers}).status, 0);
  EXPECT_EQ(snapshot(again.work).size(), snapshot(piped.work).size());
  for (const auto& [name, content] : snapshot(piped.work))
    EXPECT_EQ(snapshot(again.work).at(name).first, content.first) << name;
  testing::RunArea refused;
  const auto before = snapshot(refused.work);
  const auto failed = run_program(refused.work, loose, {"--save-answers", "no/run.answers"});
  EXPECT_EQ(std::tie(failed.status, failed.out),
            std::tuple(2, std::string()));
  EXPECT_TRUE(failed.err.starts_with("quorlant: cannot save the answers to no/run.answers: "))
      << failed.err;
  EXPECT_EQ(snapshot(refused.work), before);
}

// The values of the answers are refused in answers_test.cpp; here what is wrong with the rest.
TEST(AnswerOptions, ACommandLineTheRunCannotUseIsRefusedBeforeAnythingIsTouched) {
  const std::string good =
      "--events=2|--months-per-event=1|--start=2015 01 01 00|--report-step=1|--basin=gr10k";
  // Added; "!" leaves an option out. No event directory: EventFolder in run_sequence_test.cpp.
  const std::string see = " (see quorlant --help)";
  const std::pair<std::string, std::string> rows[] = {
      // In the program's own words, each with where to read more.
      {"--wet", "unknown option --wet; did you mean --wetland?" + see},
      {"--event=3", "unknown option --event; did you mean --events?" + see},
      {"--basin-name=x", "unknown option --basin-name; did you mean --basin?" + see},
      {"--ev", "unknown option --ev; did you mean --events?" + see},
      {"--wetlandx", "unknown option --wetlandx; did you mean --wetland?" + see},
      {"--e", "unknown option --e" + see},
      {"--bogus", "unknown option --bogus" + see},
      {"--snow-melt|--dry-run", "--snow-melt needs the snow conversion factor, e.g. --snow-melt 1.0" + see},
      {"--dry-run|--snow-melt", "--snow-melt needs the snow conversion factor, e.g. --snow-melt 1.0" + see},
      {"--start=2016 01 01 00", "--start given twice" + see},
      {"-q|--quiet", "--quiet given twice" + see},
      {"--evaporation|1", "unexpected word \"1\" after --evaporation, which takes no value" + see},
      {"480", "unexpected word \"480\": every value follows its option" + see},
      {"--dry-run=yes", "--dry-run takes no value" + see},
      {"--report-step=", "--report-step needs the reporting time step, e.g. --report-step 1" + see},
      {"--answers", "--answers needs FILE, e.g. --answers run.answers" + see},
      {"--dry-run|--print-answers",
       "--dry-run and --print-answers exclude each other: --print-answers runs nothing"},
      {"--answers=run.answers", "--answers and the answer options exclude each other"},
      {"--help", "--help and --version take no other argument"},
      {"--version", "--help and --version take no other argument"},
      {"!--basin",
       "--basin is missing: the answer options need --events, --months-per-event, "
       "--start, --report-step and --basin"},
  };
  for (const auto& [added, err] : rows) {
    const bool leave_out = added.starts_with('!');
    std::string args = leave_out || added.empty() ? "" : added + "|";
    for (const auto& arg : split(good))
      if (!leave_out || !arg.starts_with(added.substr(1) + "=")) args += arg + "|";
    args.pop_back();
    testing::RunArea area;
    testing::write_file(area.work / "evt_info.txt", "kept");
    const auto before = snapshot(area.work);
    const auto result = run_with(area.work, args);
    EXPECT_EQ(std::tie(result.err, result.out, result.status),
              std::tuple("quorlant: " + err + "\n", "", 2));
    EXPECT_EQ(snapshot(area.work), before) << err;
  }
}

TEST(DryRun, ListsTheFilesAndLeavesTheDirectoryAsItWas) {
  testing::RunArea w;
  testing::write_file(w.work / "event/20151201.evt", "old");
  testing::write_file(w.work / "temp0.fls", "old scratch\nlonger than the new one\n");
  const auto before = snapshot(w.work);
  const auto options = run_with(w.work,
                                "--dry-run|--events=2|--months-per-event=1|--start=2015 11 "
                                "15 06|--report-step=1|--basin=a");
  EXPECT_EQ(
      options.out + options.err + std::to_string(options.status),
      listed("20151115", "... would be created") +
          listed("20151201", "... would replace an existing file") +
          " dry run: 2 event files, 1 new, 1 replacing existing ones; nothing was written\n0");
  // With the dialogue the questions are asked as usual; the counts replace the note on the list.
  const auto dialogue = run_program(
      w.work, "1\n12\n2015 11 15 06\nn\nn\nn\n1\nn\nn\nn\nn\nn\na\n\n\n", {"--dry-run"});
  EXPECT_NE(
      dialogue.out.find(" Hit enter to continue\n" + listed("20151115", "... would be created") +
                        " dry run: 1 event files, 1 new, 0 replacing existing ones;"),
      std::string::npos)
      << dialogue.out;
  EXPECT_EQ(snapshot(w.work), before);
}

// What a strict script holds beyond its answers; each answer's values are in answers_test.cpp.
TEST(Strict, RefusesAScriptThatDoesNotFitTheQuestions) {
  const std::string head = "1\n1\n2015 01 01 00\n";
  const std::pair<std::string, std::string> rows[] = {
      {head + "n\nn\nn\n1\nn\nn\nn\nn\nn\ngr10k\n\n\n\n",
       "line 16 of the answers (after the last answer): \"\": expected nothing more: the dialogue "
       "asks no more"},
      {head + "maybe" + std::string(60, 'e') + "\n",
       "line 4 of the answers (the snow melt answer): \"maybe" + std::string(55, 'e') +
           "\"...: counts as no; type y for yes or n for no"},
      // Sixty characters are shown whole.
      {head + std::string(60, 'e') + "\n",
       "line 4 of the answers (the snow melt answer): \"" + std::string(60, 'e') +
           "\": counts as no; type y for yes or n for no"},
      {head + "n\nn\n", "end of input while waiting for the disaggregation answer"},
  };
  for (const auto& [script, err] : rows) {
    testing::RunArea w;
    const auto result = run_program(w.work, script, {"--strict"});
    EXPECT_EQ(std::tuple(result.err, result.status, testing::tree(w.work)),
              std::tuple("quorlant: " + err + "\n", 2, std::vector<std::string>{"event"}));
  }
}

}  // namespace
}  // namespace quorlant::run
