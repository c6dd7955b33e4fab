// Runs without the dialogue, dry runs and strict answer scripts, whole runs in-process.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "test_support.h"

namespace quorlant::run {
namespace {

using testing::read_file;
using testing::run_program;
using testing::TempDir;
using testing::write_file;
namespace fs = std::filesystem;

// Every file below `dir` with its bytes and modification time.
std::map<std::string, std::pair<std::string, fs::file_time_type>> snapshot(const TempDir& dir) {
  std::map<std::string, std::pair<std::string, fs::file_time_type>> found;
  for (const auto& entry : fs::recursive_directory_iterator(dir.path())) {
    const std::string bytes = entry.is_directory() ? "" : read_file(entry.path());
    found[fs::relative(entry.path(), dir.path()).generic_string()] = {bytes,
                                                                      entry.last_write_time()};
  }
  return found;
}

std::string listed(const std::string& name, const std::string& what) {
  std::string path = "event\\" + name + ".evt";
  path.resize(60, ' ');
  return " " + path + what + "\n";
}

std::vector<std::string_view> args_of(const std::vector<std::string>& args) {
  return {args.begin(), args.end()};
}

struct OptionsRow {
  std::vector<std::string> args;   // every required option, the flags in any order
  std::string script;              // the same answers typed, worked out by hand
  std::vector<std::string> names;  // the event files, in order
};

TEST(AnswerOptions, GiveTheDialoguesFilesForTheSameAnswers) {
  const OptionsRow rows[] = {
      {{"--events", "2", "--months-per-event", "1", "--start", "2015 01 01 00", "--report-step",
        "1", "--basin", "gr10k"},
       "2\n1\n2015 01 01 00\nn\nn\nn\n1\nn\nn\nn\nn\nn\ngr10k\n\n\n",
       {"20150101", "20150201"}},
      {{"--basin",
        "saug",
        "--events",
        "2",
        "--start",
        "2015 11 15 06",
        "--snow-melt",
        "25.",
        "--evaporation",
        "--disaggregate",
        "2.5",
        "--reservoir-inflow",
        "--wetland",
        "--diversions",
        "--lake-evaporation",
        "--ice-factors",
        "--report-step",
        "3",
        "--months-per-event",
        "1"},
       "2\n1\n2015 11 15 06\ny\n25.\ny\ny\n2.5\n3\ny\ny\ny\ny\ny\nsaug\n\n\n",
       {"20151115", "20151201"}},
      {{"--events", "3", "--start", "2016 02 29 06", "--months-per-event", "12", "--wetland",
        "--report-step", "24", "--basin", "gr10k"},
       "3\n12\n2016 02 29 06\nn\nn\nn\n24\nn\ny\nn\nn\nn\ngr10k\n\n\n",
       {"20160229", "20170201", "20180201"}},
  };
  for (const auto& row : rows) {
    std::vector<std::string> args = row.args;
    auto printing = args;
    printing.push_back("--print-answers");
    TempDir printed;
    const auto script = run_program(printed.path(), "", args_of(printing));
    EXPECT_EQ(script.out, row.script) << row.script;
    EXPECT_TRUE(fs::is_empty(printed.path()));

    TempDir by_options, by_dialogue;
    fs::create_directory(by_options / "event");
    fs::create_directory(by_dialogue / "event");
    const auto result = run_program(by_options.path(), "not read", args_of(args));
    const auto dialogue = run_program(by_dialogue.path(), row.script);
    std::string created;
    for (const auto& name : row.names) created += listed(name, "... created");
    EXPECT_EQ(result.out, created) << row.script;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.status, 0);
    ASSERT_EQ(dialogue.status, 0) << dialogue.err;
    auto files = snapshot(by_options), expected = snapshot(by_dialogue);
    ASSERT_EQ(files.size(), expected.size()) << row.script;
    for (const auto& [name, content] : expected)
      EXPECT_EQ(files[name].first, content.first) << name;

    args.push_back("-q");
    TempDir quiet;
    fs::create_directory(quiet / "event");
    const auto silent = run_program(quiet.path(), "", args_of(args));
    EXPECT_EQ(silent.out + silent.err, "");
    EXPECT_EQ(read_file(quiet / "event/events_to_follow.txt"),
              read_file(by_dialogue / "event/events_to_follow.txt"));
  }
}

TEST(AnswerOptions, AValueTheRunCannotUseIsRefusedBeforeAnythingIsTouched) {
  const std::map<std::string, std::string> good = {{"--events", "2"},
                                                   {"--months-per-event", "1"},
                                                   {"--start", "2015 01 01 00"},
                                                   {"--report-step", "1"},
                                                   {"--basin", "gr10k"}};
  struct Row {
    std::string option, value, err;
  };
  const std::string start = "quorlant: --start \"";
  const std::string real = "\"yyyy mm dd hh\" naming a real hour of a real day";
  const Row rows[] = {
      {"--events", "0", "quorlant: --events \"0\": expected a whole number of at least 1"},
      {"--events", "2.", "quorlant: --events \"2.\": expected a whole number of at least 1"},
      {"--events", "95821",
       "quorlant: --events \"95821\": expected a series from --start \"2015 01 01 00\" whose last "
       "event starts by the year 9999"},
      {"--months-per-event", "6", "quorlant: --months-per-event \"6\": expected 1 or 12"},
      {"--start", "2015 1 1 0", start + "2015 1 1 0\": expected " + real},
      {"--start", "2015 02 30 00",
       start + "2015 02 30 00\": expected " + real +
           "; it names day 30, but month 02 of 2015 has 28 days"},
      {"--start", "2100 02 30 00",
       start + "2100 02 30 00\": expected " + real +
           "; it names day 30, but month 02 of 2100 has 29 days"},
      {"--start", "2015 01 01 24",
       start + "2015 01 01 24\": expected " + real +
           "; it has no hour from 00 to 23 in columns 12-13"},
      {"--start", "2015-01-01 00",
       start + "2015-01-01 00\": expected " + real +
           "; it is not in the form \"yyyy mm dd hh\" (digits, single blanks)"},
      {"--report-step", "0",
       "quorlant: --report-step \"0\": expected a whole number from 1 to 99999"},
      {"--report-step", "100000",
       "quorlant: --report-step \"100000\": expected a whole number from 1 to 99999"},
      {"--disaggregate", "-0.5",
       "quorlant: --disaggregate \"-0.5\": expected a number from 0 to 99.99 (mm/h)"},
      {"--disaggregate", "99.995",
       "quorlant: --disaggregate \"99.995\": expected a number from 0 to 99.99 (mm/h)"},
      {"--snow-melt", "25.125",
       "quorlant: --snow-melt \"25.125\": expected a number of at most five characters, such as "
       "1.0 or 25."},
      {"--snow-melt", "1 0",
       "quorlant: --snow-melt \"1 0\": expected a number of at most five characters, such as 1.0 "
       "or 25."},
      {"--basin", "abcdefghi",
       "quorlant: --basin \"abcdefghi\": expected 1 to 8 printable ASCII characters without a "
       "blank"},
      {"--basin", "gr 10k",
       "quorlant: --basin \"gr 10k\": expected 1 to 8 printable ASCII characters without a blank"},
      {"--basin", "",
       "quorlant: --basin \"\": expected 1 to 8 printable ASCII characters without a blank"},
      {"--basin", "g\tr",
       "quorlant: --basin \"g\\x09r\": expected 1 to 8 printable ASCII characters without a blank"},
      {"--wet", "",
       "quorlant: The following argument was not expected: --wet; usage: quorlant [OPTIONS] (see "
       "quorlant --help)"},
      {"--basin", "-",
       "quorlant: --basin is missing: the answer options need --events, --months-per-event, "
       "--start, --report-step and --basin"},
      {"", "",
       "quorlant: the working directory has no event directory: expected one to hold the event "
       "files"},
  };
  for (const auto& row : rows) {
    std::vector<std::string> args;
    for (const auto& [option, value] : good) {
      if (option != row.option) args.insert(args.end(), {option, value});
    }
    if (!row.option.empty() && row.value != "-") {
      args.push_back(row.option);
      if (good.contains(row.option) || !row.value.empty()) args.push_back(row.value);
    }
    TempDir dir;
    if (!row.option.empty()) fs::create_directory(dir / "event");
    write_file(dir / "evt_info.txt", "kept");
    const auto before = snapshot(dir);
    const auto result = run_program(dir.path(), "", args_of(args));
    EXPECT_EQ(result.err, row.err + "\n");
    EXPECT_EQ(result.status, 2) << row.err;
    EXPECT_EQ(result.out, "") << row.err;
    EXPECT_EQ(snapshot(dir), before) << row.err;
  }
}

TEST(DryRun, ListsTheFilesAndLeavesTheDirectoryAsItWas) {
  TempDir dir;
  fs::create_directory(dir / "event");
  write_file(dir / "event/20151201.evt", "old");
  write_file(dir / "temp0.fls", "old scratch\nlonger than the new one\n");
  const auto before = snapshot(dir);
  const auto result =
      run_program(dir.path(), "",
                  {"--dry-run", "--events", "2", "--months-per-event", "1", "--start",
                   "2015 11 15 06", "--report-step", "1", "--basin", "a"});
  EXPECT_EQ(result.out, listed("20151115", "... would be created") +
                            listed("20151201", "... would replace an existing file") +
                            " dry run: 2 event files, 1 new, 1 replacing existing ones; nothing "
                            "was written\n");
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(snapshot(dir), before);

  // With the dialogue the questions are asked as usual; the closing counts in place of the list.
  const auto dialogue = run_program(
      dir.path(), "1\n12\n2015 11 15 06\nn\nn\nn\n1\nn\nn\nn\nn\nn\na\n\n\n", {"--dry-run"});
  EXPECT_NE(
      dialogue.out.find(" Hit enter to continue\n" + listed("20151115", "... would be created") +
                        " dry run: 1 event files, 1 new, 0 replacing existing ones; "
                        "nothing was written\n\n ****"),
      std::string::npos)
      << dialogue.out;
  EXPECT_EQ(dialogue.status, 0) << dialogue.err;
  EXPECT_EQ(snapshot(dir), before);
}

// Scripts that a loose dialogue takes: one line naming where, status 2, no event file.
TEST(Strict, RefusesAnAnswerTheDialogueWouldTakeLoosely) {
  const std::string head = "1\n1\n2015 01 01 00\n";
  const std::string options = "n\nn\nn\n1\nn\nn\nn\nn\n";
  struct Row {
    std::string script, err;
  };
  const Row rows[] = {
      {head + "n\nn\nn\n1\nn\nn\nn\nn\ngr10k\n\n\n\n",
       "line 12 of the input (the ice factors answer): \"gr10k\" is not y, n, yes or no"},
      {head + options + "n\ngr10k\n\n\n\n",
       "line 16 of the input (after the last answer): \"\" is left over; the dialogue asks "
       "nothing more"},
      {head + "Y\n", "line 4 of the input (the snow melt answer): \"Y\" is not y, n, yes or no"},
      {head + "\n", "line 4 of the input (the snow melt answer): \"\" is not y, n, yes or no"},
      {head + "maybe" + std::string(60, 'e') + "\x01\n",
       "line 4 of the input (the snow melt answer): \"maybe" + std::string(55, 'e') +
           "\"... is not y, n, yes or no"},
      {head + "n\nn\nn\n1\nn\nn\nn\nn\nno\ngr 10k\n\n\n",
       "line 13 of the input (the basin name): \"gr 10k\" would be cut to \"gr\" in the file names "
       "(at most 8 characters, no blank)"},
      {"1\n1\n2015 01 01 00 x\n",
       "line 3 of the input (the start of the first event): \"2015 01 01 00 x\" is not 13 "
       "characters"},
      {"0\n1\n2015 02 29 00\n",
       "line 3 of the input (the start of the first event): \"2015 02 29 00\" names day 29, but "
       "month 02 of 2015 has 28 days"},
      {"0\n1\n2016 02 29 00\n\x7f\n",
       "line 4 of the input (after the last answer): \"\\x7F\" is left over; the dialogue asks "
       "nothing more"},
  };
  for (const auto& row : rows) {
    TempDir dir;
    fs::create_directory(dir / "event");
    const auto result = run_program(dir.path(), row.script, {"--strict"});
    EXPECT_EQ(result.err, "quorlant: " + row.err + "\n");
    EXPECT_EQ(result.status, 2) << row.err;
    EXPECT_EQ(result.out.find("created"), std::string::npos) << row.err;
    if (fs::exists(dir / "event/events_to_follow.txt")) {
      EXPECT_EQ(read_file(dir / "event/events_to_follow.txt"), "") << row.err;
    }
  }
}

}  // namespace
}  // namespace quorlant::run
