// The page of `quorlant check --html` read back: every cell of an event and kind with its state
// and name where a calendar puts it, names escaped, and nothing that runs or is loaded.
#include "check/check_html.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "test_support.h"

namespace quorlant::check {
namespace {

namespace fs = std::filesystem;
using testing::read_file;
using testing::run_program;
using testing::write_file;

struct Cell {
  int x = 0;
  int y = 0;
  std::string css_class;
  std::string state;
  std::string mark;  // the letter drawn on it
};

// The cells of each calendar (named by its keyword, the basin files' by their heading), by
// the name in their title.
std::map<std::string, std::map<std::string, Cell>> calendars_of(const std::string& page) {
  const std::regex part(
      R"re(<figcaption><b>([^<]+)</b>|<h2>(Basin files)</h2>|)re"
      R"re(<rect x="(\d+)" y="(\d+)" class="(\w)"><title>([^<]*): ([a-z ]+)</title></rect>\n)re"
      R"re((?:<text class="mark" x="\d+" y="\d+">(.)</text>)?)re");
  std::map<std::string, std::map<std::string, Cell>> calendars;
  std::string calendar;
  for (std::sregex_iterator it(page.begin(), page.end(), part), end; it != end; ++it) {
    const std::smatch& m = *it;
    if (m[1].matched || m[2].matched) {
      calendar = m[1].matched ? m[1] : m[2];
    } else {
      calendars[calendar][m[6]] = {std::stoi(m[3]), std::stoi(m[4]), m[5], m[7], m[8]};
    }
  }
  return calendars;
}

// 36 monthly events from 2015: the rainfall of 2017-05 missing and that of 2015-08 empty, the
// streamflow of 2016 missing, and a basin name HTML would read as markup.
TEST(CheckHtml, ACalendarOfEachKindWithACellForEachEvent) {
  testing::TempDir dir;
  ASSERT_EQ(testing::write_36_monthly_events(dir.path()), 0);
  for (const char* sub : {"raing", "strfw", "basin"}) fs::create_directory(dir / sub);
  const char* months[] = {"01", "02", "03", "04", "05", "06", "07", "08", "09", "10", "11", "12"};
  for (const char* year : {"2015", "2016", "2017"}) {
    for (const char* month : months) {
      const std::string event = std::string(year) + month + "01";
      if (event != "20170501") write_file(dir / ("raing/" + event + "_rag.tb0"), "x");
      if (year != std::string("2016")) write_file(dir / ("strfw/" + event + "_str.tb0"), "x");
    }
  }
  write_file(dir / "raing/20150801_rag.tb0", "");
  write_file(dir / "basin/gr10k_shd.r2c", "x");
  std::string event = read_file(dir / "event/20150101.evt");
  write_file(dir / "event/20150101.evt", event.replace(event.find("gr10k.wqd"), 5, "a<b>&c"));

  std::vector<std::string_view> arguments = {"check", "--need",
                                             "pointprecip,streamflowdatafile,basinfilename"};
  const auto text = run_program(dir.path(), "", arguments);
  arguments.insert(arguments.end(), {"--html", "page.html"});
  const auto html = run_program(dir.path(), "", arguments);
  EXPECT_EQ(std::tie(html.out, html.err, html.status), std::tie(text.out, text.err, text.status));
  const std::string page = read_file(dir / "page.html");
  for (const char* banned : {"<script", "http", "src=", "url(", "a<b"})
    EXPECT_EQ(page.find(banned), std::string::npos) << banned;
  const std::string verdict = text.out.substr(text.out.rfind('\n', text.out.size() - 2) + 1);
  EXPECT_NE(page.find(verdict + "(status " + std::to_string(text.status) + ")"), std::string::npos);
  EXPECT_NE(page.find("<td>:basinfilename, :pointprecip <span class=\"gap\">gap</span>, "
                      ":streamflowdatafile <span class=\"gap\">gap</span></td>"),
            std::string::npos);

  auto calendars = calendars_of(page);
  EXPECT_EQ(calendars.size(), 3U);  // the unused kinds have none
  EXPECT_EQ(calendars[":pointprecip"].size(), 36U);
  EXPECT_EQ(calendars[":streamflowdatafile"].size(), 36U);
  EXPECT_EQ(calendars["Basin files"].count("basin\\a&lt;b&gt;&amp;c.wqd"), 1U);
  const struct {
    std::string calendar, name, state;
  } cells[] = {
      {":pointprecip", "raing\\20170501_rag.tb0", "missing"},
      {":pointprecip", "raing\\20150801_rag.tb0", "empty"},
      {":pointprecip", "raing\\20171201_rag.tb0", "present"},
      {":streamflowdatafile", "strfw\\20160101_str.tb0", "missing"},
      {":streamflowdatafile", "strfw\\20161201_str.tb0", "missing"},
      {":streamflowdatafile", "strfw\\20170101_str.tb0", "present"},
      {"Basin files", "basin\\gr10k_shd.r2c", "present"},
      {"Basin files", "basin\\gr10k_par.csv", "missing"},
  };
  for (const auto& c : cells) EXPECT_EQ(calendars[c.calendar][c.name].state, c.state) << c.name;
  // One colour a state, and a letter for a printout in grey.
  std::map<std::string, std::string> class_of;
  std::map<std::string, std::string> mark_of;
  for (const auto& [name, cell] : calendars[":pointprecip"]) {
    class_of[cell.state] = cell.css_class;
    mark_of[cell.state] = cell.mark;
  }
  EXPECT_EQ(mark_of, (std::map<std::string, std::string>{
                         {"present", ""}, {"empty", "E"}, {"missing", "M"}}));
  for (const auto& [name, cell] : calendars[":streamflowdatafile"])
    EXPECT_EQ(cell.css_class, class_of[cell.state]) << name;
  EXPECT_EQ(class_of.size(), 3U);
  EXPECT_NE(class_of["missing"], class_of["present"]);
  EXPECT_NE(class_of["missing"], class_of["empty"]);
  // A row a year, a column a month.
  const auto flow = [&](const std::string& month) {
    return calendars[":streamflowdatafile"]["strfw\\" + month + "01_str.tb0"];
  };
  for (const std::string month : months) {
    EXPECT_EQ(flow("2016" + month).y, flow("201601").y) << month;
    EXPECT_LT(flow("2015" + month).y, flow("2016" + month).y) << month;
    EXPECT_EQ(flow("2017" + month).x, flow("2015" + month).x) << month;
    EXPECT_LE(flow("201601").x, flow("2016" + month).x) << month;
  }
  EXPECT_LT(flow("201611").x, flow("201612").x);
  // Cells 12 units apart, from x 34 (after the year) and y 12 (below the months' initials).
  EXPECT_EQ(std::pair(flow("201501").x, flow("201501").y), std::pair(34, 12));
  EXPECT_EQ(std::pair(flow("201712").x, flow("201712").y), std::pair(166, 36));
  // Its letter inside a cell; the months' initials end at December, then each year is beside
  // its row.
  EXPECT_NE(page.find("<text class=\"mark\" x=\"87\" y=\"44\">M</text>"), std::string::npos);
  EXPECT_NE(page.find("<text class=\"mark\" x=\"171\" y=\"9\">D</text>\n"
                      "<text x=\"0\" y=\"20\">2015</text>\n<text x=\"0\" y=\"32\">2016</text>"),
            std::string::npos);
}

}  // namespace
}  // namespace quorlant::check
