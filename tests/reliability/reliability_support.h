#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "expected_files.h"
#include "test_support.h"

namespace quorlant::reliability {

// Every reliability test works in a temporary directory, through these.
using testing::entries;
using testing::read_file;
using testing::run_program;
using testing::TempDir;
using testing::write_file;

/// The answers of a typical two-event monthly run, one per line, in the order they are asked;
/// snow melt and disaggregation answered y so that the factor and the rate are asked too.
struct Answer {
  std::string line;
  std::string awaited;  // how an end-of-input report names it
};

inline const std::vector<Answer>& full_script() {
  static const std::vector<Answer> script = {
      {"2", "the number of events"},
      {"1", "the number of months per event"},
      {"2015 01 01 00", "the start of the first event"},
      {"y", "the snow melt answer"},
      {"25", "the snow conversion factor"},
      {"n", "the evaporation answer"},
      {"y", "the disaggregation answer"},
      {"2.5", "the disaggregation rate"},
      {"1", "the reporting time step"},
      {"n", "the reservoir/lake inflow answer"},
      {"n", "the wetland coupling answer"},
      {"n", "the diversions answer"},
      {"n", "the lake evaporation answer"},
      {"n", "the ice factors answer"},
      {"gr10k", "the basin name"},
      {"", "Enter at \"Hit enter to continue\""},
      {"", "Enter at \"Hit enter to continue\""},
  };
  return script;
}

/// The first `count` answers of the full script, each ended by a newline.
inline std::string script_lines(std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count && i < full_script().size(); ++i)
    text += full_script()[i].line + "\n";
  return text;
}

inline std::string whole_script() {
  return script_lines(full_script().size());
}

/// The event files the full script writes, whole.
inline std::string full_script_event(const testing::evt::Event& event) {
  return testing::evt::event_file(event, {.smr = "y", .rate = " 2.50"});
}
inline std::string first_event() {
  return full_script_event({"2015", "01", "01", "00", "20150101", "  744"});
}
inline std::string second_event() {
  return full_script_event({"2015", "02", "01", "00", "20150201", "  672"});
}

using testing::evt::created_line;
using testing::evt::follow_line;
using testing::evt::open_failure_report;

/// The event files an earlier run left, which a run that fails must leave as they were.
constexpr std::string_view kOldFirst = "the first event from an earlier run\n";
constexpr std::string_view kOldSecond = "the second event from an earlier run\n";

/// An event directory in `dir` that holds the earlier run's two event files.
inline void write_old_events(const TempDir& dir) {
  std::filesystem::create_directory(dir / "event");
  write_file(dir / "event/20150101.evt", kOldFirst);
  write_file(dir / "event/20150201.evt", kOldSecond);
}

inline void expect_old_events(const TempDir& dir, const std::string& label) {
  EXPECT_EQ(read_file(dir / "event/20150101.evt"), kOldFirst) << label;
  EXPECT_EQ(read_file(dir / "event/20150201.evt"), kOldSecond) << label;
}

inline std::size_t count_of(std::string_view text, std::string_view part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string_view::npos; at = text.find(part, at + 1))
    ++count;
  return count;
}

}  // namespace quorlant::reliability
