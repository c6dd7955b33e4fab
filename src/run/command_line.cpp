#include "run/command_line.h"

#include <algorithm>
#include <array>
#include <sstream>
#include <streambuf>
#include <string>

#include "check/check_command.h"
#include "recordio/platform/platform.h"
#include "recordio/record_io.h"
#include "run/answer_options.h"
#include "run/run_sequence.h"

namespace quorlant::run {

namespace {

// Standard output that takes no text is a failure like any other, with its report.
int print(std::string_view text, std::ostream& out, std::ostream& err) {
  out << text;
  out.flush();
  if (out) return 0;
  err << "quorlant: cannot write to standard output\n";
  return static_cast<int>(recordio::ExitStatus::kIoFailure);
}

// The console of a run without the dialogue: of the transcript only the line of each event file
// (" event\...") and a dry run's count are shown, none at all when quiet. The last three lines
// hidden are held: an abort of the program (an event file that cannot be opened) reports in
// three console lines, which then go to the error stream instead.
class ListingOnly : public std::streambuf {
 public:
  ListingOnly(std::ostream& out, bool quiet) : out_(out), quiet_(quiet) {}
  const std::string& held() const { return held_; }

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    line_ += traits_type::to_char_type(c);
    if (line_.back() != '\n') return c;
    const bool listing = line_.starts_with(" event\\") || line_.starts_with(" dry run:");
    if (!listing) {
      held_ += line_;
      if (std::count(held_.begin(), held_.end(), '\n') > 3) held_.erase(0, held_.find('\n') + 1);
    } else {
      held_.clear();
      if (!quiet_) out_ << line_;
    }
    line_.clear();
    return out_ ? c : traits_type::eof();
  }
  int sync() override { return out_.flush() ? 0 : -1; }

 private:
  std::ostream& out_;
  bool quiet_;
  std::string line_;  // the line being written
  std::string held_;
};

// The answers of --answers FILE, read through the file system a block at a time like standard
// input, so that the same bounds hold.
class AnswerFile : public std::streambuf {
 public:
  explicit AnswerFile(recordio::platform::FileSystem& files) : files_(files) {}
  /// Opens the file and reads its first block: one that cannot be read fails before the run.
  std::error_code open(const std::filesystem::path& path) {
    recordio::platform::FileHandle handle = recordio::platform::kNoFile;
    if (const std::error_code error = files_.open_to_read(path, handle)) return error;
    file_ = recordio::platform::File(files_, handle);
    return fill();
  }

 protected:
  int_type underflow() override {
    // A read failure past the first block ends the answers as the end of the file does.
    if (gptr() == egptr() && fill()) return traits_type::eof();
    return gptr() == egptr() ? traits_type::eof() : traits_type::to_int_type(*gptr());
  }

 private:
  std::error_code fill() {
    std::size_t got = 0;
    const std::error_code error = files_.read(file_.handle(), block_, offset_, got);
    offset_ += got;
    setg(block_.data(), block_.data(), block_.data() + got);
    return error;
  }

  recordio::platform::FileSystem& files_;
  recordio::platform::File file_;
  std::array<char, 4096> block_{};
  std::uint64_t offset_ = 0;
};

}  // namespace

int main_program(std::span<const std::string_view> arguments, std::istream& in, std::ostream& out,
                 std::ostream& err, recordio::platform::FileSystem& files,
                 const std::filesystem::path& working_directory, bool input_is_terminal) {
  if (!arguments.empty() && arguments[0] == "check") {
    return check::main_check(arguments.subspan(1), out, err, working_directory);
  }
  if (arguments.size() == 1 && arguments[0] == "--help") return print(help_text(), out, err);
  if (arguments.size() == 1 && arguments[0] == "--version") {
    return print("quorlant " QUORLANT_VERSION "\n", out, err);
  }
  Invocation invocation;
  try {
    invocation = parse_command_line(arguments);
  } catch (const UsageError& error) {
    err << "quorlant: " << error.what() << '\n';
    return static_cast<int>(recordio::ExitStatus::kIoFailure);
  }
  if (invocation.print_answers) return print(*invocation.answers, out, err);

  AnswerFile answer_file(files);
  std::istream file_input(&answer_file);
  const bool from_file = invocation.answer_file && *invocation.answer_file != "-";
  if (from_file) {
    if (const auto error = answer_file.open(working_directory / *invocation.answer_file)) {
      err << "quorlant: "
          << recordio::describe_error("cannot read the answers from " + *invocation.answer_file,
                                      error)
          << '\n';
      return static_cast<int>(recordio::ExitStatus::kIoFailure);
    }
  }

  const bool dialogue = !invocation.answers;
  std::istringstream scripted(invocation.answers.value_or(""));
  ListingOnly listing(out, invocation.quiet);
  std::ostream listed(&listing);
  const bool filtered = !dialogue || invocation.quiet;
  std::istream& answers_in = !dialogue ? scripted : from_file ? file_input : in;
  recordio::RecordIo io(answers_in, filtered ? listed : out, err, files, working_directory);
  try {
    if (!dialogue && !io.units().is_directory("event")) {
      err << "quorlant: the working directory has no event directory: expected one to hold the "
             "event files\n";
      return static_cast<int>(recordio::ExitStatus::kIoFailure);
    }
  } catch (const recordio::IoFailure& failure) {
    err << "quorlant: " << failure.what() << '\n';
    return static_cast<int>(recordio::ExitStatus::kIoFailure);
  }
  io.console().set_terminal(dialogue && !from_file && input_is_terminal);
  if (invocation.dry_run) io.units().set_dry_run();
  const int status = run_sequence(io, invocation.strict);
  if (filtered && status == static_cast<int>(recordio::ExitStatus::kAborted)) {
    err << listing.held();
  }
  return status;
}

}  // namespace quorlant::run
