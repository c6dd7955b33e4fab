#include "run/run_sequence.h"

#include <gtest/gtest.h>

#include <string>

namespace quorlant::run {
namespace {

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

}  // namespace
}  // namespace quorlant::run
