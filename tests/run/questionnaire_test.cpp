#include "run/questionnaire.h"

#include <gtest/gtest.h>

#include <string>

#include "run/expected_dialogue.h"
#include "test_support.h"

namespace quorlant::run {
namespace {

using testing::lines;
using Bench = testing::IoBench;

TEST(FirstGroup, AShortStartIsBlankPaddedAndNoMonthsIsNotChecked) {
  Bench b("-3\n6\n2015\n");
  ask_first_group(b.io, b.data);
  EXPECT_EQ(b.data.noevents, -3);
  EXPECT_EQ(b.data.no_months, 6);
  EXPECT_EQ(b.data.start.str(), "2015         ");
}

// Answers that end the run are tested on whole runs in reliability/bad_answers_test.cpp.

struct SecondRow {
  std::string answers;
  bool factor_asked, rate_asked;
  std::string flags;  // snw vap smr resin wet divert lake ice, as stored
  float snconv, rate;
  std::int32_t deltat;
  std::string bsnme;
};

TEST(SecondGroup, AnswersAreKeptAsTypedAndOnlyALowercaseYBranches) {
  const SecondRow rows[] = {
      {"Y\nn\nyes\n2.5\n24\nx\n\nno\ny\nY\nsaug\n", false, true, "Ynyx nyY", 1.0F, 2.5F, 24,
       "saug    "},
      {"yes\n25\n\n\n  3  ,4\n\n\n\n\n\nabcdefghijk\n", true, false, "y       ", 25.0F, 0.0F, 3,
       "abcdefgh"},
      {"y\n25.\nn\nN\n-1\nn\nn\nn\nn\nn\n gr\n", true, false, "ynNnnnnn", 25.0F, 0.0F, -1,
       " gr     "},
      {"y\n1.5\nn\ny\n12.345\n0\nn\nn\nn\nn\nn\ngr 10k\n", true, true, "ynynnnnn", 1.5F, 12.345F, 0,
       "gr 10k  "},
      {"y\n25.125\nn\nn\n1\nn\nn\nn\nn\nn\n\n", true, false, "ynnnnnnn", 25.12F, 0.0F, 1,
       "        "},  // only five columns of the factor are read
      {"y\n\nn\nn\n1\nn\nn\nn\nn\nn\nx\n", true, false, "ynnnnnnn", 0.0F, 0.0F, 1, "x       "},
  };
  for (const auto& row : rows) {
    Bench b(row.answers + "after\n");
    ask_second_group(b.io, b.data);
    const std::string where = "answers \"" + row.answers + "\"";
    EXPECT_EQ(b.out.str(), lines(expected::second_group_prompts(row.factor_asked, row.rate_asked)))
        << where;
    const std::string flags = b.data.snwflg.str() + b.data.vapflg.str() + b.data.smrflg.str() +
                              b.data.resinflg.str() + b.data.wetflg.str() + b.data.divertflg.str() +
                              b.data.lakeflg.str() + b.data.iceflg.str();
    EXPECT_EQ(flags, row.flags) << where;
    EXPECT_FLOAT_EQ(b.data.snconv, row.snconv) << where;
    EXPECT_FLOAT_EQ(b.data.disaggregation_rate, row.rate) << where;
    EXPECT_EQ(b.data.deltat_report, row.deltat) << where;
    EXPECT_EQ(b.data.bsnme.str(), row.bsnme) << where;
    EXPECT_EQ(b.rest(), "after\n") << where;
  }
}

}  // namespace
}  // namespace quorlant::run
