#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace quorlant::recordio {

/// How a run ended, as the process exit status.
enum class ExitStatus : int {
  kNormalEnding = 0,   // "Normal ending"
  kAborted = 1,        // an orderly abort of the program, or an answer it rejects
  kIoFailure = 2,      // the run failed: a bad number, the end of the input, a file
  kUsage = 2,          // a command line or an answer option that cannot be used
  kInterrupted = 130,  // an interrupt ended the run; the process then ends by the interrupt
};

/// The program's own orderly stop, with its exact text: unwinds to the top of the run, where
/// every unit is closed and kept and `message` is shown on the console on a line of its own. A
/// run that ends normally returns instead.
class Stop : public std::exception {
 public:
  Stop(std::string message, ExitStatus status) : message_(std::move(message)), status_(status) {}
  /// An abort of the program with the console lines that report it, shown before `message`.
  Stop(std::vector<std::string> report, std::string message)
      : report_(std::move(report)), message_(std::move(message)), status_(ExitStatus::kAborted) {}
  const std::vector<std::string>& report() const { return report_; }
  const std::string& message() const { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }
  ExitStatus status() const { return status_; }

 private:
  std::vector<std::string> report_;  // whole console lines, without terminators
  std::string message_;
  ExitStatus status_;
};

/// Every other failure that ends a run or a command, an answer refused among them: `what()` is
/// the one line for the error stream (what failed and why), `status()` the exit status, and
/// `aftermath()` a second line, when there is one, on what the failure left behind. Raised where
/// the failure is found and told in one place, at the top of the program. Programming errors are
/// std::logic_error instead.
class Failure : public std::runtime_error {
 public:
  explicit Failure(const std::string& message, ExitStatus status = ExitStatus::kIoFailure)
      : std::runtime_error(message), status_(status) {}
  /// "WHAT: reason", the system's words for `error`, which is kept: some reports give its number.
  Failure(std::string_view what, platform::SystemError error);
  ExitStatus status() const { return status_; }
  /// The system's error behind the failure, if any.
  platform::SystemError error() const { return error_; }
  const std::string& aftermath() const { return aftermath_; }
  void set_aftermath(std::string line) { aftermath_ = std::move(line); }
  /// An interrupt that waited while the run put back what it had begun: the run ends by it.
  static Failure interrupted() { return Failure("interrupted", ExitStatus::kInterrupted); }
  bool is_interrupt() const { return status_ == ExitStatus::kInterrupted; }

 private:
  ExitStatus status_;
  platform::SystemError error_;
  std::string aftermath_;
};

/// "name: reason", the system's words for an error.
std::string describe_error(std::string_view name, platform::SystemError error);

/// Throws Failure(what, error) when `error` is set.
inline void fail_if(platform::SystemError error, std::string_view what) {
  if (error) throw Failure(what, error);
}

/// Ends the run with `message` and `status` (does not return).
[[noreturn]] inline void stop(std::string message, ExitStatus status = ExitStatus::kAborted) {
  throw Stop(std::move(message), status);
}

/// Ends the run rejecting an answer: `message` goes to the error stream, the status is 1.
[[noreturn]] inline void reject(const std::string& message) {
  throw Failure(message, ExitStatus::kAborted);
}

}  // namespace quorlant::recordio
