// `quorlant check` on series the program itself wrote, some data files there and some not:
// the whole report and the status, and for each kind of bad input or failed look-up its line
// and status.
#include "check/check_command.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "memory_file_system.h"
#include "test_support.h"

namespace quorlant::check {
namespace {

namespace fs = std::filesystem;
using testing::lines;
using testing::MemoryFileSystem;
using testing::read_file;
using testing::run_program;
using testing::TempDir;
using testing::write_file;

const fs::path kExamples = fs::path(QUORLANT_SOURCE_DIR) / "examples";

// Every kind but rainfall and streamflow, which the tests leave without a file.
const std::string kUnused =
    ":pointsoilmoisture, :pointtemps, :pointhumidity, :pointwindspd, :pointwinddir, :pointsnow, "
    ":pointdrain, :pointdsnow, :reservoirreleasefile, :reservoirinflowfile, :diversionflowfile, "
    ":snowcoursefile, :initlakelevel, :observedlakelevel, :radarfile, :rawradarfile, "
    ":clutterfile, :griddedinitsnowweq, :griddedinitsoilmoisture, :griddedrainfile, "
    ":griddedtemperaturefile, :griddeddailydifference, :griddedhumidity, :griddedwindspd, "
    ":griddedwinddir, :griddedsnow, :griddeddrain, :griddeddsnow, :griddedrunoff, "
    ":griddedrecharge, :griddedleakage";

const fs::path kWork = "/w";

// A working directory in memory after a run of `script`, with a rainfall and a streamflow file
// for each of the events named, and the basin's own file.
struct Series {
  Series(const std::string& script, const std::vector<std::string>& rain,
         const std::vector<std::string>& flow) {
    files.make_directory(kWork);
    files.make_directory(kWork / "event");
    EXPECT_EQ(run_program(kWork, read_file(kExamples / script), {}, &files).status, 0);
    for (auto* sub : {"raing", "strfw", "basin"}) files.make_directory(kWork / sub);
    for (const auto& event : rain) files.make_file(kWork / ("raing/" + event + "_rag.tb0"), "x");
    for (const auto& event : flow) files.make_file(kWork / ("strfw/" + event + "_str.tb0"), "x");
    for (auto* name : {"basin/gr10k_shd.r2c", "basin/gr10k_par.csv"})
      files.make_file(kWork / name, "x");
  }
  // The file `name` with `from` replaced by `to`, its records read as text.
  void edit(const std::string& name, const std::string& from, const std::string& to) {
    std::string text = testing::text_output(*files.bytes(kWork / name));
    files.make_file(kWork / name, text.replace(text.find(from), from.size(), to));
  }
  testing::RunResult check(std::vector<std::string_view> arguments) {
    arguments.insert(arguments.begin(), "check");
    return run_program(kWork, "", arguments, &files);
  }
  MemoryFileSystem files;
};

// The yearly events from 1981 to 2020 but those of the years in `except`.
std::vector<std::string> years(const std::vector<int>& except) {
  std::vector<std::string> names;
  for (int year = 1981; year <= 2020; ++year)
    if (std::find(except.begin(), except.end(), year) == except.end())
      names.push_back(std::to_string(year) + "0101");
  return names;
}

const std::vector<std::string> kBasinFiles = {
    "Basin files:",
    ":basinfilename            basin\\gr10k_shd.r2c     present",
    ":parfilename              basin\\gr10k_par.csv     present",
    ":channelparfile           basin\\gr10k_ch_par.r2c  missing",
    ":pointdatalocations       basin\\gr10k.pdl         missing",
    ":snowcoverdepletioncurve  basin\\gr10k.sdc         missing",
    ":waterqualitydatafile     basin\\gr10k.wqd         missing",
    "",
    "No file present for any event: " + kUnused,
    "Needed: :basinfilename, :parfilename"};

TEST(Check, FortyYearlyEventsWithGapsThenWithout) {
  Series series("forty-years-yearly.answers", years({1995, 1996, 2010}), years({2020}));
  series.files.make_file(kWork / "raing/20100101_rag.tb0", "");  // a copy that failed
  series.files.make_file(kWork / "event/.19810101.evt.tmp99.0", "");
  const auto before = series.files.tree(kWork);
  auto result = series.check({"--chart"});
  EXPECT_EQ(series.files.tree(kWork), before);  // nothing written, created or removed
  std::vector<std::string> report = {
      "Event files checked: 40 (19810101 to 20200101)",
      "",
      "keyword                   pattern          present  missing",
      ":pointprecip              raing\\*_rag.tb0    37/40  19950101-19960101, 20100101 (empty)",
      ":streamflowdatafile       strfw\\*_str.tb0    39/40  20200101",
      "",
      "year                      1981     1990      2000      2010      2020",
      "                          |        |         |         |         |",
      ":pointprecip              ##############..#############.##########",
      ":streamflowdatafile       #######################################.",
      "# every event of the year has the file, + some do, . none, blank: no event",
      ""};
  report.insert(report.end(), kBasinFiles.begin(), kBasinFiles.end());
  report.insert(report.end() - 2, "Left by a run that was killed: event\\.19810101.evt.tmp99.0");
  report.push_back("Gaps: :pointprecip, :streamflowdatafile");
  EXPECT_EQ(result.out, lines(report));
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.status, 1);
  // The page draws the years in one row, every fifth labelled; a needed kind comes first.
  const std::string page = series.check({"--html", "-", "--need", "streamflowdatafile"}).out;
  EXPECT_NE(page.find("<text x=\"34\" y=\"8\">1981</text>\n<text x=\"94\" y=\"8\">1986</text>\n"),
            std::string::npos);
  EXPECT_LT(page.find("<b>:streamflowdatafile</b>"), page.find("<b>:pointprecip</b>"));
  EXPECT_NE(page.find("<b>:pointprecip</b>"), std::string::npos);

