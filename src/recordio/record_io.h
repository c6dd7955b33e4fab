#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <istream>
#include <ostream>
#include <string>
#include <string_view>

#include "recordio/console.h"
#include "recordio/failure.h"
#include "recordio/message_line.h"
#include "recordio/record_format.h"
#include "recordio/run_listener.h"
#include "recordio/units.h"

namespace quorlant::recordio {

/// The line of a pause, and how a message names the Enter it waits for.
inline constexpr std::string_view kPauseLine = "Hit enter to continue";
inline std::string pause_answer() {
  return "Enter at \"" + std::string(kPauseLine) + "\"";
}

/// Unit numbers of the run.
inline constexpr int kConsoleInput = 5;   // answers
inline constexpr int kConsoleOutput = 6;  // every console message; formatted prompts too
inline constexpr int kFollowListUnit = 90;
inline constexpr int kRunLogUnit = 98;
inline constexpr int kFileUnit = 99;  // scratch files and event files, one at a time

/// The record I/O layer: the console and the file units of one run. Built from the streams,
/// the file system and the working directory it is handed, so a whole run can be driven from a
/// test, on a fake file system too.
class RecordIo {
 public:
  RecordIo(std::istream& in, std::ostream& out, std::ostream& err, platform::FileSystem& files,
           std::filesystem::path working_directory, const SeriesNames& names);

  /// One message line on the console output or on a file unit.
  void message(int unit, std::initializer_list<MessageItem> items = {});
  /// Formatted records on the console output or a file unit.
  void write(int unit, const Format& format, std::initializer_list<OutItem> items);
  /// Formatted records from the console input or a file unit. `what` names the answer awaited.
  /// On a terminal an answer line that `check` refuses is asked again.
  void read(int unit, const Format& format, std::initializer_list<InTarget> targets,
            std::string_view what = "an answer", const AnswerCheck& check = {});
  /// Free-form numbers from the console input.
  std::int32_t read_integer(std::string_view what, const AnswerCheck& check = {}) {
    return console_.read_integer(what, check);
  }
  float read_real(std::string_view what, const AnswerCheck& check = {}) {
    return console_.read_real(what, check);
  }

  /// Units::open and Units::connect.
  void open(int unit, std::string_view name, OpenMode mode = OpenMode::kUnknown) {
    units_.open(unit, name, mode);
  }
  void connect(int unit, std::string_view name, OpenMode mode = OpenMode::kUnknown) {
    units_.connect(unit, name, mode);
  }
  void rewind(int unit) { units_.rewind(unit); }
  void close(int unit) { units_.close(unit); }
  Units& units() { return units_; }
  Console& console() { return console_; }
  /// Who hears what the run does: the console transcript unless another listener is set.
  RunListener& listener() { return *listener_; }
  void set_listener(RunListener& listener) { listener_ = &listener; }

  /// One line on the error stream after "quorlant: warning: "; the run goes on. Throws
  /// Failure when standard output fails while it is brought up to date first.
  void warn(std::string_view message);

  /// One line on the error stream after "quorlant: ", saying what the run did; it goes on.
  void note(std::string_view message);

  /// Shows "Hit enter to continue" and waits for a line; what is typed is passed over. The end
  /// of the input is taken as Enter, with one note on the error stream.
  void pause();

  /// Runs `body` and returns the exit status. A body that returns ends the run normally: every
  /// unit closed and kept, then "Normal ending". An orderly stop closes every unit, then shows
  /// its message. A Failure closes what it can and goes on up, for the top of the program to
  /// report, with what became of the series as its aftermath.
  int run(const std::function<void(RecordIo&)>& body);

 private:
  void put_buffer(int unit);  // on the console output or the file unit
  void show_stop(const Stop& stop);
  // Closes what it can after `failure` and adds what became of the series.
  void close_after(Failure& failure);
  // After a run that ended without putting its series in place: what became of it, or "".
  std::string series_left_line();

  Console console_;
  TranscriptListener transcript_{console_};
  RunListener* listener_ = &transcript_;
  std::ostream& err_;
  Units units_;
  std::string buffer_;      // a record being built, reused
  bool noted_end_ = false;  // the end of the input at a pause has had its note
};

}  // namespace quorlant::recordio
