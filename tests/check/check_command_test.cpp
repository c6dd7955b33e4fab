// `quorlant check` on series the program itself wrote, some data files there and some not:
// the whole report and the status, and for each kind of bad input or failed look-up its line
// and status.
#include "check/check_command.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

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
    for (const auto& event : rain) write_file(dir / ("raing/" + event + "_rag.tb0"), "x");
    for (const auto& event : flow) write_file(dir / ("strfw/" + event + "_str.tb0"), "x");
    for (auto* name : {"basin/gr10k_shd.r2c", "basin/gr10k_par.csv"}) write_file(dir / name, "x");
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
  write_file(series.dir / "raing/20100101_rag.tb0", "");  // a copy that failed
  write_file(series.dir / "event/.19810101.evt.tmp99.0", "");
  const std::string before = series.snapshot();
  auto result = series.check({"--chart"});
  EXPECT_EQ(series.snapshot(), before);  // nothing written, created or removed
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

  // With the missing files there, and the list as a Windows editor leaves it (CR LF).
  for (auto* name : {"raing/19950101_rag.tb0", "raing/19960101_rag.tb0", "raing/20100101_rag.tb0",
                     "strfw/20200101_str.tb0"}) {
    write_file(series.dir / name, "x");
  }
  fs::remove(series.dir / "event/.19810101.evt.tmp99.0");
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

  // A basin name typed in Latin-1: the JSON stays valid, the byte read as its Latin-1 letter.
  for (const auto& file : files) {
    const fs::path path = series.dir / ("event/" + std::string(file.substr(6)));
    std::string text = read_file(path);
    write_file(path, text.replace(text.find("gr10k.wqd"), 5, "Sa\xF4ne"));
  }
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

// The system's answers, but for the paths that hold `part`: those fail with `error`, or are of
// `kind`, a link leading to `target`.
class FakeLookUps : public platform::SystemFileSystem {
 public:
  std::string part;
  std::error_code error;
  std::optional<platform::EntryKind> kind;
  fs::path target;

  std::error_code look_up(const fs::path& path, bool follow,
                          platform::Entry& entry) const override {
    if (!hit(path)) return SystemFileSystem::look_up(path, follow, entry);
    entry = {kind.value_or(platform::EntryKind::kMissing), 1};
    return error;
  }
  std::error_code link_target(const fs::path& path, fs::path& link) const override {
    if (!hit(path)) return SystemFileSystem::link_target(path, link);
    link = target;
    return {};
  }
  std::error_code real_path(const fs::path& path, fs::path& real) const override {
    return SystemFileSystem::real_path(path, real);
  }
  std::error_code names_in(const fs::path& path, std::vector<std::string>& names) const override {
    return SystemFileSystem::names_in(path, names);
  }
  std::error_code open_plain(const fs::path& path, std::intptr_t& file,
                             platform::EntryKind& found) const override {
    return SystemFileSystem::open_plain(path, file, found);
  }
  std::error_code read_plain(std::intptr_t file, std::span<char> buffer,
                             std::size_t& got) const override {
    return SystemFileSystem::read_plain(file, buffer, got);
  }
  void close_plain(std::intptr_t file) const override { SystemFileSystem::close_plain(file); }

 private:
  bool hit(const fs::path& path) const {
    return !part.empty() && path.generic_string().find(part) != std::string::npos;
  }
};

// What people and scripts meet first: the statuses in the help; a JSON document even when the
// check cannot be made; a fresh run's folder reports every kind it names as without a file, and a
// leftover's name cannot start a report line of its own.
TEST(Check, SpeaksToPeopleAndScripts) {
  TempDir dir;
  const auto json = run_program(dir.path(), "", {"check", "--json"});
  EXPECT_EQ(std::tie(json.err, json.status),
            std::tuple("quorlant check: event\\events_to_follow.txt: no such file\n", 2));
  EXPECT_EQ(nlohmann::json::parse(json.out),
            nlohmann::json::parse(R"({"error": "event\\events_to_follow.txt: no such file",
                                      "verdict": "cannot check"})"));
  EXPECT_NE(run_program(dir.path(), "", {"check", "--help"})
                .out.find("Exit status: 0 no gap; 1 gaps, or none of the data files the events "
                          "name exists; 2 the check is incomplete or cannot be made"),
            std::string::npos);
  fs::create_directory(dir / "event");
  ASSERT_EQ(run_program(dir.path(), read_file(kExamples / "typical-two-months.answers")).status, 0);
  // Only this program's own temporaries are leftovers: a look-alike with other characters in
  // its process number is someone else's (names on Windows hold no control character).
  write_file(dir / "event/.20150101.evt.tmp7.1", "");
  write_file(dir / (testing::kOnWindows ? "event/.20150101.evt.tmp7x.1"
                                        : "event/.20150101.evt.tmp7\n\x1b[2J.1"),
             "");
  const auto report = run_program(dir.path(), "", {"check"});
  EXPECT_NE(report.out.find("\nLeft by a run that was killed: event\\.20150101.evt.tmp7.1\n"
                            "No file present for any event: :pointsoilmoisture, :pointprecip, "),
            std::string::npos)
      << report.out;
}