  // With the missing files there, and the list as a Windows editor leaves it (CR LF).
  for (auto* name : {"raing/19950101_rag.tb0", "raing/19960101_rag.tb0", "raing/20100101_rag.tb0",
                     "strfw/20200101_str.tb0"}) {
    series.files.make_file(kWork / name, "x");
  }
  series.files.erase(kWork / "event/.19810101.evt.tmp99.0");
  std::string list;
  for (const auto& event : years({})) list += " event\\" + event + ".evt  \r\n";
  series.files.make_file(kWork / "event/events_to_follow.txt", list);
  result = series.check({});
  report = {"Event files checked: 40 (19810101 to 20200101)",
            "",
            "keyword                   pattern          present  missing",
            ":pointprecip              raing\\*_rag.tb0    40/40",
            ":streamflowdatafile       strfw\\*_str.tb0    40/40",
            ""};
  report.insert(report.end(), kBasinFiles.begin(), kBasinFiles.end());
  report.push_back("No gaps.");
  EXPECT_EQ(result.out, lines(report));
  EXPECT_EQ(result.status, 0) << result.err;
}

// Event files named on the command line, in either spelling of the separator; the months
// lacking rainfall fold into runs of consecutive files.
TEST(Check, MonthlyEventsNamedOnTheCommandLine) {
  Series series("one-year-monthly-snow-disaggregation.answers",
                {"20150101", "20150201", "20150601", "20150701", "20150801"},
                {"20150201", "20150301", "20150401", "20150501", "20150601", "20150901"});
  const std::vector<std::string_view> files = {"event\\20150201.evt", "event/20150301.evt",
                                               "event\\20150401.evt", "event\\20150501.evt",
                                               "event\\20150601.evt", "event\\20150901.evt"};
  std::vector<std::string_view> arguments = {"--chart"};
  arguments.insert(arguments.end(), files.begin(), files.end());
  auto result = series.check(arguments);
  std::vector<std::string> report = {
      "Event files checked: 6 (20150201 to 20150901)",
      "",
      "keyword                   pattern          present  missing",
      ":pointprecip              raing\\*_rag.tb0      2/6  20150301-20150501, 20150901",
      ":streamflowdatafile       strfw\\*_str.tb0      6/6",
      "",
      "year                      2015",
      "                          |",
      ":pointprecip              +",
      ":streamflowdatafile       #",
      "# every event of the year has the file, + some do, . none, blank: no event",
      ""};
  report.insert(report.end(), kBasinFiles.begin(), kBasinFiles.end());
  report.push_back("Gaps: :pointprecip");
  EXPECT_EQ(result.out, lines(report));
  EXPECT_EQ(result.status, 1) << result.err;

  // A basin name typed in Latin-1: the JSON stays valid, the byte read as its Latin-1 letter.
  for (const auto& file : files)
    series.edit("event/" + std::string(file.substr(6)), "gr10k.wqd", "Sa\xF4ne.wqd");
  arguments[0] = "--json";
  result = series.check(arguments);
  nlohmann::json expected = R"({"events": 6, "unchecked": 0, "not_looked": [],
    "data_files": 198, "data_files_found": 8, "kinds": [
      {"keyword": ":pointprecip", "pattern": "raing\\*_rag.tb0", "needed": false, "present": 2,
       "missing": ["20150301", "20150401", "20150501", "20150901"], "empty": [], "not_looked": [],
       "missing_paths": ["raing\\20150301_rag.tb0", "raing\\20150401_rag.tb0",
                         "raing\\20150501_rag.tb0", "raing\\20150901_rag.tb0"],
       "empty_paths": []},
      {"keyword": ":streamflowdatafile", "pattern": "strfw\\*_str.tb0", "needed": false,
       "present": 6, "missing": [], "empty": [], "not_looked": [], "missing_paths": [],
       "empty_paths": []}],
    "basin_files": [
      {"keyword": ":basinfilename", "name": "basin\\gr10k_shd.r2c", "present": true, "state": "present", "needed": true},
      {"keyword": ":parfilename", "name": "basin\\gr10k_par.csv", "present": true, "state": "present", "needed": true},
      {"keyword": ":channelparfile", "name": "basin\\gr10k_ch_par.r2c", "present": false, "state": "missing", "needed": false},
      {"keyword": ":pointdatalocations", "name": "basin\\gr10k.pdl", "present": false, "state": "missing", "needed": false},
      {"keyword": ":snowcoverdepletioncurve", "name": "basin\\gr10k.sdc", "present": false, "state": "missing", "needed": false},
      {"keyword": ":waterqualitydatafile", "name": "basin\\Sa\u00f4ne.wqd", "present": false, "state": "missing", "needed": false}],
    "leftovers": [], "needed": [":basinfilename", ":parfilename"], "unused": [],
    "gaps": [":pointprecip"], "verdict": "gaps"})"_json;
  for (std::size_t at = 0, end = 0; end != std::string::npos; at = end + 2) {
    end = kUnused.find(", ", at);
    expected["unused"].push_back(kUnused.substr(at, end - at));
  }
  EXPECT_EQ(nlohmann::json::parse(result.out), expected);
  EXPECT_EQ(result.status, 1) << result.err;
}

