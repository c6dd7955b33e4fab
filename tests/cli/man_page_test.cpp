// The manual page: clean roff, every file a run writes, the documented exit statuses, and
// its place in the install tree.
#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "run/answers.h"
#include "test_support.h"

namespace quorlant::testing {
namespace {

const std::filesystem::path kSourceDir = QUORLANT_SOURCE_DIR;
const std::filesystem::path kManPage = kSourceDir / "man/quorlant.1";

// The page as plain text on lines long enough that no name is broken; `windows`: the page the
// Windows ZIP's manual is made from, the same source with its register windows at 1.
std::string rendered_page(const std::filesystem::path& capture, bool windows = false) {
  const std::filesystem::path page = windows ? capture / "quorlant-windows.1" : kManPage;
  if (windows)
    write_file(page, std::regex_replace(read_file(kManPage), std::regex("\n\\.nr windows 0\n"),
                                        "\n.nr windows 1\n"));
  const auto result = run_process({{"groff", "-man", "-Tutf8", "-rLL=300n", "-rHY=0", "-P-c",
                                    "-P-b", "-P-u", "-P-o", page.string()},
                                   capture});
  EXPECT_EQ(result.status, 0) << result.err;
  return result.out;
}

std::string section(const std::string& page, const std::string& heading, const std::string& next) {
  const auto begin = page.find("\n" + heading + "\n");
  const auto end = page.find("\n" + next + "\n");
  if (begin == std::string::npos || end == std::string::npos || end < begin) return "";
  return page.substr(begin, end - begin);
}

class ManPage : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!on_path("groff")) GTEST_SKIP() << "groff is not installed";
  }
};

TEST_F(ManPage, RendersWithoutWarnings) {
  TempDir dir;
  const auto result =
      run_process({{"groff", "-ww", "-man", "-Tutf8", "-z", kManPage.string()}, dir.path()});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "") << "groff warnings on man/quorlant.1";
}


// Both manuals list the answer options of the answer table, no more and no fewer; each gives
// its own system's commands.
TEST_F(ManPage, BothSystemsListTheAnswerOptionsOfTheTable) {
  std::set<std::string> table;
  for (const run::Answer& answer : run::answer_table())
    if (!answer.option.empty()) table.insert(std::string(answer.option));
  const std::regex item(R"(\n {7}(--[a-z-]+(, --[a-z-]+)*))"), option("--[a-z-]+");
  for (const bool windows : {false, true}) {
    TempDir dir;
    const std::string page = rendered_page(dir.path(), windows);
    const std::string answers = section(page, "   Answers", "   Modes");
    std::set<std::string> listed;
    for (std::sregex_iterator at(answers.begin(), answers.end(), item), end; at != end; ++at) {
      const std::string names = (*at)[1];
      for (std::sregex_iterator name(names.begin(), names.end(), option); name != end; ++name)
        listed.insert(name->str());
    }
    EXPECT_EQ(listed, table) << windows;
    EXPECT_EQ(page.find("$ mkdir -p event") != std::string::npos, !windows);
    EXPECT_EQ(page.find("gr10k> md event") != std::string::npos, windows);
  }
}

// A real run decides what FILES must name: every file it leaves, in the backslash form.
TEST_F(ManPage, FilesNamesEveryFileARunWrites) {
  RunArea area;
  const auto result = area.run({}, kSourceDir / "examples/typical-two-months.answers");
  ASSERT_EQ(result.status, 0) << result.err;
  const std::string files = section(rendered_page(area.root.path()), "FILES", "EXIT STATUS");
  ASSERT_FALSE(files.empty());
  std::set<std::string> names;
  for (std::string path : tree(area.work)) {
    if (std::filesystem::is_directory(area.work / path)) continue;
    path = std::regex_replace(path, std::regex(R"(^event/[0-9]{8}\.evt$)"), "event/yyyymmdd.evt");
    std::replace(path.begin(), path.end(), '/', '\\');
    names.insert(path);
  }
  EXPECT_EQ(names.size(),
            8U);  // two event files as one pattern, the list, the log, 5 scratch files
  for (const auto& name : names) EXPECT_NE(files.find(name), std::string::npos) << name;
}

// The usual sections in order; each status the page promises is told by the program's own
// words. The real binary's statuses are checked where each ending is: WholeRun (normal ending;
// six months per event; a start month of 13, a series past 9999 and letters in the start date),
// EventFolder (no event directory), BadAnswers (letters for the number of events) and
// EndOfInput (input that ends early).
TEST_F(ManPage, HasTheUsualSectionsInOrderAndExitStatusesThatAreTheProgramsOwn) {
  TempDir dir;
  const std::string page = rendered_page(dir.path());
  std::size_t at = 0;
  for (const char* heading :
       {"NAME", "SYNOPSIS", "DESCRIPTION", "FILES", "EXIT STATUS", "EXAMPLES", "NOTES"}) {
    const auto found = page.find(std::string("\n") + heading + "\n", at);
    ASSERT_NE(found, std::string::npos) << heading << " missing or out of order";
    at = found + 1;
  }
  const std::string statuses = section(page, "EXIT STATUS", "EXAMPLES");
  for (const char* text : {"Normal ending", "\"Program aborted in evt @ 130\"",
                           "\"program aborted in write_event\"", "01 to 12", "year 9999"}) {
    EXPECT_NE(statuses.find(text), std::string::npos) << text;
  }
}

TEST(Install, PutsTheBinaryTheManPageAndTheExamplesInPlace) {
  if (!on_path("cmake")) GTEST_SKIP() << "cmake is not on PATH";
  const auto build = std::filesystem::path(QUORLANT_BINARY).parent_path();
  TempDir prefix;
  const auto result = run_process(
      {{"cmake", "--install", build.string(), "--prefix", prefix.path().string()}, prefix.path()});
  ASSERT_EQ(result.status, 0) << result.out << result.err;
  const auto binary = prefix / "bin/quorlant";
  ASSERT_TRUE(std::filesystem::exists(binary));
  EXPECT_NE(std::filesystem::status(binary).permissions() & std::filesystem::perms::owner_exec,
            std::filesystem::perms::none);
  EXPECT_EQ(read_file(prefix / "share/man/man1/quorlant.1"), read_file(kManPage));
  for (const auto& entry : std::filesystem::directory_iterator(kSourceDir / "examples")) {
    const auto installed = prefix / "share/doc/quorlant/examples" / entry.path().filename();
    ASSERT_TRUE(std::filesystem::exists(installed)) << installed;
    EXPECT_EQ(read_file(installed), read_file(entry.path())) << installed;
  }
  const auto version = run_process({{binary.string(), "--version"}, prefix.path()});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("quorlant ", 0), 0U) << version.out;
}

}  // namespace
}  // namespace quorlant::testing
