// Every command the documents show runs as they say: the README's and the manual's for this
// system, README.txt's and the Windows manual's under Windows. Each is run in turn in one
// working directory made as the documents say, with run.answers the example answer script, so
// that no document names an option or a path the program does not take.
#include <gtest/gtest.h>

#include <iomanip>
#include <regex>
#include <sstream>

#include "test_support.h"

namespace quorlant::testing {
namespace {

const std::filesystem::path kSourceDir = QUORLANT_SOURCE_DIR;
const std::filesystem::path kExample = kSourceDir / "examples/typical-two-months.answers";

// The manual's text as a reader sees it: roff escapes written out.
std::string unroffed(std::string line) {
  const std::pair<std::string, std::string> escapes[] = {
      {"\\-", "-"}, {"\\(dq", "\""}, {"\\(aq", "'"}, {"\\&", ""}, {"\\*[zip]", "quorlant-win64"},
      {"\\e", "\\"}};
  for (const auto& [from, to] : escapes) {
    // One pass: what a replacement makes ("\\e" for "\\ee") is not replaced again.
    for (std::size_t at = line.find(from); at != std::string::npos;
         at = line.find(from, at + to.size()))
      line.replace(at, from.size(), to);
  }
  return line;
}

// The commands of `text` that start with `prompt` (a line of its own in a document), each joined
// with the lines it continues on (after a trailing `continued`, in the manual).
std::vector<std::string> commands(const std::string& text, const std::regex& prompt,
                                  const std::string& continued) {
  std::vector<std::string> found;
  std::istringstream lines(text);
  bool going_on = false;
  for (std::string line; std::getline(lines, line);) {
    if (!continued.empty()) line = unroffed(line);  // the manual's continued lines
    std::smatch start;
    if (going_on) {
      found.back() += " " + line;
    } else if (std::regex_search(line, start, prompt)) {
      found.push_back(start.suffix());
    } else {
      continue;
    }
    going_on = !continued.empty() && found.back().ends_with(continued);
    if (going_on) found.back().resize(found.back().size() - continued.size());
  }
  return found;
}

// A command line's words, quotes taken off, and its redirections.
struct Command {
  std::vector<std::string> words;
  std::string input;   // the file of `<`
  std::string output;  // the file of `>`
};

Command parsed(const std::string& line) {
  Command command;
  std::string* into = nullptr;
  std::istringstream in(line.substr(0, line.find(" #")));
  for (std::string word; in >> std::quoted(word);) {
    if (word == "<" || word == ">") {
      into = word == "<" ? &command.input : &command.output;
    } else if (into != nullptr) {
      *into = word;
      into = nullptr;
    } else {
      command.words.push_back(word);
    }
  }
  return command;
}

// Where a document says the examples are installed: a copy of this tree's in the working
// directory stands for them.
std::string located(std::string word) {
  for (const std::string at :
       {"/usr/share/doc/quorlant/examples/", "C:\\Tools\\quorlant-win64\\examples\\",
        "C:\\Tools\\@zip_top@\\examples\\"}) {
    if (word.starts_with(at)) return "examples/" + word.substr(at.size());
  }
  return word;
}

TEST(Documents, EveryCommandTheyShowRuns) {
  std::vector<std::string> shown;
  if (kOnWindows) {
    shown = commands(read_file(kSourceDir / "packaging/README.txt"),
                     std::regex(R"(^\s*(For instance: )?(?=quorlant\.exe( -| check|$)))"), "");
    for (const auto& line : commands(read_file(kSourceDir / "man/quorlant.1"),
                                     std::regex(R"(^(PS )?C:\\Models\\gr10k> (?=quorlant))"), " ^"))
      shown.push_back(line);
  } else {
    shown = commands(read_file(kSourceDir / "README.md"), std::regex("^(?=quorlant( |$))"), "");
    for (const auto& line : commands(read_file(kSourceDir / "man/quorlant.1"),
                                     std::regex(R"(^\$ (?=quorlant))"), " \\"))
      shown.push_back(line);
  }
  ASSERT_GT(shown.size(), 10U);
  RunArea area;
  const std::filesystem::path& dir = area.work;
  write_file(dir / "run.answers", read_file(kExample));
  std::filesystem::copy(kSourceDir / "examples", dir / "examples");
  for (const std::string& line : shown) {
    const Command command = parsed(line);
    std::vector<std::string> words;
    for (std::size_t i = 1; i < command.words.size(); ++i)
      words.push_back(located(command.words[i]));
    // A dialogue the document leaves to the user gets the example's answers, as typed.
    const bool asks = command.words.size() == 1 && command.input.empty();
    const auto result =
        run_program(dir,
                    asks                    ? read_file(kExample)
                    : command.input.empty() ? ""
                                            : read_file(dir / located(command.input)),
                    std::vector<std::string_view>(words.begin(), words.end()));
    EXPECT_TRUE(result.status == 0 || result.status == 1) << line << "\n" << result.err;
    if (!command.output.empty()) write_file(dir / command.output, result.out);
  }
}

}  // namespace
}  // namespace quorlant::testing
