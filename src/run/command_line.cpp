#include "run/command_line.h"

#include <array>
#include <optional>
#include <sstream>
#include <streambuf>
#include <string>

#include "eventfile/event_file_layout.h"
#include "eventfile/event_names.h"
#include "platform/platform.h"
#include "recordio/failure.h"
#include "recordio/message_line.h"
#include "recordio/record_io.h"
#include "recordio/units.h"
#include "run/answer_options.h"
#include "run/answers.h"
#include "run/run_sequence.h"

namespace quorlant::run {

namespace {

// Standard output that takes no text is a failure like any other.
int print(std::string_view text, std::ostream& out) {
  out << text;
  out.flush();
  if (!out) throw recordio::Failure("cannot write to standard output");
  return static_cast<int>(recordio::ExitStatus::kNormalEnding);
}

// The transcript of a run whose dialogue nobody reads.
class Discard : public std::streambuf {
 protected:
  int_type overflow(int_type c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize count) override { return count; }
};

// A run without the dialogue, or a quiet one: each event file's line and a dry run's counts on
// `out` (a quiet run discards them); an abort of the program reports on the error stream.
class ListingListener : public recordio::TranscriptListener {
 public:
  ListingListener(recordio::Console& out, std::ostream& err) : TranscriptListener(out), err_(err) {}
  void aborted(std::span<const std::string> report, std::string_view stop_message) override {
    for (const std::string& line : report) err_ << line << '\n';
    err_ << stop_message << '\n';
    err_.flush();
  }

 private:
  std::ostream& err_;
};

// The answers of --answers FILE, read through the file system a block at a time like standard
// input, so that the same bounds hold. A block that cannot be read ends the run (status 2), the
// first one before the run starts: the stream that reads it must let the Failure through.
class AnswerFile : public std::streambuf {
 public:
  AnswerFile(platform::FileSystem& files, const std::filesystem::path& working_directory,
             const std::string& name)
      : files_(files), name_(name) {
    platform::FileHandle handle = platform::kNoFile;
    platform::Entry entry;
    check(files_.open_to_read(platform::kNoFile, working_directory / name,
                              platform::Reading::kNamed, handle, entry));
    file_ = platform::File(files_, handle);
    fill();
  }

 protected:
  int_type underflow() override {
    if (gptr() == egptr()) fill();
    return gptr() == egptr() ? traits_type::eof() : traits_type::to_int_type(*gptr());
  }

 private:
  void fill() {
    std::size_t got = 0;
    check(files_.read(file_.handle(), block_, offset_, got));
    offset_ += got;
    setg(block_.data(), block_.data(), block_.data() + got);
  }
  // A file of the command line that fails ends the run, status 2.
  void check(std::error_code error) const {
    if (!error) return;
    throw recordio::Failure(
        recordio::describe_error("cannot read the answers from " + name_, error),
        recordio::ExitStatus::kUsage);
  }

  platform::FileSystem& files_;
  std::string name_;  // as the user gave it
  platform::File file_;
  std::array<char, 4096> block_{};
  std::uint64_t offset_ = 0;
};

// A line of a --strict answer script that the dialogue would take loosely, or not at all.
recordio::Failure refusal(int line_number, std::string_view what, std::string_view typed,
                          const std::string& why) {
  return recordio::Failure(recordio::line_of_the_answers(line_number) + " (" + std::string(what) +
                           "): " + recordio::quoted_answer(typed) + ": " + why);
}

// The lines after the last answer: what is typed at a pause is passed over; after the second one
// the dialogue asks nothing. A script without its pause lines leaves the run to take its end as
// Enter.
std::string read_pauses(recordio::Console& console) {
  std::string pauses;
  for (int pause = 0; pause < 2; ++pause) {
    if (!console.read_enter(recordio::pause_answer())) return pauses;
    pauses += "\n";
  }
  if (!console.at_end()) {
    const std::string left = console.read_line("a line left over");
    throw refusal(console.line_number(), "after the last answer", left,
                  "expected nothing more: the dialogue asks no more");
  }
  return pauses;
}

// The answer script a run reads: the options' own, or a --strict one read from `in` and checked
// whole before the run touches anything, one answer a line, the two pauses included and nothing
// after them; none when the dialogue reads `in` as it asks.
std::optional<std::string> checked_answers(const Invocation& invocation, std::istream& in,
                                           std::ostream& out, bool input_is_terminal) {
  if (invocation.answers || !invocation.strict || input_is_terminal) return invocation.answers;
  recordio::Console console(in, out);
  const std::string script =
      checked_script([&](const Answer& answer) { return console.read_line(answer.what); },
                     [](int line, const Answer& answer, std::string_view typed,
                        const std::string& why) { return refusal(line, answer.what, typed, why); });
  return script + read_pauses(console);
}

int run(const Invocation& invocation, std::istream& in, std::ostream& out, std::ostream& err,
        bool input_is_terminal, platform::FileSystem& files,
        const std::filesystem::path& working_directory) {
  const std::optional<std::string> script = checked_answers(invocation, in, out, input_is_terminal);
  // The answer script of a run, saved to the file --save-answers names: a file that cannot be
  // made ends the run before anything else, and the script is put in place once the run has
  // ended normally.
  std::optional<recordio::FileWrittenWhole> saved;
  if (invocation.save_answers) {
    saved.emplace(files, working_directory / *invocation.save_answers,
                  "cannot save the answers to " + *invocation.save_answers);
  }
  const bool dialogue = !invocation.answers;
  std::istringstream scripted(script.value_or(""));
  Discard discard;
  std::ostream discarded(&discard);
  const bool listing = !dialogue || invocation.quiet;
  recordio::RecordIo io(script ? scripted : in, listing ? discarded : out, err, files,
                        working_directory, eventfile::kSeriesNames);
  std::istringstream no_input;
  recordio::Console listing_console(no_input, invocation.quiet ? discarded : out);
  ListingListener listener(listing_console, err);
  if (listing) io.set_listener(listener);
  io.console().set_terminal(dialogue && input_is_terminal);
  if (invocation.dry_run) io.units().set_dry_run();
  const int status = run_sequence(io);
  if (status == 0 && saved) saved->keep(io.console().script());
  return status;
}

}  // namespace

int main_program(std::span<const std::string_view> arguments, std::istream& in, std::ostream& out,
                 std::ostream& err, platform::FileSystem& files,
                 const std::filesystem::path& working_directory, bool input_is_terminal) {
  if (arguments.size() == 1 && (arguments[0] == "--help" || arguments[0] == "-h"))
    return print(help_text(), out);
  if (arguments.size() == 1 && arguments[0] == "--version") {
    return print("quorlant " QUORLANT_VERSION "\nwrites event files of version " +
                     std::string(eventfile::kFileVersion) + "\n",
                 out);
  }
  const Invocation invocation = parse_command_line(arguments);
  if (invocation.print_answers) return print(*invocation.answers, out);
  // The answers are read from --answers FILE, or else from `in`.
  if (!invocation.answer_file || *invocation.answer_file == "-")
    return run(invocation, in, out, err, input_is_terminal, files, working_directory);
  AnswerFile answer_file(files, working_directory, *invocation.answer_file);
  std::istream file_input(&answer_file);
  file_input.exceptions(std::ios::badbit);
  return run(invocation, file_input, out, err, false, files, working_directory);
}

}  // namespace quorlant::run