// Each bad input, each look-up that fails or finds what it must not follow: its one line on the
// error stream, the status and the last line of the report. A listed event file that cannot be
// checked leaves the others checked, and the report then says it is incomplete.
TEST(Check, EveryFailureIsNamedWithItsStatus) {
  using platform::EntryKind;
  struct Case {
    std::string file, from, to;  // `from` replaced by `to` in `file`; the file removed, or all
                                 // of it `to` when `from` is "*"
    std::string part;            // the look-ups of paths holding it fail with `error`, or find
    std::errc error;             // `kind`, a link to `target` (from the working directory,
    std::optional<EntryKind> kind;  // made absolute when it starts with "/")
    std::string target;
    std::vector<std::string_view> arguments;
    std::string err;
    int status;
    std::string last;
  };
  const std::string e = "event\\19810101.evt";
  const std::string lies = " lies outside the working directory; not followed";
  const std::string see = " (see the messages on standard error).";
  const std::string one_of_40 = "Incomplete: 1 of 40 event files could not be checked" + see;
  const std::string plain = ": not a plain file (a pipe, a device or a socket); not read";
  const std::errc none{};
  const std::string_view only[] = {"event\\19810101.evt"};
  // clang-format off
  const std::vector<Case> cases = {
      {"event/events_to_follow.txt", "", "", "", none, {}, "", {}, "event\\events_to_follow.txt: no such file", 2, ""},
      {"event/20200101.evt", "", "", "", none, {}, "", {}, "event\\20200101.evt: no such file", 2, one_of_40},
      {"event/19810101.evt", ":pointtemps", ":pointtemp ", "", none, {}, "", {}, e + ", line 61: expected \":pointtemps\"", 2, one_of_40},
      {"event/19810101.evt", "#\neof\n", "", "", none, {}, "", {}, e + ", line 107: expected \"#\", found the end of the file", 2, one_of_40},
      {"event/19810101.evt", ":year", std::string(":y\0ar", 5), "", none, {}, "", {}, e + ", line 4: a control character; not a text file", 2, one_of_40},
      {"event/19810101.evt", "#\n:filetype", std::string(3'000'000, '#'), "", none, {}, "", {}, e + ", line 1: more than 1024 characters; not a text file", 2, one_of_40},
      {"event/19810101.evt", "raing\\", "..\\raing\\", "", none, {}, "", {}, e + ", line 60: \"..\\raing\\19810101_rag.tb0\"" + lies, 2, one_of_40},
      {"event/19810101.evt", "raing\\19810101_rag.tb0", "C:x", "", none, {}, "", {}, e + ", line 60: \"C:x\"" + lies, 2, one_of_40},
      // Climbing that stays inside is no reason to refuse a name: a new basin file, present.
      {"event/19810101.evt", "basin\\gr10k_shd", "basin\\..\\basin\\gr10k_shd", "", none, {}, "", {}, "", 0, "No gaps."},
      {"raing/19810101_rag.tb0", "*", "", "", none, {}, "", {}, "", 1, "Gaps: :pointprecip"},
      {"", "", "", "raing/19810101_rag.tb0", std::errc::permission_denied, {}, "", {},
       "raing\\19810101_rag.tb0: could not be looked at: Permission denied", 2, "Incomplete: 1 file could not be looked at" + see},
      {"", "", "", "raing/", std::errc::io_error, {}, "", {},
       "raing\\19810101_rag.tb0 and 39 more :pointprecip files: could not be looked at: Input/output error", 2,
       "Incomplete: 40 files could not be looked at" + see},
      {"", "", "", "basin/gr10k.sdc", std::errc::filename_too_long, {}, "", {},
       "basin\\gr10k.sdc: could not be looked at: File name too long", 2, "Incomplete: 1 file could not be looked at" + see},
      {"", "", "", "event/20200101.evt", std::errc::permission_denied, {}, "", {},
       "event\\20200101.evt: could not be looked at: Permission denied", 2, one_of_40},
      {"", "", "", "event/events_to_follow.txt", none, EntryKind::kOther, "", {}, "event\\events_to_follow.txt" + plain, 2, ""},
      {"", "", "", "event/19810101.evt", none, EntryKind::kOther, "", {only[0]}, e + plain, 2, ""},
      {"", "", "", "event/19810101.evt", none, EntryKind::kDirectory, "", {only[0]}, e + ": a directory; not read", 2, ""},
      {"", "", "", "event/events_to_follow.txt", none, EntryKind::kLink, "../../passwd", {},
       "\"event\\events_to_follow.txt\"" + lies, 2, ""},
      {"", "", "", "raing", none, EntryKind::kLink, "/../etc", {only[0]}, e + ", line 60: \"raing\\19810101_rag.tb0\"" + lies, 2, ""},
      {"", "", "", "raing", none, EntryKind::kLink, "/strfw", {only[0]}, "", 0, "No gaps."},
      {"", "", "", ".tb0", none, EntryKind::kMissing, "", {}, "", 1,
       "none of the 1320 data files these events name exist: is this the model's working directory?"},
      {"", "", "", "", none, {}, "", {"--need", "pointprecip,:streamflowdatafile,pointtemps"}, "", 1, "Gaps: :pointtemps"},
      {"", "", "", "", none, {}, "", {"--need", "pointprecip,rainfall"},
       "--need: \":rainfall\" is not the keyword of a data file or a basin file in an event file; "
       "usage: quorlant check [--chart | --json] [--need KEYWORD[,KEYWORD...]] [FILE...]", 2, ""},
      {"", "", "", "", none, {}, "", {"--chart", "--json"},
       "--chart excludes --json; usage: quorlant check [--chart | --json] [--need KEYWORD[,KEYWORD...]] [FILE...]", 2, ""},
  };
  // clang-format on
  for (const Case& c : cases) {
    Series series("forty-years-yearly.answers", years({}), years({}));
    if (c.from.empty() && !c.file.empty()) {
      fs::remove(series.dir / c.file);
    } else if (c.from == "*") {
      write_file(series.dir / c.file, c.to);
    } else if (!c.file.empty()) {
      std::string text = read_file(series.dir / c.file);
      write_file(series.dir / c.file, text.replace(text.find(c.from), c.from.size(), c.to));
    }
    FakeLookUps look_ups;
    look_ups.part = c.part;
    look_ups.error = std::make_error_code(c.error);
    if (c.error == none) look_ups.error.clear();
    look_ups.kind = c.kind;
    look_ups.target = c.target.starts_with('/')
                          ? fs::canonical(series.dir.path()) / c.target.substr(1)
                          : fs::path(c.target);
    std::ostringstream out;
    std::ostringstream err;
    const int status = main_check(c.arguments, out, err, series.dir.path(), look_ups);
    EXPECT_EQ(err.str(), c.err.empty() ? "" : "quorlant check: " + c.err + "\n");
    EXPECT_EQ(status, c.status) << c.err;
    const std::string report = out.str();
    const std::string last = report.substr(report.rfind('\n', report.size() - 2) + 1);
    EXPECT_EQ(report.empty() ? "" : last, c.last.empty() ? "" : c.last + "\n") << c.err;
  }
}

