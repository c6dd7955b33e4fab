#include "recordio/record_io.h"

#include <new>
#include <optional>

#include "recordio/failure.h"

namespace quorlant::recordio {

RecordIo::RecordIo(std::istream& in, std::ostream& out, std::ostream& err,
                   platform::FileSystem& files, std::filesystem::path working_directory)
    : console_(in, out), err_(err), units_(files, std::move(working_directory)) {}

void RecordIo::message(int unit, std::initializer_list<MessageItem> items) {
  buffer_.clear();
  append_message_line(buffer_, items);
  if (unit == kConsoleOutput) {
    console_.write(buffer_);
  } else {
    units_.write(unit, buffer_);
  }
}

void RecordIo::write(int unit, const Format& format, std::initializer_list<OutItem> items) {
  buffer_.clear();
  format_records(format, std::span<const OutItem>(items.begin(), items.size()), buffer_);
  if (unit == kConsoleOutput) {
    console_.write(buffer_);
  } else {
    units_.write(unit, buffer_);
  }
}

void RecordIo::open_or_fail(int unit, std::string_view name) {
  if (const std::error_code error = units_.open(unit, name)) {
    throw Failure(cannot_open(name, error));
  }
}

void RecordIo::read(int unit, const Format& format, std::span<const InTarget> variables,
                    std::string_view what, const AnswerCheck& check) {
  if (unit == kConsoleInput) {
    std::string line;
    const RecordSource next_line = [&]() -> std::string_view {
      line = console_.read_line(what, check);
      return line;
    };
    if (const auto field_problem = read_records(format, next_line, variables)) {
      const std::optional<std::string> problem = check ? check(line) : std::nullopt;
      throw Failure(line_of_the_answers(console_.line_number()) + " (" + std::string(what) +
                    "): " + quoted_answer(line) + ": " + problem.value_or(*field_problem));
    }
    return;
  }
  const RecordSource next_record = [&]() { return units_.read_record(unit); };
  if (const auto problem = read_records(format, next_record, variables))
    throw Failure("cannot read " + units_.name_of(unit) + ": " + *problem);
}

std::int32_t RecordIo::read_integer(std::string_view what, const AnswerCheck& check) {
  return console_.read_integer(what, check);
}

float RecordIo::read_real(std::string_view what, const AnswerCheck& check) {
  return console_.read_real(what, check);
}

void RecordIo::warn(std::string_view message) {
  console_.flush();  // on a terminal the warning appears where it belongs in the dialogue
  err_ << "quorlant: warning: " << message << '\n';
  err_.flush();
}

void RecordIo::note(std::string_view message) {
  console_.flush();
  err_ << "quorlant: " << message << '\n';
  err_.flush();
}

void RecordIo::report_series_left() {
  switch (units_.series_left()) {
    case SeriesLeft::kUntouched: return;
    case SeriesLeft::kAsItWas:
      err_ << "quorlant: the series in " << in_event_folder("") << " was left as it was\n";
      break;
    case SeriesLeft::kHalfDone:
      err_ << "quorlant: the series in " << in_event_folder("")
           << " could not be put back yet: the next run of "
              "quorlant puts it back\n";
      break;
  }
  err_.flush();
}

void RecordIo::pause() {
  message(kConsoleOutput, {kPauseLine});
  // An editor may have trimmed the empty lines that end a script: once every answer is in,
  // its end is taken as Enter.
  if (!console_.read_enter(pause_answer()) && !noted_end_) {
    noted_end_ = true;
    console_.flush();
    err_ << "quorlant: note: the answers end before \"" << kPauseLine << "\": taken as Enter\n";
    err_.flush();
  }
}

int RecordIo::run(const std::function<void(RecordIo&)>& body) {
  // An interrupt ends the run at once, or waits while the run puts a series in place.
  const platform::InterruptScope interrupt_scope(units_.interrupts());
  try {
    try {
      body(*this);
      units_.close_all();
      console_.write("Normal ending\n");
      console_.flush();
      return static_cast<int>(ExitStatus::kNormalEnding);
    } catch (const Stop& stop) {
      units_.close_all();
      show_stop(stop);
      report_series_left();
      return static_cast<int>(stop.status());
    }
  } catch (const Failure& failure) {
    close_after(failure);
    report_series_left();
    return static_cast<int>(failure.status());
  } catch (const std::bad_alloc&) {
    err_ << "quorlant: out of memory\n";
    err_.flush();
    return static_cast<int>(ExitStatus::kIoFailure);
  } catch (const std::exception& error) {
    // A fault of the program itself: still one line and a failing status, never an abort.
    err_ << "quorlant: internal error: " << error.what() << '\n';
    err_.flush();
    return static_cast<int>(ExitStatus::kIoFailure);
  }
}

void RecordIo::show_stop(const Stop& stop) {
  if (stop.stream() == StopStream::kError) {
    console_.flush();
    err_ << "quorlant: " << stop.message() << '\n';
    err_.flush();
  } else if (stop.status() == ExitStatus::kAborted) {
    listener_->aborted(stop.report(), stop.message());
  } else {
    console_.write(stop.message() + "\n");
    console_.flush();
  }
}

void RecordIo::close_after(const Failure& failure) {
  try {
    units_.close_all();
  } catch (const Failure&) {
    // The first failure is the one reported.
  }
  try {
    console_.flush();
  } catch (const Failure&) {
    // Standard output may be what failed; the report below goes to the error stream.
  }
  // An interrupt says nothing more: the caller ends the process by the interrupt itself.
  if (failure.is_interrupt()) return;
  err_ << "quorlant: " << failure.what() << '\n';
  err_.flush();
}

}  // namespace quorlant::recordio
