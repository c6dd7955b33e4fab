#include "run/run_sequence.h"

#include <gtest/gtest.h>

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

// A run with no events, its whole transcript written by hand.
TEST(RunSequence, NoEventsGoesStraightToTheClosing) {
  TempDir dir;
  std::filesystem::create_directory(dir / "event");
  const auto result = run_program(dir.path(), "0\n1\n2015 01 01 00\n");
  const std::string banner_frame = " ********************************************************";
  const std::string empty_frame = " *                                                      *";
  const std::string expected = lines({
      banner_frame,
      empty_frame,
      " *                  QUELBRAN (TM)                       *",
      empty_frame,
      " *         Program quorlant    Jun. 23 2015             *",
      empty_frame,
      " *                   Version 9.9a                       *",
      empty_frame,
      " " + std::string(kStartBanner[8]),
      empty_frame,
      banner_frame,
      "",
      " Please see file evt_info.txt for information re: this run",
      " event selection program",
      " warning: no damage yet, but if you enter the name",
      " of an existing event, all old files by that name",
      " and the series of events following",
      " will be over written. enter ^c or ^break to stop",
      "",
      " Enter the no of events to create:",
      "",
      " No. of months per event file (1 or 12)",
      " If you are going to run long sequences - e.g. 40 years",
      " use 12 months per event - i.e. yearly events",
      " If you do not, you will have many many files.",
      " Use 12 month events unless you actually",
      " need month-long events for some reason",
      " type in start of event - eg. yyyy mm dd hh",
      " please stick with this convention so radar files work",
      " A file called events\\events_to_follow.txt",
      " has been written",
      " This list can be used in the first event file",
      " of a connected set of events",
      "",
      banner_frame,
      empty_frame,
      " *                  QUELBRAN (TM)                       *",
      empty_frame,
      " *         Program quorlant   Jun. 23, 2015             *",
      empty_frame,
      " *                   Version 9.9a                       *",
      empty_frame,
      " " + std::string(kStartBanner[8]),
      empty_frame,
      banner_frame,
      "",
      " Please see file evt_info.txt for information re: this run",
      "Normal ending",
  });
  EXPECT_EQ(result.out, expected);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(read_file(dir / "evt_info.txt"), "");
  EXPECT_EQ(read_file(dir / "event/events_to_follow.txt"), "");
}

}  // namespace
}  // namespace quorlant::run
