#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quorlant::reliability {

/// What the child's standard output is connected to.
enum class Output {
  kPipe,          // a pipe the test reads
  kClosed,        // no standard output at all
  kFullDevice,    // /dev/full: every write fails
  kPipeNoReader,  // a pipe whose read end is already closed
};

struct ChildOptions {
  std::filesystem::path directory;
  Output output = Output::kPipe;
  bool close_input = false;
  std::optional<rlim_t> file_size_limit;  // RLIMIT_FSIZE in bytes, with SIGXFSZ ignored
};

/// The real program in a child process, its standard streams on pipes.
class Child {
 public:
  explicit Child(const ChildOptions& options) {
    int in[2], out[2], err[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 ||
        ::pipe2(err, O_CLOEXEC) != 0) {
      throw std::runtime_error("pipe failed");
    }
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
      // Only async-signal-safe calls from here to exec.
      if (::chdir(options.directory.c_str()) != 0) ::_exit(120);
      if (options.close_input)
        ::close(0);
      else
        ::dup2(in[0], 0);
      switch (options.output) {
        case Output::kPipe:
          ::dup2(out[1], 1);
          break;
        case Output::kClosed:
          ::close(1);
          break;
        case Output::kFullDevice: {
          const int full = ::open("/dev/full", O_WRONLY);
          if (full < 0) ::_exit(121);
          ::dup2(full, 1);
          ::close(full);
          break;
        }
        case Output::kPipeNoReader:
          ::dup2(out[1], 1);
          break;
      }
      ::dup2(err[1], 2);
      if (options.file_size_limit) {
        ::signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails with EFBIG
        const rlimit limit{*options.file_size_limit, *options.file_size_limit};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(122);
      }
      ::execl(QUORLANT_BINARY, QUORLANT_BINARY, static_cast<char*>(nullptr));
      ::_exit(123);
    }
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    in_ = in[1];
    out_ = out[0];
    err_ = err[0];
    // Not one byte can be read from here on: the child's writes fail with EPIPE.
    if (options.output == Output::kPipeNoReader) close_fd(out_);
    ::signal(SIGPIPE, SIG_IGN);  // the child may be gone before its answers are written
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    close_fd(in_);
    close_fd(out_);
    close_fd(err_);
  }

  /// Writes answer lines to the child's standard input (a child that has ended takes none).
  void type(std::string_view text) {
    while (!text.empty()) {
      const ssize_t n = ::write(in_, text.data(), text.size());
      if (n <= 0) return;
      text.remove_prefix(static_cast<std::size_t>(n));
    }
  }
  void end_input() { close_fd(in_); }

  /// Reads standard output until it holds `text` or ten seconds have passed.
  bool wait_for_output(std::string_view text) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (output_.find(text) == std::string::npos) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0 || !read_some(out_, output_, static_cast<int>(left.count())))
        return false;
    }
    return true;
  }
  void signal(int signal_number) { ::kill(pid_, signal_number); }

  /// Ends the input, reads both streams to their end and waits for the child; the wait status.
  int finish() {
    end_input();
    while (out_ >= 0 && read_some(out_, output_, 10000)) {
    }
    while (err_ >= 0 && read_some(err_, error_, 10000)) {
    }
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return status;
  }
  const std::string& out() const { return output_; }
  const std::string& err() const { return error_; }

 private:
  static void close_fd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
  // Appends what arrives within `timeout_ms`; false at the end of the stream or on a timeout.
  static bool read_some(int& fd, std::string& into, int timeout_ms) {
    pollfd ready{fd, POLLIN, 0};
    if (::poll(&ready, 1, timeout_ms) <= 0) return false;
    char buffer[4096];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) {
      close_fd(fd);
      return false;
    }
    into.append(buffer, static_cast<std::size_t>(n));
    return true;
  }

  pid_t pid_ = -1;
  int in_ = -1;
  int out_ = -1;
  int err_ = -1;
  std::string output_;
  std::string error_;
};

}  // namespace quorlant::reliability
