#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "test_support.h"

extern char** environ;

namespace quorlant::testing {

/// How a child process ended and what it printed.
struct Process {
  int status = -1;  // the exit status, or 128 plus the signal that ended it
  std::string out;
  std::string err;
};

/// Where a child process runs and what it is given.
struct Spawn {
  std::vector<std::string> argv;              // argv[0] is looked up on PATH when it has no '/'
  std::filesystem::path working_directory;    // must exist
  std::filesystem::path input = "/dev/null";  // standard input
  std::filesystem::path capture;              // directory for the captured streams
  std::filesystem::path output;               // standard output; empty: captured
};

/// Runs a program to its end, its standard output and error captured through files in
/// `spawn.capture`, which must lie outside the working directory.
inline Process run_process(const Spawn& spawn) {
  const auto out_path = spawn.output.empty() ? spawn.capture / "stdout" : spawn.output;
  const auto err_path = spawn.capture / "stderr";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, spawn.input.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addchdir_np(&actions, spawn.working_directory.c_str());
  std::vector<char*> argv;
  for (const auto& arg : spawn.argv) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int error = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) throw std::runtime_error("cannot start " + spawn.argv[0]);
  int wait_status = 0;
  if (waitpid(pid, &wait_status, 0) != pid) throw std::runtime_error("waitpid failed");
  Process result;
  result.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
  if (spawn.output.empty()) result.out = read_file(out_path);
  result.err = read_file(err_path);
  return result;
}

/// Whether a program can be found on PATH.
inline bool on_path(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string dirs = path == nullptr ? "" : path;
  for (std::size_t begin = 0; begin <= dirs.size();) {
    std::size_t end = dirs.find(':', begin);
    if (end == std::string::npos) end = dirs.size();
    if (::access((std::filesystem::path(dirs.substr(begin, end - begin)) / program).c_str(),
                 X_OK) == 0)
      return true;
    begin = end + 1;
  }
  return false;
}

/// Every path below `root`, relative to it, sorted.
inline std::vector<std::string> tree(const std::filesystem::path& root) {
  std::vector<std::string> paths;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
    paths.push_back(std::filesystem::relative(entry.path(), root).string());
  std::sort(paths.begin(), paths.end());
  return paths;
}

/// The lines of a text, without their '\n'.
inline std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> result;
  std::size_t begin = 0;
  while (begin < text.size()) {
    std::size_t end = text.find('\n', begin);
    if (end == std::string::npos) end = text.size();
    result.push_back(text.substr(begin, end - begin));
    begin = end + 1;
  }
  return result;
}

/// A scratch area for one program run: `work` is its working directory with an `event`
/// directory, the streams are captured beside it.
struct RunArea {
  TempDir root;
  std::filesystem::path work = root / "work";
  RunArea() { std::filesystem::create_directories(work / "event"); }

  Process run(std::vector<std::string> args, const std::filesystem::path& input = "/dev/null") {
    args.insert(args.begin(), QUORLANT_BINARY);
    return run_process({args, work, input, root.path(), {}});
  }
};

}  // namespace quorlant::testing
