#include "run/command_line.h"

#include <array>
#include <optional>
#include <sstream>
#include <streambuf>
#include <string>

#include "eventfile/event_file_layout.h"
#include "platform/platform.h"
#include "eventfile/event_names.h"
#include "recordio/system_failure.h"
#include "recordio/record_io.h"
#include "recordio/units.h"
#include "run/answer_options.h"
#include "run/run_sequence.h"
#include "run/strict_script.h"

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

// A file of the command line that fails ends the run: "`what`: reason", status 2.
void check_file(std::error_code error, const std::string& what) {
  if (error)
    throw recordio::Failure(recordio::describe_error(what, error), recordio::ExitStatus::kUsage);
}

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
  void check(std::error_code error) const {
    check_file(error, "cannot read the answers from " + name_);
  }

  platform::FileSystem& files_;
  std::string name_;  // as the user gave it
  platform::File file_;
  std::array<char, 4096> block_{};
  std::uint64_t offset_ = 0;
};

// The streams of one run: where its answers come from and where its dialogue goes.
struct Streams {
  std::istream& in;
  std::ostream& out;
  std::ostream& err;
  bool input_is_terminal;
};

int run(const Invocation& invocation, const Streams& streams, platform::FileSystem& files,
        const std::filesystem::path& working_directory) {
  // The answer script of a run, saved to the file --save-answers names: a file that cannot be
  // made ends the run before anything else, and the script is put in place once the run has
  // ended normally.
  std::optional<recordio::FileWrittenWhole> saved;
  if (invocation.save_answers) {
    saved.emplace(files, working_directory / *invocation.save_answers,
                  "cannot save the answers to " + *invocation.save_answers);
  }
  const bool dialogue = !invocation.answers;
  std::istringstream scripted(invocation.answers.value_or(""));
  Discard discard;
  std::ostream discarded(&discard);
  const bool listing = !dialogue || invocation.quiet;
  recordio::RecordIo io(dialogue ? streams.in : scripted, listing ? discarded : streams.out,
                        streams.err, files, working_directory, eventfile::kSeriesNames);
  std::istringstream no_input;
  recordio::Console listing_console(no_input, invocation.quiet ? discarded : streams.out);
  ListingListener listener(listing_console, streams.err);
  if (listing) io.set_listener(listener);
  io.console().set_terminal(dialogue && streams.input_is_terminal);
  if (invocation.dry_run) io.units().set_dry_run();
  const int status = run_sequence(io);
  if (status == 0 && saved) saved->keep(io.console().script());
  return status;
}

// The run of `invocation`, its answers read from --answers FILE or else from `given.in`.
int run_answers(const Invocation& invocation, const Streams& given, platform::FileSystem& files,
                const std::filesystem::path& working_directory) {
  std::optional<AnswerFile> answer_file;
  if (invocation.answer_file && *invocation.answer_file != "-")
    answer_file.emplace(files, working_directory, *invocation.answer_file);
  std::istream file_input(answer_file ? &*answer_file : nullptr);
  if (answer_file) file_input.exceptions(std::ios::badbit);
  const Streams streams{answer_file ? file_input : given.in, given.out, given.err,
                        !answer_file && given.input_is_terminal};
  if (invocation.strict && !invocation.answers && !streams.input_is_terminal) {
    // A strict answer script is read and checked whole before the run touches anything.
    recordio::Console console(streams.in, streams.out);
    std::istringstream checked(read_strict_script(console));
    return run(invocation, {checked, streams.out, streams.err, false}, files, working_directory);
  }
  return run(invocation, streams, files, working_directory);
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

  return run_answers(invocation, {in, out, err, input_is_terminal}, files, working_directory);
}

}  // namespace quorlant::run