// What people and scripts meet first: the statuses in the help; a JSON document even when the
// check cannot be made; a fresh run's folder reports every kind it names as without a file, and a
// leftover's name cannot start a report line of its own.
TEST(Check, SpeaksToPeopleAndScripts) {
  TempDir dir;
  const auto json = run_program(dir.path(), "", {"check", "--json"});
  // Without a list, what to do instead.
  const std::string no_list = "event\\events_to_follow.txt: no such file; run quorlant here "
                              "first to write a series, or name event files: quorlant check " +
                              std::string(testing::kOnWindows ? "event\\*.evt" : "event/*.evt");
  EXPECT_EQ(std::tie(json.err, json.status), std::tuple("quorlant check: " + no_list + "\n", 2));
  EXPECT_EQ(nlohmann::json::parse(json.out),
            (nlohmann::json{{"error", no_list}, {"verdict", "cannot check"}}));
  const std::string help = run_program(dir.path(), "", {"check", "--help"}).out;
  EXPECT_EQ(help.rfind("Usage: quorlant check [--chart | --json] [--html FILE] [--need KEYWORD[,KEYWORD...]] "
                       "[EVENT_FILE...]\n",
                       0),
            0U);
  EXPECT_NE(help.find("Exit status: 0 no gap; 1 gaps, or none of the data files the events "
                      "name exists; 2 the\ncheck is incomplete or cannot be made"),
            std::string::npos);
  fs::create_directory(dir / "event");
  ASSERT_EQ(run_program(dir.path(), read_file(kExamples / "typical-two-months.answers")).status, 0);
  // Only this program's own temporaries are leftovers: a look-alike with other characters in
  // its process number is someone else's (names on Windows hold no control character).
  write_file(dir / "event/.20150101.evt.tmp7.1", "");
  write_file(dir / (testing::kOnWindows ? "event/.20150101.evt.tmp7x.1"
                                        : "event/.20150101.evt.tmp7\n\x1b[2J.1"),
             "");
  const auto report = run_program(dir.path(), "", {"check", "--chart"});
  EXPECT_NE(report.out.find("\nLeft by a run that was killed: event\\.20150101.evt.tmp7.1\n"
                            "No file present for any event: :pointsoilmoisture, :pointprecip, "),
            std::string::npos)
      << report.out;
  // No data file at all: one sentence instead of the frame of a chart.
  EXPECT_NE(report.out.find("\n\nNo chart: not one of the data files these events name exists.\n"
                            "\n"),
            std::string::npos)
      << report.out;
  EXPECT_EQ(report.out.find("|"), std::string::npos) << report.out;
}

