// Every answer's good and bad values through the three doors (an option, a line of a --strict
// script, a line typed at a terminal), refused with the same words by each.
#include "run/answers.h"

#include <gtest/gtest.h>

#include "run/questionnaire.h"
#include "test_support.h"

namespace quorlant::run {
namespace {

using testing::run_program;
using testing::snapshot;
using testing::TempDir;

// One good line per answer, in the table's order: every answer is asked.
const std::vector<std::string> kGood = {"1",   "1",   "2015 01 01 00", "y", "1.0", "n", "y", "2.5",
                                        "1",   "n",   "n",             "n", "n",   "n", "gr10k"};

std::size_t index_of(std::string_view what) {
  const auto table = answer_table();
  for (std::size_t i = 0; i < table.size(); ++i)
    if (table[i].what == what) return i;
  ADD_FAILURE() << "no answer " << what;
  return 0;
}

// The good script with `typed` (and `retyped`, lines typed after it) for answer `at`, then the
// two pauses.
std::string script_with(std::size_t at, const std::string& typed, const std::string& retyped = "") {
  std::string script;
  for (std::size_t i = 0; i < kGood.size(); ++i)
    script += i == at ? typed + "\n" + retyped : kGood[i] + "\n";
  return script + "\n\n";
}

struct Row {
  std::string_view what;  // the answer
  std::string typed;
  std::string why;  // empty: taken
};

const std::string kStart = "expected \"yyyy mm dd hh\" naming a real hour of a real day";
const std::string kYesNo = "counts as no; type y for yes or n for no";
const std::string kCapitalY =
    "\"Y\" counts as no here: only a lowercase y is yes; type y for yes or n for no";
const std::string kFactor = "expected a number of at most five characters, such as 1.0 or 25.";
const std::string kRate = "expected a number from 0 to 99.99 (mm/h)";
const std::string kStep = "expected a whole number from 1 to 99999";
const std::string kBasin =
    "expected 1 to 8 printable ASCII characters, no blank, none of \\/:*?\"<>| and not . or ..";

const Row kRows[] = {
    {"the number of events", "0", "expected a whole number of at least 1"},
    {"the number of events", "-2", "expected a whole number of at least 1"},
    {"the number of events", "99999999999", "too large; expected a whole number of at least 1"},
    {"the number of months per event", "6", "expected 1 or 12"},
    {"the number of months per event", "12", ""},
    {"the start of the first event", "2015 1 1 0", kStart},
    {"the start of the first event", "2100 02 30 00",
     kStart + "; it names day 30, but month 02 of 2100 has 29 days"},
    {"the start of the first event", "2015 13 01 00",
     kStart + "; it has no month from 01 to 12 in columns 6-7"},
    {"the start of the first event", "2015 01 01 24",
     kStart + "; it has no hour from 00 to 23 in columns 12-13"},
    {"the start of the first event", "0998 12 01 00",
     kStart + "; it has a year before 1000 in columns 1-4"},
    {"the start of the first event", "0999 12 31 23",
     kStart + "; it has a year before 1000 in columns 1-4"},
    {"the start of the first event", "1000 01 01 00", ""},
    {"the start of the first event", "2016 02 29 23", ""},
    {"the snow melt answer", "u", kYesNo},
    {"the snow melt answer", "", kYesNo},
    {"the snow melt answer", "y\x1b", kYesNo},
    {"the snow melt answer", "yes", ""},
    {"the evaporation answer", "maybe", kYesNo},
    {"the evaporation answer", "No", ""},
    {"the evaporation answer", "YES", kCapitalY},
    {"the evaporation answer", "Yes", kCapitalY},
    {"the snow melt answer", "Y", kCapitalY},
    {"the ice factors answer", "NO", ""},
    {"the snow melt answer", "yES", ""},
    {"the snow conversion factor", "25.125", kFactor},
    {"the snow conversion factor", "abc", kFactor},
    {"the snow conversion factor", "1e2", ""},
    {"the disaggregation rate", "100.00", kRate},
    {"the disaggregation rate", "99.995", kRate},
    {"the disaggregation rate", "-0.5", kRate},
    {"the disaggregation rate", "99.99", ""},
    {"the disaggregation rate", "0", ""},
    {"the reporting time step", "0", kStep},
    {"the reporting time step", "100000", "too large; " + kStep},
    {"the reporting time step", "+10000000000", "too large; " + kStep},
    {"the reporting time step", "99999", ""},
    {"the reporting time step", "+", kStep},
    {"the number of events", "-", "expected a whole number of at least 1"},
    {"the ice factors answer", "gr10k", kYesNo},
    {"the basin name", "gr 10k", kBasin},
    {"the basin name", "abcdefghi", kBasin},
    {"the basin name", "abcdefgh", ""},
    {"the basin name", "../x", kBasin},
    {"the basin name", "a:b", kBasin},
    {"the basin name", "..", kBasin},
    {"the basin name", "g\tr", kBasin},
    {"the basin name", "a.b", ""},
};

TEST(AnswerDoors, EachAnswerIsCheckedAlikeThroughEveryDoor) {
  const auto table = answer_table();
  for (const Row& row : kRows) {
    const std::size_t at = index_of(row.what);
    const std::string label = std::string(row.what) + " \"" + row.typed + "\"";
    const std::string refused = recordio::quoted_answer(row.typed) + ": " + row.why;
    // A whole run: refused in one line (quiet or not) with nothing touched, or a normal end.
    const auto through = [&](const std::vector<std::string>& args, const std::string& input,
                             const std::string& refusal) {
      testing::RunArea area;
      testing::write_file(area.work / "evt_info.txt", "kept");
      const auto before = snapshot(area.work);
      const auto result = run_program(area.work, input, {args.begin(), args.end()});
      if (row.why.empty()) {
        EXPECT_EQ(std::tie(result.status, result.err), std::tuple(0, "")) << label;
        return;
      }
      EXPECT_EQ(std::tie(result.err, result.out, result.status),
                std::tuple("quorlant: " + refusal + "\n", "", 2))
          << label;
      EXPECT_EQ(snapshot(area.work), before) << label;
    };
    std::vector<std::string> options = {"-q"};
    for (std::size_t i = 0; i < table.size(); ++i) {
      if (table[i].value_name.empty()) continue;  // a y/n option takes no value
      options.push_back(std::string(table[i].option) + "=" + (i == at ? row.typed : kGood[i]));
    }
    if (!table[at].value_name.empty())
      through(options, "", std::string(table[at].option) + " " + refused);
    through({"--strict"}, script_with(at, row.typed),
            "line " + std::to_string(at + 1) + " of the answers (" + std::string(row.what) +
                "): " + refused);
    // At a terminal a refused line is followed by the good one, which is taken. Enter alone
    // answers a y/n question there: a blank, which counts as no and looks it.
    const bool asked_again =
        !row.why.empty() && !(table[at].kind == AnswerKind::kFlag && row.typed.empty());
    testing::IoBench b(script_with(at, row.typed, asked_again ? kGood[at] + "\n" : ""));
    b.io.console().set_terminal(true);
    ask_first_group(b.io, b.data);
    ask_second_group(b.io, b.data);
    const std::string hint = " " + refused + "; type " + std::string(row.what) + " again\n";
    EXPECT_EQ(b.out.str().find(hint) != std::string::npos, asked_again) << label;
    EXPECT_EQ(b.rest(), "\n\n") << label;
  }
}

// The last event of a series must start by the year 9999: the number of events is refused by
// the options and --strict, the start asked again at a terminal.
TEST(AnswerDoors, ASeriesPastTheYear9999) {
  const std::string why = "expected a series from the start \"9998 01 01 00\" whose last event "
                          "starts by the year 9999";
  const auto options = run_program(TempDir().path(), "",
                                   {"--events=3", "--months-per-event=12", "--start=9998 01 01 00",
                                    "--report-step=1", "--basin=a", "--print-answers"});
  EXPECT_EQ(options.err, "quorlant: --events \"3\": " + why + "\n");
  std::string script = script_with(0, "3");
  script.replace(2, 15, "12\n9998 01 01 00");
  const auto strict = run_program(TempDir().path(), script, {"--strict"});
  EXPECT_EQ(strict.err,
            "quorlant: line 1 of the answers (the number of events): \"3\": " + why + "\n");
  testing::IoBench b("3\n12\n9998 01 01 00\n9997 01 01 00\n");
  b.io.console().set_terminal(true);
  ask_first_group(b.io, b.data);
  EXPECT_EQ(b.data.start, "9997 01 01 00");
  EXPECT_NE(b.out.str().find(" \"9998 01 01 00\": " + why + "; type the start of the first event again\n"),
            std::string::npos);
}

}  // namespace
}  // namespace quorlant::run
