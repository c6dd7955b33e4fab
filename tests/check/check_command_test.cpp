// `quorlant check` on series the program itself wrote, some data files there and some not:
// the whole report and the status, and one line and status 2 for each kind of bad input.
#include "check/check_command.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "test_support.h"

namespace quorlant::check {
namespace {

namespace fs = std::filesystem;
using testing::lines;
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

// A working directory after a run of `script`, with a rainfall and a streamflow file for each
// of the events named, and the basin's own file.
struct Series {
  Series(const std::string& script, const std::vector<std::string>& rain,
         const std::vector<std::string>& flow) {
    fs::create_directories(dir / "event");
    EXPECT_EQ(run_program(dir.path(), read_file(kExamples / script)).status, 0);
    for (auto* sub : {"raing", "strfw", "basin"}) fs::create_directory(dir / sub);
    for (const auto& event : rain) write_file(dir / ("raing/" + event + "_rag.tb0"), "");
    for (const auto& event : flow) write_file(dir / ("strfw/" + event + "_str.tb0"), "");
    write_file(dir / "basin/gr10k_shd.r2c", "");
  }
  // Every path below the directory with the content of each file.
  std::string snapshot() const {
    std::string all;
    for (const auto& entry : fs::recursive_directory_iterator(dir.path()))
      all += entry.path().string() + "\n" + (entry.is_regular_file() ? read_file(entry) : "");
    return all;
  }
  testing::RunResult check(std::vector<std::string_view> arguments) {
    arguments.insert(arguments.begin(), "check");
    return run_program(dir.path(), "", arguments);
  }
  TempDir dir;
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
    ":parfilename              basin\\gr10k_par.csv     missing",
    ":channelparfile           basin\\gr10k_ch_par.r2c  missing",
    ":pointdatalocations       basin\\gr10k.pdl         missing",
    ":snowcoverdepletioncurve  basin\\gr10k.sdc         missing",
    ":waterqualitydatafile     basin\\gr10k.wqd         missing",
    "",
    "Unused (no event has the file): " + kUnused};

TEST(Check, FortyYearlyEventsWithGapsThenWithout) {
  Series series("forty-years-yearly.answers", years({1995, 1996, 2010}), years({2020}));
  const std::string before = series.snapshot();
  auto result = series.check({"--chart"});
  EXPECT_EQ(series.snapshot(), before);  // nothing written, created or removed
  std::vector<std::string> report = {
      "Event files checked: 40 (19810101 to 20200101)",
      "",
      "keyword                   pattern          present  missing",
      ":pointprecip              raing\\*_rag.tb0    37/40  19950101-19960101, 20100101",
      ":streamflowdatafile       strfw\\*_str.tb0    39/40  20200101",
      "",
      "year                      1981     1990      2000      2010      2020",
      "                          |        |         |         |         |",
      ":pointprecip              ##############..#############.##########",
      ":streamflowdatafile       #######################################.",
      "# every event of the year has the file, + some do, . none, blank: no event",
      ""};
  report.insert(report.end(), kBasinFiles.begin(), kBasinFiles.end());
  report.push_back("Gaps: :pointprecip, :streamflowdatafile");
  EXPECT_EQ(result.out, lines(report));
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.status, 1);

  // With the missing files there, and the list as a Windows editor leaves it (CR LF).
  for (auto* name : {"raing/19950101_rag.tb0", "raing/19960101_rag.tb0", "raing/20100101_rag.tb0",
                     "strfw/20200101_str.tb0"}) {
    write_file(series.dir / name, "");
  }
  std::string list;
  for (const auto& event : years({})) list += " event\\" + event + ".evt  \r\n";
  write_file(series.dir / "event/events_to_follow.txt", list);
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