// Each bad input, each look-up that fails or finds what it must not follow: its one line on the
// error stream, the status and the last line of the report. A listed event file that cannot be
// checked leaves the others checked, and the report then says it is incomplete.
TEST(Check, EveryFailureIsNamedWithItsStatus) {
  struct Case {
    std::function<void(Series&)> setup;  // none: the series as the run left it
    std::vector<std::string_view> arguments;
    std::string err;
    int status;
    std::string last;
  };
  const auto edit = [](const char* name, std::string from, std::string to) {
    return [=](Series& s) { s.edit(name, from, to); };
  };
  const auto fail = [](const char* part, std::errc error) {
    return [=](Series& s) { s.files.fake_look_ups(part, std::make_error_code(error)); };
  };
  const std::string e = "event\\19810101.evt";
  const std::string lies = " lies outside the working directory; not followed";
  const std::string see = " (see the messages on standard error).";
  const std::string one_of_40 = "Incomplete: 1 of 40 event files could not be checked" + see;
  const std::string plain = ": not a plain file (a pipe, a device or a socket); not read";
  const std::string usage =
      "; usage: quorlant check [--chart | --json] [--html FILE] [--need KEYWORD[,KEYWORD...]] "
      "[EVENT_FILE...]";
  const std::string_view only[] = {"event\\19810101.evt"};
  const char* first = "event/19810101.evt";
  // clang-format off
  const std::vector<Case> cases = {
      {[](Series& s) { s.files.erase(kWork / "event/20200101.evt"); }, {}, "event\\20200101.evt: no such file", 2, one_of_40},
      {edit(first, ":pointtemps", ":pointtemp "), {}, e + ", line 61: expected \":pointtemps\"", 2, one_of_40},
      {edit(first, ":pointtemps", ":pointtempsx"), {}, e + ", line 61: expected \":pointtemps\"", 2, one_of_40},
      {edit(first, "#\neof\n", ""), {}, e + ", line 107: expected \"#\", found the end of the file", 2, one_of_40},
      {edit(first, ":year", std::string(":y\0ar", 5)), {}, e + ", line 4: a control character; not a text file", 2, one_of_40},
      {edit(first, "#\n:filetype", std::string(3'000'000, '#')), {}, e + ", line 1: more than 1024 characters; not a text file", 2, one_of_40},
      {edit(first, "raing\\", "..\\raing\\"), {}, e + ", line 60: \"..\\raing\\19810101_rag.tb0\"" + lies, 2, one_of_40},
      {edit(first, "raing\\19810101_rag.tb0", "C:x"), {}, e + ", line 60: \"C:x\"" + lies, 2, one_of_40},
      {edit(first, "raing\\19810101_rag.tb0", "\\x"), {}, e + ", line 60: \"\\x\"" + lies, 2, one_of_40},
      {edit(first, "raing\\19810101_rag.tb0", "/x"), {}, e + ", line 60: \"/x\"" + lies, 2, one_of_40},
      // Climbing that stays inside is no reason to refuse a name: a new basin file, present.
      {edit(first, "basin\\gr10k_shd", "basin\\..\\basin\\gr10k_shd"), {}, "", 0, "No gaps."},
      {[](Series& s) { s.files.make_file(kWork / "raing/19810101_rag.tb0", ""); }, {}, "", 1, "Gaps: :pointprecip"},
      {fail("raing/19810101_rag.tb0", std::errc::permission_denied), {},
       "raing\\19810101_rag.tb0: could not be looked at: Permission denied", 2, "Incomplete: 1 file could not be looked at" + see},
      {fail("raing/", std::errc::io_error), {},
       "raing\\19810101_rag.tb0 and 39 more :pointprecip files: could not be looked at: Input/output error", 2,
       "Incomplete: 40 files could not be looked at" + see},
      {fail("basin/gr10k.sdc", std::errc::filename_too_long), {},
       "basin\\gr10k.sdc: could not be looked at: File name too long", 2, "Incomplete: 1 file could not be looked at" + see},
      {fail("event/20200101.evt", std::errc::permission_denied), {},
       "event\\20200101.evt: could not be looked at: Permission denied", 2, one_of_40},
      {[](Series& s) { s.files.make_device(kWork / "event/events_to_follow.txt"); }, {}, "event\\events_to_follow.txt" + plain, 2, ""},
      {[=](Series& s) { s.files.make_device(kWork / first); }, {only[0]}, e + plain, 2, ""},
      {[=](Series& s) { s.files.make_directory(kWork / first); }, {only[0]}, e + ": a directory; not read", 2, ""},
      // A name that would clear the screen and forge a line is shown escaped.
      {[](Series& s) { s.files.make_directory(kWork / "event/x\n\x1b[2J.evt"); }, {"event\\x\n\x1b[2J.evt"},
       "event\\x\\n\\x1b[2J.evt: a directory; not read", 2, ""},
      // A pipe put in its place after the look-up: what was opened is asked again, and the pipe
      // refused at once instead of waited on.
      {[=](Series& s) {
         s.files.make_device(kWork / first);
         s.files.fake_look_ups(first, {}, platform::FileKind::kRegular);
       }, {only[0]}, e + plain, 2, ""},
      {[](Series& s) { s.files.make_link(kWork / "event/events_to_follow.txt", "../../passwd"); }, {},
       "\"event\\events_to_follow.txt\"" + lies, 2, ""},
      // From the root; on Windows from the root of the current drive, which it does not call
      // absolute.
      {[](Series& s) { s.files.make_link(kWork / "raing", "/etc"); }, {only[0]},
       e + ", line 60: \"raing\\19810101_rag.tb0\"" + lies, 2, ""},
      // A link that stays inside, even written from the root, is followed.
      {[](Series& s) {
         s.files.make_link(kWork / "raing", "/w/strfw");
         s.files.make_file(kWork / "strfw/19810101_rag.tb0", "x");
       }, {only[0]}, "", 0, "No gaps."},
      {[](Series& s) {
         s.files.make_directory(kWork / "raing");
         s.files.make_directory(kWork / "strfw");
       }, {}, "", 1,
       "none of the 1320 data files these events name exist: is this the model's working directory?"},
      {{}, {"--need", "pointprecip,:streamflowdatafile,pointtemps"}, "", 1, "Gaps: :pointtemps"},
      // A needed basin file missing, or empty, is a gap too.
      {[](Series& s) { s.files.make_file(kWork / "basin/gr10k_par.csv", ""); },
       {"--need", "channelparfile,parfilename"}, "", 1, "Gaps: :parfilename, :channelparfile"},
      {{}, {"--need", "pointprecip,rainfall"},
       "--need: \":rainfall\" is not the keyword of a data file or a basin file in an event file" + usage, 2, ""},
      {{}, {"--chart", "--json"}, "--chart and --json exclude each other: the JSON document has no chart" + usage, 2, ""},
      {{}, {"--json", "--need"}, "--need needs the keywords of the kinds the set-up needs, e.g. --need "
       "pointprecip,basinfilename" + usage, 2, ""},
      {{}, {"--charts"}, "unknown option --charts" + usage, 2, ""},
      {{}, {"--chart=x"}, "--chart and --json take no value" + usage, 2, ""},
      // The report still says what it found when its page cannot be written.
      {{}, {"--html", "no/page.html"}, "cannot write no/page.html: No such file or directory", 2, "No gaps."},
      {[](Series& s) {
         using enum MemoryFileSystem::Call;
         const auto full = std::make_error_code(std::errc::no_space_on_device);
         s.files.fail(kWrite, s.files.calls(kWrite) + 1, full);
       },
       {"--html", "page.html"}, "cannot write page.html: No space left on device", 2, "No gaps."},
      {{}, {"--html", "-"}, "", 0, "</html>"},
      {{}, {"--html", "-", "--json"}, "--html - puts the page on standard output: not with --chart or --json" + usage, 2, ""},
      {{}, {"--html"}, "--html takes one file to write the page to, or - for standard output" + usage, 2, ""},
  };
  // clang-format on
  for (const Case& c : cases) {
    Series series("forty-years-yearly.answers", years({}), years({}));
    if (c.setup) c.setup(series);
    const auto before = series.files.tree(kWork);
    const auto result = series.check({c.arguments.begin(), c.arguments.end()});
    EXPECT_EQ(series.files.tree(kWork), before) << c.err;  // nothing written, not even in part
    EXPECT_EQ(result.err, c.err.empty() ? "" : "quorlant check: " + c.err + "\n");
    EXPECT_EQ(result.status, c.status) << c.err;
    const std::string& report = result.out;
    const std::string last = report.substr(report.rfind('\n', report.size() - 2) + 1);
    EXPECT_EQ(report.empty() ? "" : last, c.last.empty() ? "" : c.last + "\n") << c.err;
  }
}

