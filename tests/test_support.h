#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "recordio/record_io.h"
#include "recordio/stop.h"
#include "run/command_line.h"
#include "shared/run_data.h"

namespace quorlant::testing {

/// A fresh directory under the system's temporary directory, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "quorlant-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
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
inline std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
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
  recordio::RecordIo io{in, out, err, dir.path()};
  shared::RunData data;
  /// The input not read yet.
  std::string rest() { return {std::istreambuf_iterator<char>(in), {}}; }
};

/// The report of the IoFailure that `action` throws; a test failure when it throws none.
inline std::string io_failure_of(const std::function<void()>& action) {
  try {
    action();
  } catch (const recordio::IoFailure& failure) {
    return failure.what();
  }
  ADD_FAILURE() << "no IoFailure";
  return "";
}

/// What a whole run left on the console.
struct RunResult {
  int status = -1;
  std::string out;  // the transcript on standard output
  std::string err;  // the error stream
};

/// Runs the program in-process in `directory` with `answers` as standard input.
inline RunResult run_program(const std::filesystem::path& directory, std::string_view answers,
                             std::vector<std::string_view> arguments = {}) {
  std::istringstream in{std::string(answers)};
  std::ostringstream out;
  std::ostringstream err;
  RunResult result;
  result.status = run::main_program(arguments, in, out, err, directory);
  result.out = out.str();
  result.err = err.str();
  return result;
}

}  // namespace quorlant::testing
