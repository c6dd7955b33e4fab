#include "recordio/fixed_text.h"

#include <gtest/gtest.h>

#include <string>

namespace quorlant::recordio {
namespace {

TEST(FixedText, ShorterIsPaddedLongerIsCut) {
  struct Row {
    std::string assigned;
    std::string expected;  // all 8 characters
  };
  const Row rows[] = {
      {"", "        "},          {"gr10k", "gr10k   "}, {"20150101", "20150101"},
      {"gr10k_shd", "gr10k_sh"}, {"  ab", "  ab    "},
  };
  for (const Row& row : rows) {
    FixedText<8> text("XXXXXXXX");
    text = row.assigned;
    EXPECT_EQ(text.view(), row.expected) << "\"" << row.assigned << "\"";
    EXPECT_EQ(FixedText<8>(row.assigned).view(), row.expected) << "\"" << row.assigned << "\"";
  }
  EXPECT_EQ(FixedText<3>().view(), "   ");
}

TEST(FixedText, TrailingBlanksBelongToTheValue) {
  const FixedText<6> text("ab");
  EXPECT_EQ(text.view().size(), 6U);
  EXPECT_EQ(text.str(), "ab    ");
  EXPECT_TRUE(text == "ab    ");
  EXPECT_FALSE(text == "ab");
  EXPECT_EQ(text.trimmed(), "ab");
  EXPECT_EQ(FixedText<4>(" a b").trimmed(), " a b");
  EXPECT_EQ(FixedText<4>().trimmed(), "");
}

TEST(FixedText, FirstCharactersAndSpan) {
  FixedText<13> start("2015 01 01 00");
  EXPECT_EQ(start.first(4), "2015");
  EXPECT_EQ(start.first(99), "2015 01 01 00");
  EXPECT_EQ(start[5], '0');
  start.span()[0] = '1';
  start[12] = '6';
  EXPECT_EQ(start.view(), "1015 01 01 06");
  EXPECT_EQ(start.span().size(), 13U);
}

}  // namespace
}  // namespace quorlant::recordio
