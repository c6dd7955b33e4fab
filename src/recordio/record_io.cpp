#include "recordio/record_io.h"

namespace quorlant::recordio {

RecordIo::RecordIo(std::istream& in, std::ostream& out, std::ostream& err,
                   platform::FileSystem& files, std::filesystem::path working_directory,
                   const SeriesNames& names)
    : console_(in, out), err_(err), units_(files, std::move(working_directory), names) {}

void RecordIo::message(int unit, std::initializer_list<MessageItem> items) {
  buffer_.clear();
  append_message_line(buffer_, items);
  put_buffer(unit);
}

void RecordIo::write(int unit, const Format& format, std::initializer_list<OutItem> items) {
  buffer_.clear();
  format_records(format, std::span<const OutItem>(items.begin(), items.size()), buffer_);
  put_buffer(unit);
}

void RecordIo::put_buffer(int unit) {
  if (unit == kConsoleOutput) {
    console_.write(buffer_);
  } else {
    units_.write(unit, buffer_);
  }
}

void RecordIo::read(int unit, const Format& format, std::initializer_list<InTarget> targets,
                    std::string_view what, const AnswerCheck& check) {
  const std::span<const InTarget> variables(targets.begin(), targets.size());
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

void RecordIo::warn(std::string_view message) {
  note("warning: " + std::string(message));
}

void RecordIo::note(std::string_view message) {
  console_.flush();  // on a terminal the line appears where it belongs in the dialogue
  err_ << "quorlant: " << printable(message) << '\n';
  err_.flush();
}

std::string RecordIo::series_left_line() {
  switch (units_.series_left()) {
    case SeriesLeft::kUntouched: break;
    case SeriesLeft::kAsItWas:
      return "the series in " + in_event_folder("") + " was left as it was";
    case SeriesLeft::kHalfDone:
      return "the series in " + in_event_folder("") +
             " could not be put back yet: the next run of quorlant puts it back";
    case SeriesLeft::kInPlace: return "the new series in " + in_event_folder("") + " is in place";
  }
  return "";
}

void RecordIo::pause() {
  message(kConsoleOutput, {kPauseLine});
  // An editor may have trimmed the empty lines that end a script: once every answer is in,
  // its end is taken as Enter.
  if (!console_.read_enter(pause_answer()) && !noted_end_) {
    noted_end_ = true;
    note("note: the answers end before \"" + std::string(kPauseLine) + "\": taken as Enter");
  }
}

int RecordIo::run(const std::function<void(RecordIo&)>& body) {
  // An interrupt ends the run at once, or waits while the run puts a series in place.
  const platform::InterruptScope interrupt_scope(units_.interrupts());
  try {
    body(*this);
    units_.close_all();
    console_.write("Normal ending\n");
    console_.flush();
    return static_cast<int>(ExitStatus::kNormalEnding);
  } catch (const Stop& stop) {
    try {
      units_.close_all();
    } catch (Failure& failure) {
      close_after(failure);
      throw;
    }
    show_stop(stop);
    if (const std::string left = series_left_line(); !left.empty()) note(left);
    return static_cast<int>(stop.status());
  } catch (Failure& failure) {
    close_after(failure);
    throw;
  }
}

void RecordIo::show_stop(const Stop& stop) {
  if (stop.status() == ExitStatus::kAborted) {
    listener_->aborted(stop.report(), stop.message());
  } else {
    console_.write(stop.message() + "\n");
    console_.flush();
  }
}

void RecordIo::close_after(Failure& failure) {
  try {
    units_.close_all();
  } catch (const Failure&) {
    // The first failure is the one reported.
  }
  try {
    console_.flush();
  } catch (const Failure&) {
    // Standard output may be what failed; the report goes to the error stream.
  }
  failure.set_aftermath(series_left_line());
}

}  // namespace quorlant::recordio
