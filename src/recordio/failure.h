#pragma once

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace quorlant::recordio {

/// How a run ended, as the process exit status.
enum class ExitStatus : int {
  kNormalEnding = 0,  // "Normal ending"
  kAborted = 1,       // an orderly abort of the program, or an answer it rejects
  kIoFailure = 2,     // the record I/O layer ended the run (bad number, end of input, a file)
  kInterrupted = 130,  // an interrupt ended the run; the process then ends by the interrupt
};

/// Where a stop shows its message.
enum class StopStream {
  kConsole,  // the program's own stop messages, on standard output
  kError,    // an answer the program rejects, on the error stream after "quorlant: "
};

/// An orderly stop: unwinds to the top, where every unit is closed and kept and `message` is
/// shown on a line of its own.
class Stop {
 public:
  Stop(std::string message, ExitStatus status, StopStream stream = StopStream::kConsole)
      : message_(std::move(message)), status_(status), stream_(stream) {}
  /// An abort of the program with the console lines that report it, shown before `message`.
  Stop(std::vector<std::string> report, std::string message)
      : report_(std::move(report)), message_(std::move(message)), status_(ExitStatus::kAborted),
        stream_(StopStream::kConsole) {}
  const std::vector<std::string>& report() const { return report_; }
  const std::string& message() const { return message_; }
  ExitStatus status() const { return status_; }
  StopStream stream() const { return stream_; }

 private:
  std::vector<std::string> report_;  // whole console lines, without terminators
  std::string message_;
  ExitStatus status_;
  StopStream stream_;
};

/// An interrupt that waited while the run put back what it had begun: the run ends by it.
class Interrupted : public std::exception {
 public:
  const char* what() const noexcept override { return "interrupted"; }
};

/// The record I/O layer ends the run: `what()` is the one-line report for standard error.
class IoFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace quorlant::recordio
