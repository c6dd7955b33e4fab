// Whole runs on scripted answers: the console transcript and every file left behind, compared
// byte for byte with texts written out by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "expected_files.h"
#include "run/expected_dialogue.h"
#include "test_support.h"

namespace quorlant::run {
namespace {

using testing::lines;
using testing::read_bytes;
using testing::read_file;
using testing::run_program;
using testing::write_file;
using testing::evt::Answers;
using testing::evt::Event;
using testing::evt::event_file;
using testing::evt::padded;

using expected::append;
using expected::closing;
using expected::Lines;
using expected::opening;
using expected::second_group_prompts;

// ---- The console transcript, piece by piece -------------------------------------------------

Lines warning() {
  const std::string names = "                      if names correspond";  // 1 + 21 blanks
  return {names,
          " WARNING:",
          " Existing evt files may be overwritten",
          names,
          " Hit Ctrl C to abort",
          " Hit enter to continue",
          "",
          " recent change(s):",
          " 8/12/2011 - `ensimflg` has been replaced by `kenueflg`",
          " in the new evt file",
          " Pre-existing programs will not accept `kenueflg` &",
          " will produce an error",
          " Please update all executables",
          " New exec`s will recognize ensimflg & kenueflg",
          " so there is no need to edit your data files",
          "",
          " Hit enter to continue"};
}

std::string created(const std::string& name) {
  return " " + padded("event\\" + name + ".evt", 60) + "... created";
}

// The transcript of a run that writes the events `names`.
std::string transcript(const Lines& names, bool snow_factor = true, bool rate = false) {
  Lines t = opening();
  append(t, second_group_prompts(snow_factor, rate));
  append(t, warning());
  for (const auto& name : names) t.push_back(created(name));
  append(t, closing());
  return lines(t);
}

// ---- Files -------------------------------------------------------------------------------------

std::string list_of(const Lines& names) {
  std::string list;
  for (const auto& name : names) list += testing::evt::follow_line("event\\" + name + ".evt");
  return list;
}

std::string temp3(const std::string& basin_part, const std::string& name) {
  return lines(testing::evt::temp3_records(basin_part, name));
}

// The second group answered as in the typical run, with the basin name `basin`.
std::string typical_options(const std::string& basin = "gr10k") {
  return "y\n1.0\nn\nn\n1\nn\nn\nn\nn\nn\n" + basin + "\n\n\n";
}

// ---- Runs --------------------------------------------------------------------------------------

// Forty years of monthly events from 1996, each file written out from its date.
std::vector<Event> forty_years() {
  const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  std::vector<Event> events;
  for (int year = 1996; year < 2036; ++year) {
    for (int month = 1; month <= 12; ++month) {
      const std::string yy = std::to_string(year);
      const std::string mm = (month < 10 ? "0" : "") + std::to_string(month);
      const int hours = 24 * (days[month - 1] + (month == 2 && year % 4 == 0 ? 1 : 0));
      const std::string hh = std::to_string(hours);
      events.push_back({yy, mm, "01", "00", yy + mm + "01", padded("", 5 - hh.size()) + hh});
    }
  }
  return events;
}

// A series run: the whole transcript, every file left behind, byte for byte.
TEST(WholeRun, SeriesOfEventsByteForByte) {
  struct Row {
    std::string label, first_group;  // the first two answers
    std::vector<Event> events;       // the first one's date is the start answered
  };
  const Row rows[] = {
      {"two monthly events",
       "2\n1\n",
       {{"2015", "01", "01", "00", "20150101", "  744"},
        {"2015", "02", "01", "00", "20150201", "  672"}}},
      {"monthly events across a year end keep the hour",
       "3\n1\n",
       {{"2015", "11", "15", "06", "20151115", "  720"},
        {"2015", "12", "01", "06", "20151201", "  744"},
        {"2016", "01", "01", "06", "20160101", "  744"}}},
      {"yearly events start in the first event's month",
       "3\n12\n",
       {{"2015", "04", "15", "00", "20150415", " 8760"},
        {"2016", "04", "01", "00", "20160401", " 8784"},
        {"2017", "04", "01", "00", "20170401", " 8760"}}},
      {"one event in February", "1\n1\n", {{"2016", "02", "01", "00", "20160201", "  696"}}},
      {"February 1900 counts as leap", "1\n1\n", {{"1900", "02", "01", "00", "19000201", "  696"}}},
      {"from February 29 1900, a leap day",
       "2\n1\n",
       {{"1900", "02", "29", "18", "19000229", "  696"},
        {"1900", "03", "01", "18", "19000301", "  744"}}},
      {"February 2015", "1\n1\n", {{"2015", "02", "01", "00", "20150201", "  672"}}},
      {"February 2100 at noon", "1\n1\n", {{"2100", "02", "01", "12", "21000201", "  696"}}},
      {"from February 29", "1\n1\n", {{"2016", "02", "29", "06", "20160229", "  696"}}},
      {"forty years of monthly events", "480\n1\n", forty_years()},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    testing::RunArea w;
    const Event& first = row.events.front();
    const Event& last = row.events.back();
    const std::string start = first.yy + " " + first.mm + " " + first.dd + " " + first.hh;
    const auto result =
        run_program(w.work, row.first_group + start + "\n" + typical_options());
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.status, 0);
    Lines names;
    std::set<std::string> files = {"event",        "event/events_to_follow.txt",
                                   "evt_info.txt", "temp0.fls",
                                   "temp1.fls",    "temp2.fls",
                                   "temp3.fls"};
    for (const Event& e : row.events) {
      names.push_back(e.name);
      files.insert("event/" + e.name + ".evt");
      EXPECT_EQ(read_file(w.work / ("event/" + e.name + ".evt")), event_file(e)) << e.name;
    }
    EXPECT_EQ(result.out, transcript(names));  // questions and warning once, then each event
    EXPECT_EQ(read_file(w.work / "event/events_to_follow.txt"), list_of(names));
    EXPECT_EQ(read_file(w.work / "evt_info.txt"), "");
    EXPECT_EQ(read_file(w.work / "temp0.fls"), first.yy + first.mm + first.dd + first.hh + "\n");
    EXPECT_EQ(read_file(w.work / "temp1.fls"),
              last.yy + " " + last.mm + " " + last.dd + " " + last.hh + "\n");
    EXPECT_EQ(read_file(w.work / "temp2.fls"), first.name + "\n");
    EXPECT_EQ(read_file(w.work / "temp3.fls"), temp3("gr10k", last.name));
    if (row.events.size() > 1) {
      files.insert("temp5.fls");
      EXPECT_EQ(read_file(w.work / "temp5.fls"), last.name + "\n");
    }  // else a one-event run never advances
    EXPECT_EQ(testing::tree(w.work), Lines(files.begin(), files.end()));
  }
}

// Runs that write no event: no option question, an old list and run log kept as they were (or
// an empty list made), and only the start kept in temp0.fls.
TEST(WholeRun, RunsWithoutEventsLeaveOnlyTheStart) {
  const Lines abort = {" No of months per event not eq to 1 or 12", "",
                       "Program aborted in evt @ 130"};
  struct Row {
    std::string label, answers;
    bool old_files;  // an old list and run log are there before the run
    std::string temp0;
    Lines ending = closing();  // the transcript after the opening
    int status = 0;
  };
  const Row rows[] = {
      {"no events", "0\n1\n2015 01 01 00\n", true, "2015010100\n"},
      {"no events in a fresh directory", "0\n1\n2015 01 01 00\n", false, "2015010100\n"},
      {"a negative number of events", "-4\n1\n2015 01 01 00\n", true, "2015010100\n"},
      // The lowest 32-bit integer, and zero in any form, are numbers of events like any other.
      {"the lowest 32-bit integer", "-2147483648\n1\n2015 01 01 00\n", false, "2015010100\n"},
      {"+0 events", "+0\n1\n2015 01 01 00\n", false, "2015010100\n"},
      {"-0 events", "-0\n1\n2015 01 01 00\n", false, "2015010100\n"},
      {"0 events and more on the line", "  0  and the rest\n1\n2015 01 01 00\n", false,
       "2015010100\n"},
      {"six months per event with no events", "0\n6\n2015 01 01 00\n", false, "2015010100\n"},
      {"month 13 with no events", "0\n1\n2015 13 01 00\n", false, "2015130100\n"},
      {"six months and month 13 with no events", "0\n6\n2015 13 01 00\n", true, "2015130100\n"},
      {"six months per event abort before the option questions",
       "2\n6\n2015 01 01 00\n" + typical_options(), false, "2015010100\n", abort, 1},
  };
  const std::string old_list = " event\\20100101.evt" + std::string(54, ' ') + "\n old\r\n";
  const std::string old_log = "an earlier run\nwith two lines, no final newline";
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    testing::RunArea w;
    if (row.old_files) {
      write_file(w.work / "event/events_to_follow.txt", old_list);
      write_file(w.work / "evt_info.txt", old_log);
    }
    const auto result = run_program(w.work, row.answers);
    Lines t = opening();
    append(t, row.ending);
    EXPECT_EQ(result.out, lines(t));
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.status, row.status);
    EXPECT_EQ(testing::tree(w.work), (Lines{"event", "event/events_to_follow.txt", "evt_info.txt",
                                             "temp0.fls"}));
    EXPECT_EQ(read_bytes(w.work / "event/events_to_follow.txt"), row.old_files ? old_list : "");
    EXPECT_EQ(read_file(w.work / "evt_info.txt"), row.old_files ? old_log : "");
    EXPECT_EQ(read_file(w.work / "temp0.fls"), row.temp0);
  }
}

