// Every answer script in examples/ run through the real binary.
#include <gtest/gtest.h>

#include <map>

#include "test_support.h"

namespace quorlant::testing {
namespace {

const std::filesystem::path kExamples = std::filesystem::path(QUORLANT_SOURCE_DIR) / "examples";

// What each script must produce, worked out from its answers.
struct Expected {
  int events;
  std::string first, last;              // event names
  std::string first_hours, last_hours;  // :hoursraindata values, 5 columns
  std::string snwflg, smrflg, disaggregate, deltat_report;
};

const std::map<std::string, Expected> kExpected = {
    // 40 yearly events from 1981 01 01 00: 1981 has 8760 hours, 2020 is divisible by 4.
    {"forty-years-yearly",
     {40, "19810101", "20200101", " 8760", " 8784", "n", "n", " 0.00", "   24"}},
    // 12 monthly events from 2015 01 01 00 with snow factor 25. and the rate 2.5 mm/h.
    {"one-year-monthly-snow-disaggregation",
     {12, "20150101", "20151201", "  744", "  744", "y", "y", " 2.50", "    1"}},
    // 2 monthly events from 2015 01 01 00: January 744 hours, February 2015 672.
    {"typical-two-months",
     {2, "20150101", "20150201", "  744", "  672", "y", "n", " 0.00", "    1"}},
};

std::string keyword_line(const std::string& keyword, const std::string& value) {
  return keyword + std::string(30 - keyword.size(), ' ') + value;
}

void check_event_file(const std::filesystem::path& file, const Expected& want,
                      const std::string& hours) {
  const auto got = split_lines(read_file(file));
  ASSERT_EQ(got.size(), 108U) << file;
  EXPECT_EQ(got[8], keyword_line(":snwflg", want.snwflg)) << file;
  EXPECT_EQ(got[11], keyword_line(":smrflg", want.smrflg)) << file;
  EXPECT_EQ(got[45], keyword_line(":disaggregate", want.disaggregate)) << file;
  EXPECT_EQ(got[47], keyword_line(":hoursraindata", hours)) << file;
  EXPECT_EQ(got[48], keyword_line(":hoursflowdata", hours)) << file;
  EXPECT_EQ(got[49], keyword_line(":deltat_report", want.deltat_report)) << file;
  EXPECT_EQ(got[51], keyword_line(":basinfilename", "basin\\gr10k_shd.r2c           ")) << file;
}

TEST(Examples, EveryScriptHasItsExpectations) {
  std::vector<std::string> scripts;
  for (const auto& entry : std::filesystem::directory_iterator(kExamples))
    if (entry.path().extension() == ".answers") scripts.push_back(entry.path().stem().string());
  std::sort(scripts.begin(), scripts.end());
  std::vector<std::string> known;
  for (const auto& [name, expected] : kExpected) known.push_back(name);
  EXPECT_EQ(scripts, known);
}

TEST(Examples, EachRunsToANormalEndingWithItsEventFiles) {
  for (const auto& [name, want] : kExpected) {
    SCOPED_TRACE(name);
    RunArea area;
    // Each script is exact: nothing in it is taken loosely.
    const auto result = area.run({"--strict"}, kExamples / (name + ".answers"));
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    const auto out = split_lines(result.out);
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out.back(), "Normal ending");
    // Both pauses were answered; the second group of questions came once.
    EXPECT_EQ(std::count(out.begin(), out.end(), " Hit enter to continue"), 2);

    std::vector<std::string> event_files;
    for (const auto& entry : std::filesystem::directory_iterator(area.work / "event"))
      if (entry.path().extension() == ".evt")
        event_files.push_back(entry.path().filename().string());
    std::sort(event_files.begin(), event_files.end());
    ASSERT_EQ(event_files.size(), static_cast<std::size_t>(want.events));
    EXPECT_EQ(event_files.front(), want.first + ".evt");
    EXPECT_EQ(event_files.back(), want.last + ".evt");

    // The list names every file written, in event order, one padded line each.
    const auto listed = split_lines(read_file(area.work / "event/events_to_follow.txt"));
    ASSERT_EQ(listed.size(), static_cast<std::size_t>(want.events));
    for (std::size_t i = 0; i < listed.size(); ++i) {
      const std::string path = "event\\" + event_files[i];
      EXPECT_EQ(listed[i], " " + path + std::string(72 - path.size(), ' '))
          << "list line " << i + 1;
    }
    const auto created = std::count_if(out.begin(), out.end(), [](const std::string& line) {
      return line.size() > 11 && line.compare(line.size() - 11, 11, "... created") == 0;
    });
    EXPECT_EQ(created, want.events);

    check_event_file(area.work / "event" / (want.first + ".evt"), want, want.first_hours);
    check_event_file(area.work / "event" / (want.last + ".evt"), want, want.last_hours);
  }
}

}  // namespace
}  // namespace quorlant::testing
