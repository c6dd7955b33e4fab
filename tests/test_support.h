#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "eventfile/event_names.h"
#include "process/process.h"
#include "recordio/record_io.h"
#include "recordio/failure.h"
#include "program.h"
#include "shared/run_data.h"

namespace quorlant::testing {

#ifdef _WIN32
inline constexpr bool kOnWindows = true;
#else
inline constexpr bool kOnWindows = false;
#endif
/// Whether files carry POSIX mode bits (on Windows a file is only read-only or not).
inline constexpr bool kPosixModes = !kOnWindows;

/// The error numbers of the open failures the tests provoke, as each system numbers them.
inline constexpr int kNoDirectoryError = kOnWindows ? 3 /* ERROR_PATH_NOT_FOUND */ : 2 /* ENOENT */;
inline constexpr int kIsDirectoryError = kOnWindows ? 5 /* ERROR_ACCESS_DENIED */ : 21 /* EISDIR */;

/// The system's words for kIsDirectoryError: POSIX's written out; on Windows those of the system
/// the test runs on, since Windows says "Access is denied" and Wine "Access denied".
inline std::string is_directory_reason() {
  if (!kOnWindows) return "Is a directory";
  return platform::message_of(platform::system_error(kIsDirectoryError));
}

/// A fresh directory under the system's temporary directory, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    std::random_device random;
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; path_.empty(); ++attempt) {
      if (attempt == 100) throw std::runtime_error("cannot make a directory in " + base.string());
      const auto candidate = base / ("quorlant-test-" + std::to_string(random()));
      if (std::filesystem::create_directory(candidate)) path_ = candidate;
    }
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

/// The whole content of a file, byte for byte.
inline std::string read_bytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

/// The whole content of a file as its records read: byte for byte, except that on Windows,
/// where every record the program writes ends in CR LF, each CR LF reads as LF. The CR LF
/// themselves are checked in tests of their own.
inline std::string read_file(const std::filesystem::path& path) {
  return text_output(read_bytes(path));
}

inline void write_file(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

/// Joins lines, each followed by '\n'.
inline std::string lines(const std::vector<std::string>& each) {
  std::string text;
  for (const auto& line : each) text += line + "\n";
  return text;
}

/// A record I/O layer on string streams in a temporary directory, with the run's data.
struct IoBench {
  IoBench() = default;
  /// `answers` is what standard input holds.
  explicit IoBench(std::string answers) : in(std::move(answers)) {}
  TempDir dir;
  std::istringstream in;
  std::ostringstream out;
  std::ostringstream err;
  platform::SystemFileSystem files;
  recordio::RecordIo io{in, out, err, files, dir.path(), eventfile::kSeriesNames};
  shared::RunData data;
  /// The input not read yet.
  std::string rest() { return {std::istreambuf_iterator<char>(in), {}}; }
};

/// The report of the Failure that `action` throws; a test failure when it throws none.
inline std::string io_failure_of(const std::function<void()>& action) {
  try {
    action();
  } catch (const recordio::Failure& failure) {
    return failure.what();
  }
  ADD_FAILURE() << "no Failure";
  return "";
}

/// Runs `run` as the program does: a failure that ends it is reported on `err`. The status.
inline int reported(const std::function<int()>& run, std::ostream& err) {
  try {
    return run();
  } catch (const recordio::Failure& failure) {
    return quorlant::report(failure, "quorlant", err);
  }
}

/// What a whole run left on the console.
struct RunResult {
  int status = -1;
  std::string out;  // the transcript on standard output
  std::string err;  // the error stream
};

/// Runs the program in-process in `directory` with `answers` as standard input, on the
/// system's files or on `files`.
inline RunResult run_program(const std::filesystem::path& directory, std::string_view answers,
                             std::vector<std::string_view> arguments = {},
                             platform::FileSystem* files = nullptr) {
  std::istringstream in{std::string(answers)};
  std::ostringstream out;
  std::ostringstream err;
  platform::SystemFileSystem system_files;
  RunResult result;
  result.status = quorlant::main_program(arguments, in, out, err, files ? *files : system_files,
                                    directory);
  result.out = out.str();
  result.err = err.str();
  return result;
}

/// Writes a series of 36 monthly events from January 2015 for basin gr10k in `directory`, as a
/// run does; returns the run's status.
inline int write_36_monthly_events(const std::filesystem::path& directory) {
  std::filesystem::create_directories(directory / "event");
  return run_program(directory, "",
                     {"-q", "--events", "36", "--months-per-event", "1", "--start",
                      "2015 01 01 00", "--report-step", "1", "--basin", "gr10k"})
      .status;
}

/// The program under test.
inline std::filesystem::path program() {
  return std::filesystem::absolute(QUORLANT_BINARY);
}

/// Every path below `root`, relative to it with '/' between names, sorted.
inline std::vector<std::string> tree(const std::filesystem::path& root) {
  std::vector<std::string> paths;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
    paths.push_back(std::filesystem::relative(entry.path(), root).generic_string());
  std::sort(paths.begin(), paths.end());
  return paths;
}

/// Every path below `root` but those ending in `skip`, with its bytes and modification time:
/// what a run must leave unchanged.
inline std::map<std::string, std::pair<std::string, std::filesystem::file_time_type>> snapshot(
    const std::filesystem::path& root, std::string_view skip = {}) {
  std::map<std::string, std::pair<std::string, std::filesystem::file_time_type>> found;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    const std::string name = std::filesystem::relative(entry.path(), root).generic_string();
    if (skip.empty() || !name.ends_with(skip))
      found[name] = {entry.is_directory() ? "" : read_bytes(entry.path()), entry.last_write_time()};
  }
  return found;
}

/// The names of the entries of a directory (empty when it does not exist).
inline std::set<std::string> entries(const std::filesystem::path& directory) {
  std::set<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

/// The lines of a text, without their '\n'; a last line without one is marked
/// "<unterminated>", so that a lost line end shows.
inline std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> result;
  std::size_t start = 0;
  for (std::size_t end = text.find('\n'); end != std::string::npos;
       end = text.find('\n', start)) {
    result.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  if (start != text.size()) result.push_back("<unterminated>" + text.substr(start));
  return result;
}

/// A scratch area for one program run: `work` is its working directory with an `event`
/// directory; `root` holds it and whatever the test keeps beside it.
struct RunArea {
  TempDir root;
  std::filesystem::path work = root / "work";
  RunArea() { std::filesystem::create_directories(work / "event"); }

  /// Runs the program with `args`, its standard input from `input` (none when empty).
  Process run(std::vector<std::string> args, const std::filesystem::path& input = {}) {
    args.insert(args.begin(), program().string());
    return run_process({.argv = args, .directory = work, .input = input});
  }
};

}  // namespace quorlant::testing