struct OptionRow {
  std::string label, options;
  bool factor_asked, rate_asked;
  Answers answers;
  // The y/n lines read as no without saying n, told on the error stream: line and answer.
  std::vector<std::pair<int, std::string>> loose = {};
  std::string cut_basin = {};  // a basin name as typed that the answers hold cut
};

// The eight y/n answers as stored (snw vap smr resin wet divert lake ice), then the rate and
// the reporting step as written.
Answers with(const std::string& flags, std::string rate, std::string deltat,
             std::string basin = "gr10k") {
  Answers a;
  a.basin = std::move(basin);
  std::string* kept[] = {&a.snw, &a.vap, &a.smr, &a.resin, &a.wet, &a.divert, &a.lake, &a.ice};
  for (std::size_t i = 0; i < std::size(kept); ++i) *kept[i] = flags.substr(i, 1);
  a.rate = std::move(rate);
  a.deltat = std::move(deltat);
  return a;
}

// The basin name is cut at its first blank and after eight characters.
TEST(WholeRun, OptionAnswersReachTheEventFileAsTyped) {
  const OptionRow rows[] = {
      {"capital Y for snow", "Y\nn\nn\n1\nn\nn\nn\nn\nn\ngr10k\n\n\n", false, false,
       with("Ynnnnnnn", " 0.00", "    1"), {{4, "snow melt answer): \"Y"}}},
      {"yes for disaggregation", "n\nn\nyes\n2.5\n3\nn\nn\nn\nn\nn\ngr10k\n\n\n", false, true,
       with("nnynnnnn", " 2.50", "    3")},
      {"empty answers", "\n\n\n24\n\n\n\n\n\ngr10k\n\n\n", false, false,
       with("        ", " 0.00", "   24"),
       {{4, "snow melt answer): \""}, {5, "evaporation answer): \""},
        {6, "disaggregation answer): \""}, {8, "reservoir/lake inflow answer): \""},
        {9, "wetland coupling answer): \""}, {10, "diversions answer): \""},
        {11, "lake evaporation answer): \""}, {12, "ice factors answer): \""}}},
      {"every option yes", "y\n25\ny\ny\n12.345\n1\ny\ny\ny\ny\ny\ngr10k\n\n\n", true, true,
       with("yyyyyyyy", "12.35", "    1")},
      {"other characters", "x\nN\nno\n60\nyes\nY\n-\n1\n?\ngr10k\n\n\n", false, false,
       with("xNnyY-1?", " 0.00", "   60"),
       {{4, "snow melt answer): \"x"}, {9, "wetland coupling answer): \"Y"},
        {10, "diversions answer): \"-"}, {11, "lake evaporation answer): \"1"},
        {12, "ice factors answer): \"?"}}},
      {"a snow factor of more than five columns is cut",
       "y\n25.125\nn\nn\n1\nn\nn\nn\nn\nn\ngr10k\n\n\n", true, false,
       with("ynnnnnnn", " 0.00", "    1")},
      {"a basin name cut at its first blank", typical_options("gr 10k"), true, false,
       with("ynnnnnnn", " 0.00", "    1", "gr"), {}, "gr 10k"},
      {"an empty basin name", typical_options(""), true, false,
       with("ynnnnnnn", " 0.00", "    1", " ")},
      {"a basin name cut after eight characters", typical_options("abcdefghijk"), true, false,
       with("ynnnnnnn", " 0.00", "    1", "abcdefgh"), {}, "abcdefghijk"},
      {"another basin", typical_options("saug"), true, false,
       with("ynnnnnnn", " 0.00", "    1", "saug")},
  };
  for (const auto& row : rows) {
    testing::RunArea w;
    const auto result = run_program(w.work, "1\n1\n2015 06 01 00\n" + row.options);
    EXPECT_EQ(result.out, transcript({"20150601"}, row.factor_asked, row.rate_asked)) << row.label;
    EXPECT_EQ(result.status, 0) << row.label;
    std::string told;
    for (const auto& [line, answer] : row.loose) {
      told += "quorlant: warning: line " + std::to_string(line) + " of the answers (the " + answer +
              "\" is read as no (only a lowercase y is yes); --strict refuses it\n";
    }
    // A name that is cut, short or long, gets a word; one that is not, none.
    if (!row.cut_basin.empty()) {
      told += "quorlant: warning: the basin name \"" + row.cut_basin + "\" is cut to \"" +
              row.answers.basin + "\" in the file names (at most 8 characters, no blank)\n";
    }
    EXPECT_EQ(result.err, told) << row.label;
    EXPECT_EQ(read_file(w.work / "event/20150601.evt"),
              event_file({"2015", "06", "01", "00", "20150601", "  720"}, row.answers))
        << row.label;
    EXPECT_EQ(read_file(w.work / "temp3.fls"), temp3(row.answers.basin, "20150601")) << row.label;
  }
}

