// The real binary's command line, run as a child process.
#include <gtest/gtest.h>

#include <regex>

#include "test_support.h"

namespace quorlant::testing {
namespace {

const std::filesystem::path kSourceDir = QUORLANT_SOURCE_DIR;

TEST(Help, NamesTheInputTheFilesAndTheExitStatuses) {
  RunArea area;
  const auto result = area.run({"--help"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out.rfind("Usage: quorlant [OPTIONS]\n", 0), 0U) << result.out;
  for (const char* needed :
       {"standard input", "quorlant < run.answers",
        "check --help)\n\nFiles written: event\\<yyyymmdd>.evt", "event\\events_to_follow.txt",
        "evt_info.txt", "temp0.fls", "temp1.fls", "temp2.fls", "temp3.fls", "temp5.fls",
        "event directory must exist", ".\n\nExit status: 0 after \"Normal ending\"",
        "1 when the program aborts", "2 when an answer is not a number", "answer.\n\nThe manual",
        "quorlant --answers run.answers",
        kOnWindows ? "quorlant.html beside quorlant.exe"
                   : "man quorlant (once installed) or man -l man/quorlant.1"}) {
    EXPECT_NE(result.out.find(needed), std::string::npos) << "--help lacks: " << needed;
  }
  // The names as the system has them, where they differ from those the program writes.
  EXPECT_EQ(result.out.find("event/") == std::string::npos, kOnWindows) << result.out;
  EXPECT_EQ(area.run({"-h"}).out, result.out);
  // A usage text, not a session: no question is asked and nothing is written.
  EXPECT_EQ(result.out.find("Enter the no of events"), std::string::npos);
  EXPECT_EQ(tree(area.work), std::vector<std::string>{"event"});
}

// The binary and the manual page carry the version the build declares.
TEST(Version, PrintsTheProjectVersion) {
  // The version the build declares, read from the top CMakeLists.txt.
  const std::string cmake = read_file(kSourceDir / "CMakeLists.txt");
  std::smatch match;
  ASSERT_TRUE(
      std::regex_search(cmake, match, std::regex(R"(project\(quorlant VERSION ([0-9.]+))")));
  RunArea area;
  const auto result = area.run({"--version"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "quorlant " + match[1].str() + "\nwrites event files of version 9.9\n");
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(tree(area.work), std::vector<std::string>{"event"});
  // The manual page carries the same version on its .TH line.
  const std::string page = read_file(kSourceDir / "man/quorlant.1");
  EXPECT_EQ(page.rfind(".TH QUORLANT 1 ", 0), 0U);
  EXPECT_NE(page.find("\"quorlant " + match[1].str() + "\""), std::string::npos)
      << "the .TH line of man/quorlant.1 names another version than " << match[1];
}

TEST(Help, AFailedWriteIsNotSuccess) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "a full device is POSIX's /dev/full";
  for (const char* option : {"--help", "--version"}) {
    RunArea area;
    const auto result = run_process({.argv = {program().string(), option},
                                     .directory = area.work,
                                     .output = Output::kFullDevice});
    EXPECT_EQ(result.status, 2) << option << " into a full device";
    EXPECT_EQ(result.err, "quorlant: cannot write to standard output\n") << option;
  }
}

// Any other command line is a usage error, even with a complete answer script on standard
// input: the run must not start.
TEST(WrongArguments, OneLineOnStandardErrorStatus2AndNoFile) {
  const std::vector<std::vector<std::string>> cases = {
      {"--bogus"},     {"-h", "-q"},
      {"help"},        {""},
      {"--help", "x"}, {"--version", "--help"},
      {"2", "1"},      {"--help", "--help"},
      {"--answers"},
  };
  for (const auto& args : cases) {
    std::string shown;
    for (const auto& arg : args) shown += " '" + arg + "'";
    RunArea area;
    const auto result = area.run(args, kSourceDir / "examples/typical-two-months.answers");
    EXPECT_EQ(result.status, 2) << shown;
    EXPECT_EQ(result.out, "") << shown;
    EXPECT_EQ(result.err.rfind("quorlant: ", 0), 0U) << shown << ": " << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1)
        << shown << ": " << result.err;
    EXPECT_EQ(result.err.back(), '\n') << shown;
    EXPECT_NE(result.err.find(" --help"), std::string::npos) << shown << ": " << result.err;
    EXPECT_EQ(tree(area.work), std::vector<std::string>{"event"}) << shown;
  }
}

}  // namespace
}  // namespace quorlant::testing
