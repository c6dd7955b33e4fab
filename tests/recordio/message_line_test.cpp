#include "recordio/message_line.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

namespace quorlant::recordio {
namespace {

TEST(MessageLine, OneBlankThenTextsAsTheyAreAndIntegersInTheirColumns) {
  EXPECT_EQ(message_line({"WARNING:"}), " WARNING:");
  // Trailing blanks of a text item are written.
  EXPECT_EQ(message_line({"gr10k   ", "|"}), " gr10k   |");
  EXPECT_EQ(message_line({""}), " ");
  // No items at all: an empty line, without the blank.
  EXPECT_EQ(message_line({}), "");
  // Integers right-justified in twelve columns: room for a sign, ten digits and a blank.
  EXPECT_EQ(message_line({7}), "            7");
  EXPECT_EQ(message_line({-45, "h"}), "          -45h");
  EXPECT_EQ(message_line({std::numeric_limits<std::int32_t>::min()}), "  -2147483648");
}

TEST(MessageLine, AppendsOneTerminatedLine) {
  std::string out = " first\n";
  append_message_line(out, {"second", 2});
  EXPECT_EQ(out, " first\n second           2\n");
  append_message_line(out, {});
  EXPECT_EQ(out, " first\n second           2\n\n");
}

}  // namespace
}  // namespace quorlant::recordio