// Starts that cannot make a series are rejected before any option question.
TEST(WholeRun, StartsThatCannotMakeASeriesAreRejected) {
  struct Row {
    std::string first_group, start;
  };
  const Row rows[] = {
      {"1\n1\n", "2015 13 01 00"},
      {"3\n1\n", "2015 00 01 00"},
      {"1\n12\n", "2015 13 01 00"},
      {"3\n12\n", "9998 01 01 00"},  // the third event would start in 10000
      {"2\n1\n", "2015 ab 01 00"},
      {"2\n1\n", "2015 06 1. 00"},
      {"1\n1\n", "2015 02 29 00"},
      {"1\n1\n", "2015 1 1 0   "},
  };
  for (const auto& row : rows) {
    testing::RunArea w;
    const auto result =
        run_program(w.work, row.first_group + row.start + "\n" + typical_options());
    EXPECT_EQ(result.status, 1) << row.start;
    EXPECT_EQ(result.err.rfind("quorlant: ", 0), 0U) << result.err;
    EXPECT_NE(result.err.find("\"" + row.start + "\""), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("\"yyyy mm dd hh\""), std::string::npos) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_EQ(result.out, lines(opening())) << row.start;
    EXPECT_FALSE(std::filesystem::exists(w.work / "temp3.fls")) << row.start;
    EXPECT_EQ(read_file(w.work / "event/events_to_follow.txt"), "") << row.start;
  }
}

}  // namespace
}  // namespace quorlant::run