// A century of months: the count column widens to hold "1200/1200".
TEST(Check, ACenturyOfMonthsWidensTheCountColumn) {
  MemoryFileSystem files;
  files.make_directory(kWork);
  files.make_directory(kWork / "event");
  ASSERT_EQ(run_program(kWork, "", {"-q", "--events", "1200", "--months-per-event", "1", "--start",
                                    "1901 01 01 00", "--report-step", "1", "--basin", "gr10k"},
                        &files)
                .status,
            0);
  files.make_directory(kWork / "raing");
  files.make_file(kWork / "raing/19010201_rag.tb0", "x");
  const std::string out = run_program(kWork, "", {"check"}, &files).out;
  EXPECT_EQ(out.substr(0, out.find("\n\nBasin")),
            "Event files checked: 1200 (19010101 to 20001201)\n\n"
            "keyword                   pattern            present  missing\n"
            ":pointprecip              raing\\*_rag.tb0     1/1200  19010101, 19010301-20001201");
}

// The way to a data directory through 39 links, each 800 directories down and back up: the
// check follows it once for the series, not once per name.
TEST(Check, AMazeOfLinksIsWalkedOnceForTheSeries) {
  if (testing::kOnWindows) GTEST_SKIP() << "links need a privilege on Windows";
  TempDir dir;
  ASSERT_EQ(testing::write_36_monthly_events(dir.path()), 0);
  std::string down;
  std::string up;
  for (int i = 0; i < 800; ++i) {
    down += "d/";
    up += "../";
  }
  fs::create_directories(dir / "maze" / down);
  fs::create_directory(dir / "rain");
  for (int link = 1; link <= 39; ++link) {
    const std::string next = link < 39 ? "L" + std::to_string(link + 1) : "../rain";
    fs::create_symlink(down + up + next, dir / ("maze/L" + std::to_string(link)));
  }
  fs::create_symlink("maze/L1", dir / "raing");
  write_file(dir / "rain/20150101_rag.tb0", "x");

  // Five seconds for a release build; a build under the address sanitizer runs some ten times
  // slower, so it is held only to the order of that.
#ifdef __SANITIZE_ADDRESS__
  constexpr auto kBound = std::chrono::seconds(60);
#else
  constexpr auto kBound = std::chrono::seconds(5);
#endif
  const auto started = std::chrono::steady_clock::now();
  const auto result = run_program(dir.path(), "", {"check"});
  EXPECT_LT(std::chrono::steady_clock::now() - started, kBound);
  EXPECT_EQ(result.err, "");
  EXPECT_NE(
      result.out.find(":pointprecip              raing\\*_rag.tb0     1/36  20150201-20171201\n"),
      std::string::npos)
      << result.out;
}

}  // namespace
}  // namespace quorlant::check
