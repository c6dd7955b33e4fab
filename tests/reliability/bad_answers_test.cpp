// Every number answer the program cannot take, and every place where the input can run out,
// ends the run with one line naming the question, status 2 and no event file.

#include <gtest/gtest.h>

#include "reliability/reliability_support.h"

namespace quorlant::reliability {
namespace {

// Nothing was written or reported: the old event files are as they were, no other one exists,
// the list (opened once the first group is answered) is empty, and nothing says "created".
void expect_nothing_done(const TempDir& dir, const testing::RunResult& result,
                         const std::string& row) {
  expect_old_events(dir, row);
  auto left = entries(dir / "event");
  left.erase("events_to_follow.txt");
  EXPECT_EQ(left, (std::set<std::string>{"20150101.evt", "20150201.evt"})) << row;
  if (std::filesystem::exists(dir / "event/events_to_follow.txt")) {
    EXPECT_EQ(read_file(dir / "event/events_to_follow.txt"), "") << row;
  }
  EXPECT_EQ(result.out.find("created"), std::string::npos) << row;
  EXPECT_EQ(result.out.find("Normal ending"), std::string::npos) << row;
}

// The one line names the line of the script, the answer, the value as read (the first word of
// a number answer's line, the whole line of the snow factor's columns) and the answer's own range.
struct BadAnswer {
  std::size_t question;  // index in the full script of the answer replaced
  std::string typed;     // the whole answer line
  std::string value;     // what the report quotes; empty: `typed`
  std::string why;
};

TEST(BadAnswers, EachEndsWithOneLineNamingItsLineTheQuestionAndWhatWasTyped) {
  const std::string count = "expected a whole number of at least 1", months = "expected 1 or 12",
                    step = "expected a whole number from 1 to 99999", large = "too large; ",
                    factor = "expected a number of at most five characters, such as 1.0 or 25.",
                    rate = "expected a number from 0 to 99.99 (mm/h)";
  const std::vector<BadAnswer> rows = {
      {0, "abc", "", count},
      {0, "2147483648", "", large + count},
      {0, "-2147483649", "", count},
      {0, "99999999999999999999", "", large + count},
      {0, "1e3", "", count},
      {0, "  2x, 5", "2x", count},  // the value ends at the comma, not at the x
      {0, "  12x 5", "12x", count},
      {0, "  x12 5", "x12", count},
      {0, "  1e2 5", "1e2", count},
      {1, "twelve", "", months},
      {1, "12.0", "", months},
      {1, "4294967297", "", months},
      {4, "1e99", "", factor},  // beyond the range of a 32-bit real
      {4, "-", "", factor},
      {4, "2.5.1", "", factor},
      {7, "fast", "", rate},
      {7, "-1e39", "", rate},
      {7, "1e-50", "", rate},
      {7, "1.5e", "", rate},
      {7, "abc", "", rate},
      {7, "0x10", "", rate},
      {7, "1e99", "", rate},
      {8, "1.5", "", step},
      {8, "3600s", "", step},
      {8, "2147483648", "", large + step},
  };
  for (const BadAnswer& row : rows) {
    const std::string label =
        "answer " + std::to_string(row.question + 1) + " typed as \"" + row.typed + "\"";
    TempDir dir;
    write_old_events(dir);
    // The rest of the script follows, so a bad answer taken as good would run on to the end.
    std::string answers = script_lines(row.question) + row.typed + "\n";
    for (std::size_t i = row.question + 1; i < full_script().size(); ++i)
      answers += full_script()[i].line + "\n";
    const auto result = run_program(dir.path(), answers);
    EXPECT_EQ(result.status, 2) << label;
    EXPECT_EQ(result.err, "quorlant: line " + std::to_string(row.question + 1) +
                              " of the answers (" + full_script()[row.question].awaited + "): \"" +
                              (row.value.empty() ? row.typed : row.value) + "\": " + row.why + "\n")
        << label;
    expect_nothing_done(dir, result, label);
  }
}

// Text answers take any line: odd characters in every text answer still give a complete run.
TEST(BadAnswers, TextAnswersAreNeverRejected) {
  TempDir dir;
  std::filesystem::create_directory(dir / "event");
  const std::string answers = "1\n1\n2015 01 01 00 and more\n\t\nyes please\nN\n7\n%\x7f\n\xff\n" +
                              std::string("-\n1.5\n\\\nname with blanks\n\n\n");
  const auto result = run_program(dir.path(), answers);
  EXPECT_EQ(result.status, 0);
  // A y/n line that reads as no without saying n gets a word, and so does the basin name cut.
  std::string told;
  for (const auto& [line, what, typed] :
       std::vector<std::tuple<int, std::string, std::string>>{
           {4, "snow melt", "\\x09"}, {8, "reservoir/lake inflow", "%\\x7F"},
           {9, "wetland coupling", "\\xFF"}, {10, "diversions", "-"}, {11, "lake evaporation", "1.5"},
           {12, "ice factors", "\\"}}) {
    told += "quorlant: warning: line " + std::to_string(line) + " of the answers (the " + what +
            " answer): \"" + typed + "\" is read as no (only a lowercase y is yes); --strict "
            "refuses it\n";
  }
  EXPECT_EQ(result.err, told +
                            "quorlant: warning: the basin name \"name with blanks\" is cut to "
                            "\"name\" in the file names (at most 8 characters, no blank)\n");
  EXPECT_NE(result.out.find(created_line("event\\20150101.evt")), std::string::npos);
  // Each option answer is its line's first character, whatever it is; the rate is not asked.
  EXPECT_EQ(read_file(dir / "event/20150101.evt"),
            testing::evt::event_file(
                {"2015", "01", "01", "00", "20150101", "  744"},
                {"\t", "y", "N", "%", "\xff", "-", "1", "\\", " 0.00", "    7", "name"}));
}

// The whole script cut after each of its lines in turn, blank lines at a number question, and
// a last line without its newline (still an answer): the report names what was awaited.
TEST(EndOfInput, TheReportNamesWhatWasAwaited) {
  std::vector<std::pair<std::string, std::string>> rows = {
      {"\n\n   \n", "the number of events"},
      {"2\n\t\n", "the number of months per event"},
      {script_lines(7) + "\n \n", "the disaggregation rate"},
      {script_lines(8) + "\n", "the reporting time step"},
      {"2\n1\n2015 01 01 00", "the snow melt answer"},
  };
  // Cut at a pause, once every answer is in, the script runs on: see below.
  for (std::size_t kept = 0; kept < full_script().size() - 2; ++kept)
    rows.emplace_back(script_lines(kept), full_script()[kept].awaited);
  for (const auto& [answers, awaited] : rows) {
    const std::string label = "\"" + answers + "\" awaiting " + awaited;
    TempDir dir;
    write_old_events(dir);
    const auto result = run_program(dir.path(), answers);
    EXPECT_EQ(result.status, 2) << label;
    EXPECT_EQ(result.err, "quorlant: end of input while waiting for " + awaited + "\n") << label;
    expect_nothing_done(dir, result, label);
  }
}

// The control for the tables above: the uncut script is a complete run. So is one whose empty
// lines for the two pauses an editor trimmed: its end is taken as Enter, with one note.
TEST(EndOfInput, TheWholeScriptRunsToTheEnd) {
  const std::string note =
      "quorlant: note: the answers end before \"Hit enter to continue\": taken as Enter\n";
  const std::size_t answers = full_script().size() - 2;
  const std::tuple<std::string, std::vector<std::string_view>, std::string> rows[] = {
      {whole_script(), {}, ""},
      {script_lines(answers + 1), {}, note},
      {script_lines(answers), {}, note},
      {script_lines(answers), {"--strict"}, note}};
  for (const auto& [script, arguments, err] : rows) {
    TempDir dir;
    write_old_events(dir);
    const auto result = run_program(dir.path(), script, arguments);
    EXPECT_EQ(std::tie(result.status, result.err), std::tuple(0, err)) << script;
    EXPECT_NE(
        result.out.find(created_line("event\\20150101.evt") + created_line("event\\20150201.evt")),
        std::string::npos);
    EXPECT_EQ(read_file(dir / "event/events_to_follow.txt"),
              follow_line("event\\20150101.evt") + follow_line("event\\20150201.evt"));
    EXPECT_EQ(read_file(dir / "event/20150101.evt"), first_event());
    EXPECT_EQ(read_file(dir / "event/20150201.evt"), second_event());
  }
}

}  // namespace
}  // namespace quorlant::reliability