// A pipe put in place of an event file after the check looked at it: what was opened is asked
// again, and the pipe is refused at once instead of waited on.
TEST(Check, APipeSwappedInAfterTheLookUpIsNeverWaitedOn) {
#ifdef _WIN32
  GTEST_SKIP() << "a pipe has no name in a directory on Windows";
#else
  Series series("forty-years-yearly.answers", years({}), years({}));
  fs::remove(series.dir / "event/19810101.evt");
  ASSERT_EQ(::mkfifo((series.dir / "event/19810101.evt").c_str(), 0644), 0);
  FakeLookUps look_ups;  // the look-up still finds the file that was there
  look_ups.part = "event/19810101.evt";
  look_ups.kind = platform::EntryKind::kRegular;
  std::ostringstream out;
  std::ostringstream err;
  const std::string_view only[] = {"event\\19810101.evt"};
  EXPECT_EQ(main_check(only, out, err, series.dir.path(), look_ups), 2);
  EXPECT_EQ(err.str(),
            "quorlant check: event\\19810101.evt: not a plain file (a pipe, a device or "
            "a socket); not read\n");
#endif
}

// The way to a data directory through 39 links, each 800 directories down and back up: the
// check follows it once for the series, not once per name.
TEST(Check, AMazeOfLinksIsWalkedOnceForTheSeries) {
  if (testing::kOnWindows) GTEST_SKIP() << "links need a privilege on Windows";
  TempDir dir;
  fs::create_directories(dir / "event");
  ASSERT_EQ(run_program(dir.path(), "",
                        {"-q", "--events", "36", "--months-per-event", "1", "--start",
                         "2015 01 01 00", "--report-step", "1", "--basin", "gr10k"})
                .status,
            0);
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