  arguments[0] = "--json";
  result = series.check(arguments);
  std::string unused = kUnused;  // as JSON strings
  for (std::size_t at = 0; (at = unused.find(", ", at)) != std::string::npos; at += 4) {
    unused.replace(at, 2, "\", \"");
  }
  // clang-format off
  EXPECT_EQ(result.out, lines({"{", R"(  "events": 6,)", R"(  "unchecked": 0,)", R"(  "kinds": [)",
           R"(    {"keyword": ":pointprecip", "pattern": "raing\\*_rag.tb0", "present": 2, )"
           R"("missing": ["20150301", "20150401", "20150501", "20150901"]},)",
           R"(    {"keyword": ":streamflowdatafile", "pattern": "strfw\\*_str.tb0", "present": 6, )"
           R"("missing": []})",
           R"(  ],)", R"(  "basin_files": [)",
           R"(    {"keyword": ":basinfilename", "name": "basin\\gr10k_shd.r2c", "present": true},)",
           R"(    {"keyword": ":parfilename", "name": "basin\\gr10k_par.csv", "present": false},)",
           R"(    {"keyword": ":channelparfile", "name": "basin\\gr10k_ch_par.r2c", "present": false},)",
           R"(    {"keyword": ":pointdatalocations", "name": "basin\\gr10k.pdl", "present": false},)",
           R"(    {"keyword": ":snowcoverdepletioncurve", "name": "basin\\gr10k.sdc", "present": false},)",
           R"(    {"keyword": ":waterqualitydatafile", "name": "basin\\gr10k.wqd", "present": false})",
           R"(  ],)", R"(  "unused": [")" + unused + R"("],)", R"(  "gaps": [":pointprecip"])",
           "}"}));
  // clang-format on
  EXPECT_EQ(result.status, 1) << result.err;
}

// Each bad input: one line on the error stream and status 2. A listed event file that cannot be
// checked leaves the others checked, and the report then says it is incomplete.
TEST(Check, BadInputEndsWithOneLineAndStatus2) {
  struct Case {
    std::string file, from, to;  // `from` replaced by `to` in `file`, or the file removed
    std::vector<std::string_view> arguments;
    std::string err;
    bool incomplete;  // a report on the files that could be checked, saying it is incomplete
  };
  const std::string e = "event\\19810101.evt";
  // clang-format off
  const std::vector<Case> cases = {
      {"event/events_to_follow.txt", "", "", {}, "event\\events_to_follow.txt: no such file", false},
      {"event/20200101.evt", "", "", {}, "event\\20200101.evt: no such file", true},
      {"event/19810101.evt", ":pointtemps", ":pointtemp ", {}, e + ", line 61: expected \":pointtemps\"", true},
      {"event/19810101.evt", "#\neof\n", "", {}, e + ", line 107: expected \"#\", found the end of the file", true},
      {"event/19810101.evt", ":year", std::string(":y\0ar", 5), {}, e + ", line 4: a control character; not a text file", true},
      {"event/19810101.evt", "#\n:filetype", std::string(3'000'000, '#'), {}, e + ", line 1: more than 1024 characters; not a text file", true},
      {"event/19810101.evt", "raing\\", "..\\raing\\", {},
       e + ", line 60: \"..\\raing\\19810101_rag.tb0\" lies outside the working directory; not followed", true},
      {"", "", "", {"--chart", "--json"},
       "--chart excludes --json; usage: quorlant check [--chart | --json] [FILE...]", false},
  };
  // clang-format on
  for (const Case& c : cases) {
    Series series("forty-years-yearly.answers", {}, {});
    if (c.from.empty() && !c.file.empty()) {
      fs::remove(series.dir / c.file);
    } else if (!c.file.empty()) {
      std::string text = read_file(series.dir / c.file);
      write_file(series.dir / c.file, text.replace(text.find(c.from), c.from.size(), c.to));
    }
    const auto result = series.check(c.arguments);
    EXPECT_EQ(result.err, "quorlant check: " + c.err + "\n");
    EXPECT_EQ(result.status, 2) << c.err;
    const std::string last = result.out.substr(result.out.rfind('\n', result.out.size() - 2) + 1);
    EXPECT_EQ(result.out.empty() ? "" : last,
              c.incomplete ? "Incomplete: 1 of 40 event files could not be checked (see the "
                             "messages on standard error).\n"
                           : "")
        << c.err;
  }
}

}  // namespace
}  // namespace quorlant::check
