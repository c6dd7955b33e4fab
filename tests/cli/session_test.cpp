// The recorded typical run in docs/ must be what the program shows today.
#include <gtest/gtest.h>

#include "test_support.h"

namespace quorlant::testing {
namespace {

const std::filesystem::path kSourceDir = QUORLANT_SOURCE_DIR;

TEST(Session, RecordingIsCurrent) {
  RunArea area;
  const auto result = area.run({}, kSourceDir / "examples/typical-two-months.answers");
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");
  const std::string recorded = read_file(kSourceDir / "docs/typical-run.txt");
  EXPECT_EQ(result.out, recorded)
      << "the console output changed: regenerate the recording with docs/record-session.sh";
  // The page shows the same transcript, fenced.
  const std::string page = read_file(kSourceDir / "docs/session.md");
  EXPECT_NE(page.find("```text\n" + recorded + "```\n"), std::string::npos)
      << "docs/session.md does not hold docs/typical-run.txt: run docs/record-session.sh";
}

}  // namespace
}  // namespace quorlant::testing
