#pragma once

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

// Child processes for the tests: the real program, or a tool such as groff, with its standard
// streams on pipes or files. process_posix.cpp and process_windows.cpp implement it.
namespace quorlant::testing {

/// What a child's standard output is connected to.
enum class Output {
  kPipe,          // a pipe the test reads
  kClosed,        // no standard output at all (POSIX)
  kFullDevice,    // /dev/full: every write fails (POSIX)
  kPipeNoReader,  // a pipe whose read end is already closed
};

struct ProcessOptions {
  std::vector<std::string> argv{};    // argv[0]: a path, or a program looked up on PATH
  std::filesystem::path directory{};  // the working directory; must exist
  std::filesystem::path input{};      // standard input from this file; empty: a pipe
  bool close_input = false;           // started with no standard input at all (POSIX)
  Output output = Output::kPipe;
  std::optional<std::uint64_t> file_size_limit{};  // RLIMIT_FSIZE (POSIX)
  bool ignore_hangup = false;  // started with SIGHUP ignored, as nohup does (POSIX)
  bool own_console = false;  // Windows: a console of its own, so that Ctrl C reaches it alone
};

/// How a child ended and what it wrote. On Windows its text-mode CR LF lines read as LF.
struct Process {
  int status = -1;  // the exit status, or 128 plus the signal that ended it
  int signal = 0;   // the signal that ended it, if one did
  std::string out;
  std::string err;
};

/// A stream read on a thread of its own into a text that can be waited on.
class Collector {
 public:
  /// `read` returns the bytes it got, 0 at the end of the stream.
  explicit Collector(std::function<std::size_t(char*, std::size_t)> read);
  Collector(const Collector&) = delete;
  Collector& operator=(const Collector&) = delete;
  ~Collector();
  /// Waits until the text holds `text`, or the stream ends, or ten seconds have passed.
  bool wait_for(std::string_view text);
  /// Waits for the end of the stream; the whole text.
  std::string finish();

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::string text_;
  bool ended_ = false;
  std::thread thread_;
};

/// A running child. The destructor kills it if it has not been finished.
class Child {
 public:
  explicit Child(const ProcessOptions& options);
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child();
  /// Writes to the child's standard input (a child that has ended takes none).
  void type(std::string_view text);
  /// Reads standard output until it holds `text` or ten seconds have passed.
  bool wait_for_output(std::string_view text);
  /// POSIX: sends `signal_number`. Windows: presses Ctrl C on the child's own console and waits
  /// up to ten seconds for the child to end. False when the system cannot deliver it.
  bool interrupt(int signal_number);
  /// Ends the input, reads both streams to their end and waits for the child.
  Process finish();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

/// Runs a program to its end.
Process run_process(const ProcessOptions& options);

/// Whether a program can be found on PATH.
bool on_path(const std::string& program);

/// Ends of lines in a child's text output: CR LF on Windows read as LF; nothing changes elsewhere.
std::string text_output(std::string bytes);

/// Sets this process's umask and returns the one before (Windows has none: 0).
unsigned set_umask(unsigned mask);

}  // namespace quorlant::testing
