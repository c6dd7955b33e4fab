#include "events/event_calendar.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"

namespace quorlant::events {
namespace {

using testing::read_file;
using Bench = testing::IoBench;

struct SplitRow {
  std::string start, yy1, mm1, dd1, hh1;
};

TEST(SplitStart, TakesFixedColumnsWithoutLookingAtTheSeparators) {
  const SplitRow rows[] = {
      // Starts in the usual form: WholeRun.SeriesOfEventsByteForByte.
      {"2015-06-01T23", "2015", "06", "01", "23"},
      {"2015 6 1 0", "2015", "6 ", " 0", "  "},  // misplaced digits stay where they fall
      {"2015 06 01 00 extra", "2015", "06", "01", "00"},
      {"", "    ", "  ", "  ", "  "},
  };
  for (const auto& row : rows) {
    shared::RunData data;
    data.start = row.start;
    split_start(data);
    EXPECT_EQ(data.yy1.str() + "|" + data.mm1.str() + "|" + data.dd1.str() + "|" + data.hh1.str(),
              row.yy1 + "|" + row.mm1 + "|" + row.dd1 + "|" + row.hh1)
        << "start \"" << row.start << "\"";
  }
  EXPECT_EQ(start_problem("2015 06 01 00 extra"), std::nullopt);  // the rest is never looked at
}

// Blanks inside the date columns are ignored: a month typed as " 3" is March. A start without
// blanks: WholeRun.SeriesOfEventsByteForByte.
TEST(PrepareFirstEvent, NameYearAndMonthComeThroughTemp0) {
  Bench b;
  b.data.start = "2015  3 01 00";
  split_start(b.data);
  prepare_first_event(b.io, b.data);
  EXPECT_EQ(b.data.evtname, "2015 301");
  EXPECT_EQ(b.data.iyear, 2015);
  EXPECT_EQ(b.data.imonth, 3);
  EXPECT_EQ(read_file(b.dir / "temp0.fls"), "2015 30100\n");
}

TEST(PrepareFirstEvent, LettersInTheDateColumnsFailQuotingTheAnswer) {
  Bench b;
  b.data.start = "2015 ab 01 00";
  split_start(b.data);
  try {
    prepare_first_event(b.io, b.data);
    FAIL() << "letters in the month columns were accepted";
  } catch (const recordio::Failure& failure) {
    const std::string what = failure.what();
    EXPECT_NE(what.find("\"2015 ab 01 00\""), std::string::npos) << what;
    EXPECT_NE(what.find("\"yyyy mm dd hh\""), std::string::npos) << what;
  }
}

struct AdvanceRow {
  int no_months, iyear, imonth;
  std::string evtname;  // also yy1, mm1 and dd1 side by side
  int next_year, next_month;
};

TEST(AdvanceToNextEvent, StepsTheMonthOrYearAndNamesTheFirstOfTheMonth) {
  const AdvanceRow rows[] = {
      // Each month of a monthly series and from April of a yearly one: WholeRun.SeriesOfEvents.
      {1, 999, 5, " 9990601", 999, 6},  // the year is right-justified in four columns
      {12, 2015, 12, "20161201", 2016, 12},
  };
  for (const auto& row : rows) {
    Bench b;
    b.data.no_months = row.no_months;
    b.data.iyear = row.iyear;
    b.data.imonth = row.imonth;
    b.data.hh1 = "06";
    advance_to_next_event(b.io, b.data);
    const std::string where = std::to_string(row.no_months) + " months from " +
                              std::to_string(row.iyear) + "/" + std::to_string(row.imonth);
    EXPECT_EQ(b.data.iyear, row.next_year) << where;
    EXPECT_EQ(b.data.imonth, row.next_month) << where;
    EXPECT_EQ(b.data.evtname.str(), row.evtname) << where;
    EXPECT_EQ(b.data.yy1.str() + b.data.mm1.str() + b.data.dd1.str(), row.evtname) << where;
    EXPECT_EQ(b.data.hh1, "06") << where;
    EXPECT_EQ(read_file(b.dir / "temp5.fls"), row.evtname + "\n") << where;
  }
}

TEST(TakeEventLength, OtherMonthsPerEventStopTheRun) {
  for (const int no_months : {0, 2, 6, 11, 13, 24, -1}) {
    Bench b;
    b.data.noevents = 2;
    b.data.no_months = no_months;
    b.data.iyear = 2015;
    b.data.imonth = 1;
    try {
      take_event_length(b.io, b.data, true);
      ADD_FAILURE() << no_months << " months per event were accepted";
    } catch (const recordio::Stop& stop) {
      EXPECT_EQ(stop.message(), "Program aborted in evt @ 130") << no_months;
      EXPECT_EQ(stop.status(), recordio::ExitStatus::kAborted) << no_months;
      // The lines before the stop message, which the console shows first.
      EXPECT_EQ(stop.report(),
                (std::vector<std::string>{" No of months per event not eq to 1 or 12", ""}))
          << no_months;
    }
    EXPECT_FALSE(std::filesystem::exists(b.dir / "temp1.fls")) << no_months;
  }
}

struct SeriesRow {
  int noevents, no_months, iyear, imonth;
  int hours;  // the event's length; 0: the start is rejected
};

// Monthly events of forty years, February 1900 and 2100 among them: WholeRun.SeriesOfEvents.
// Yearly: twelve months from the start month, plus 24 in a start year divisible by 4 (December
// 2016 on holds no February of 2016; from April 2015: WholeRun.SeriesOfEvents). A series must
// keep its last event within the year 9999.
TEST(TakeEventLength, YearlyWithTheDivisibleBy4LeapRuleAndNoSeriesPast9999) {
  const SeriesRow rows[] = {
      {1, 12, 2016, 1, 8784},  {1, 12, 2016, 12, 8784}, {1, 12, 1900, 7, 8784},
      {2, 12, 9998, 1, 8760},  {3, 12, 9998, 1, 0},     {24, 1, 9998, 1, 744},
      {25, 1, 9998, 1, 0},     {1, 1, 9999, 12, 744},   {2, 1, 9999, 12, 0},
      {12, 1, 9999, 1, 744},   {13, 1, 9999, 1, 0},
  };
  for (const auto& row : rows) {
    Bench b;
    b.data.start = "9999 99 01 00";
    b.data.noevents = row.noevents;
    b.data.no_months = row.no_months;
    b.data.iyear = row.iyear;
    b.data.imonth = row.imonth;
    const std::string where = std::to_string(row.noevents) + " x " + std::to_string(row.no_months) +
                              " months from " + std::to_string(row.iyear) + "/" +
                              std::to_string(row.imonth);
    try {
      take_event_length(b.io, b.data, true);
      EXPECT_EQ(b.data.evtlength, row.hours) << where;
    } catch (const recordio::Failure& refused) {
      const std::string message = refused.what();
      EXPECT_EQ(row.hours, 0) << where << " was rejected: " << message;
      EXPECT_EQ(refused.status(), recordio::ExitStatus::kAborted) << where;
      EXPECT_NE(message.find("\"9999 99 01 00\""), std::string::npos) << message;
      EXPECT_NE(message.find("\"yyyy mm dd hh\""), std::string::npos) << message;
    }
  }
}

}  // namespace
}  // namespace quorlant::events
