#include "run/run_sequence.h"

#include <gtest/gtest.h>

#include "run/expected_dialogue.h"
#include "test_support.h"

namespace quorlant::run {
namespace {

using testing::lines;
using testing::read_file;
using testing::run_program;
using testing::TempDir;

// Both banners, line by line, written out by hand.
TEST(Banner, EveryLineIs56CharactersAndOnlyLine5Differs) {
  for (std::size_t i = 0; i < kStartBanner.size(); ++i) {
    EXPECT_EQ(kStartBanner[i].size(), 56U) << "start banner line " << i + 1;
    EXPECT_EQ(kClosingBanner[i].size(), 56U) << "closing banner line " << i + 1;
    if (i != 4) {
      EXPECT_EQ(kStartBanner[i], kClosingBanner[i]) << "line " << i + 1;
    }
  }
  EXPECT_EQ(kStartBanner[4], "*         Program quorlant    Jun. 23 2015             *");
  EXPECT_EQ(kClosingBanner[4], "*         Program quorlant   Jun. 23, 2015             *");
  EXPECT_EQ(kStartBanner[2], "*                  QUELBRAN (TM)                       *");
  EXPECT_EQ(kStartBanner[6], "*                   Version 9.9a                       *");
  EXPECT_EQ(kStartBanner[0], std::string(56, '*'));
  EXPECT_EQ(kStartBanner[1], "*" + std::string(54, ' ') + "*");
  // The attribution starts in column 13.
  EXPECT_EQ(kStartBanner[8].substr(0, 12), "*" + std::string(11, ' '));
  EXPECT_NE(kStartBanner[8][12], ' ');
}

// A run with no events goes from the first group straight to the closing.
TEST(RunSequence, NoEventsGoesStraightToTheClosing) {
  TempDir dir;
  std::filesystem::create_directory(dir / "event");
  const auto result = run_program(dir.path(), "0\n1\n2015 01 01 00\n");
  expected::Lines transcript = expected::opening();
  expected::append(transcript, expected::closing());
  EXPECT_EQ(result.out, lines(transcript));
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(read_file(dir / "evt_info.txt"), "");
  EXPECT_EQ(read_file(dir / "event/events_to_follow.txt"), "");
}

}  // namespace
}  // namespace quorlant::run
