#include "recordio/series_writer.h"

#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>

#include "recordio/failure.h"

namespace quorlant::recordio {

namespace {

using platform::FileKind;

// The journal is plain text: a header line, one line a target ("target TAB temporary TAB
// backup", the backup empty for a target that did not exist), a line with the checksum of all
// that precedes it, and "done" once every replacement is made. A journal whose checksum fails
// was cut off while it was written, before anything was replaced.
constexpr std::string_view kHeader = "quorlant series journal 1\n";
constexpr std::string_view kSumPrefix = "sum ";
constexpr std::string_view kDoneLine = "done\n";

std::uint64_t checksum(std::string_view bytes) {
  std::uint64_t sum = 14695981039346656037ULL;  // 64-bit FNV-1a
  for (const char c : bytes) {
    sum = (sum ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
  }
  return sum;
}

std::string sum_line(std::string_view bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%016llx\n", static_cast<unsigned long long>(checksum(bytes)));
  return std::string(kSumPrefix) + text;
}

// A path as journal text: its UTF-8 bytes, with '%' and control characters as %XX so that a
// tab or a line end in a directory's name cannot break the line.
std::string escaped(const std::filesystem::path& path) {
  std::string text;
  for (const char8_t c : path.u8string()) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == '%') {
      char code[4];
      std::snprintf(code, sizeof code, "%%%02X", byte);
      text += code;
    } else {
      text += static_cast<char>(byte);
    }
  }
  return text;
}

std::optional<std::filesystem::path> unescaped(std::string_view text) {
  std::u8string bytes;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      bytes += static_cast<char8_t>(text[i]);
      continue;
    }
    unsigned value = 0;
    if (i + 2 >= text.size() ||
        std::sscanf(std::string(text.substr(i + 1, 2)).c_str(), "%2X", &value) != 1) {
      return std::nullopt;
    }
    bytes += static_cast<char8_t>(value);
    i += 2;
  }
  return std::filesystem::path(bytes);
}

struct JournalEntry {
  std::filesystem::path target;
  std::filesystem::path temp;
  std::filesystem::path backup;
};

struct Journal {
  JournalState state = JournalState::kNone;
  std::vector<JournalEntry> entries;  // as far as they can be read
};

std::optional<JournalEntry> parse_entry(std::string_view line) {
  const std::size_t first = line.find('\t');
  const std::size_t second = first == std::string_view::npos ? first : line.find('\t', first + 1);
  if (second == std::string_view::npos) return std::nullopt;
  const auto target = unescaped(line.substr(0, first));
  const auto temp = unescaped(line.substr(first + 1, second - first - 1));
  const auto backup = unescaped(line.substr(second + 1));
  if (!target || !temp || !backup || target->empty() || temp->empty()) return std::nullopt;
  return JournalEntry{*target, *temp, *backup};
}

Journal parse_journal(std::string_view text) {
  Journal journal{JournalState::kIncomplete, {}};
  if (!text.starts_with(kHeader)) return journal;
  for (std::size_t begin = kHeader.size(); begin < text.size();) {
    const std::size_t end = text.find('\n', begin);
    if (end == std::string_view::npos) break;  // a line cut short
    const std::string_view line = text.substr(begin, end - begin);
    if (line.starts_with(kSumPrefix)) {
      if (sum_line(text.substr(0, begin)) != text.substr(begin, end + 1 - begin)) break;
      const std::string_view rest = text.substr(end + 1);
      journal.state = rest == kDoneLine ? JournalState::kDone : JournalState::kBegun;
      break;
    }
    if (const auto entry = parse_entry(line)) journal.entries.push_back(*entry);
    begin = end + 1;
  }
  return journal;
}

std::string describe(std::string_view what, std::error_code error) {
  return std::string(what) + ": " + platform::message_of(error);
}

// The journal's text, or state kNone when there is none. Throws Failure.
Journal read_journal(platform::FileSystem& files, const std::filesystem::path& path) {
  platform::FileHandle handle = platform::kNoFile;
  if (const std::error_code error = files.open_to_read(path, handle)) {
    // No event directory holds no journal: the run says what is missing in its own words.
    if (error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory)
      return {};
    throw Failure(describe("cannot read " + std::string(SeriesWriter::kJournal), error));
  }
  platform::File file(files, handle);
  std::string text;
  char buffer[8192];
  for (std::size_t got = 1; got > 0;) {
    if (const std::error_code error = files.read(file.handle(), buffer, text.size(), got)) {
      throw Failure(describe("cannot read " + std::string(SeriesWriter::kJournal), error));
    }
    text.append(buffer, got);
  }
  (void)file.close();  // read only: nothing of it can be lost
  return parse_journal(text);
}

// Syncs each directory once; the first failure is returned, with the directory's name.
std::error_code sync_each(platform::FileSystem& files,
                          const std::map<std::filesystem::path, std::string>& directories,
                          std::string& failed) {
  std::error_code first;
  for (const auto& [directory, name] : directories) {
    const std::error_code error = files.sync_directory(directory);
    if (error && !first) {
      first = error;
      failed = name;
    }
  }
  return first;
}

// The directory part of a composed name, for reports: "event" for "event\x.evt".
std::string directory_name(std::string_view name) {
  const std::size_t separator = name.rfind('\\');
  return separator == std::string_view::npos ? "." : std::string(name.substr(0, separator));
}

// Whether the journal's `entry` names this program's own files beside its target: a journal
// that says anything else is not acted on.
bool own_names(const JournalEntry& entry) {
  const auto beside_target = [&](const std::filesystem::path& path, std::string_view kind) {
    const auto own = OwnFileName::parse(path.filename().string());
    return path.parent_path() == entry.target.parent_path() && own && own->kind == kind &&
           own->target == entry.target.filename().string();
  };
  return beside_target(entry.temp, OwnFileName::kTemporary) &&
         (entry.backup.empty() || beside_target(entry.backup, OwnFileName::kBackup));
}

bool all_digits(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// Whether `path` names anything; a failure to tell is a failure.
std::error_code exists(platform::FileSystem& files, const std::filesystem::path& path,
                       bool& found) {
  FileKind kind = FileKind::kMissing;
  const std::error_code error = files.kind_of(path, kind);
  found = kind != FileKind::kMissing;
  return error;
}

// Puts the old file of one entry back from its backup (when it has one and it is there), or
// removes the new file of a target that did not exist; then its temporary goes.
std::error_code put_back(platform::FileSystem& files, const JournalEntry& entry) {
  if (!entry.backup.empty()) {
    bool backed_up = false;
    if (const std::error_code error = exists(files, entry.backup, backed_up)) return error;
    // A backup that is a second name of the target itself renames to nothing: it is removed.
    if (backed_up) {
      if (const std::error_code error = files.replace(entry.backup, entry.target)) return error;
      if (const std::error_code error = files.remove(entry.backup)) return error;
    }
  } else if (const std::error_code error = files.remove(entry.target)) {
    return error;
  }
  return files.remove(entry.temp);
}

// Settles one entry of a journal `found` so: the old file put back (a series begun), or what is
// left beside the target removed (nothing replaced yet: the temporary; all of it: the backup).
std::error_code settle(platform::FileSystem& files, const JournalEntry& entry, JournalState found) {
  if (found == JournalState::kBegun) return put_back(files, entry);
  if (const std::error_code error = files.remove(entry.temp)) return error;
  if (found == JournalState::kDone && !entry.backup.empty()) return files.remove(entry.backup);
  return {};
}

}  // namespace

std::string interrupted_run_report(JournalState state, bool settled) {
  std::string report = in_event_folder("") +
                       " holds the journal of a run cut off while it put its series in place: ";
  switch (state) {
    case JournalState::kNone: break;
    case JournalState::kIncomplete:
      return report + (settled
                           ? "nothing of it had been replaced, and its temporary files are removed"
                           : "nothing of it was replaced; the next run of quorlant removes "
                             "its temporary files");
    case JournalState::kBegun:
      return report + (settled ? "the old series is put back"
                               : "the next run of quorlant puts the old series back");
    case JournalState::kDone:
      return report + (settled
                           ? "its new series is whole, and the copies of the old files are removed"
                           : "its new series is whole; the next run of quorlant removes the "
                             "copies of the old files");
  }
  return report;
}

SeriesWriter::SeriesWriter(platform::FileSystem& files, platform::InterruptDeferral& interrupts,
                           std::filesystem::path journal, unsigned long process_id)
    : files_(files),
      interrupts_(interrupts),
      journal_(std::move(journal)),
      process_id_(process_id) {}

SeriesWriter::~SeriesWriter() {
  (void)abandon();
}

std::string OwnFileName::str() const {
  return "." + target + "." + std::string(kind) + std::to_string(process) + "." +
         std::to_string(number);
}

std::optional<OwnFileName> OwnFileName::parse(std::string_view name) {
  const std::size_t number_dot = name.rfind('.');
  if (!name.starts_with('.') || number_dot == std::string_view::npos || number_dot == 0)
    return std::nullopt;
  const std::size_t kind_dot = name.rfind('.', number_dot - 1);
  if (kind_dot == std::string_view::npos || kind_dot == 0) return std::nullopt;
  OwnFileName own;
  const std::string_view kind = name.substr(kind_dot + 1, 3);
  if (kind == kTemporary) {
    own.kind = kTemporary;
  } else if (kind == kBackup) {
    own.kind = kBackup;
  } else {
    return std::nullopt;
  }
  const std::string_view process = name.substr(kind_dot + 4, number_dot - kind_dot - 4);
  const std::string_view number = name.substr(number_dot + 1);
  // Nine digits at most: every process number fits, and so does the conversion.
  if (!all_digits(process) || process.size() > 9 || !all_digits(number) || number.size() > 9)
    return std::nullopt;
  own.target = std::string(name.substr(1, kind_dot - 1));
  own.process = std::stoul(std::string(process));
  own.number = std::stoul(std::string(number));
  return own;
}

// This run's own name beside `target`.
std::filesystem::path SeriesWriter::beside(const std::filesystem::path& target,
                                           std::string_view kind, unsigned long number) const {
  const OwnFileName own{target.filename().string(), kind, process_id_, number};
  std::filesystem::path path = target;
  path.replace_filename(own.str());
  return path;
}

std::error_code SeriesWriter::begin(const std::filesystem::path& target, std::string name,
                                    const platform::FileStatus& like, platform::File& file,
                                    std::size_t& entry) {
  if (left_ == SeriesLeft::kUntouched) interrupts_.defer_interrupts();
  honour_interrupt();
  std::error_code error;
  // A name left by a killed run is passed over; when no handle is left, those of the staged
  // files are closed (they are flushed by name later) and the file is made again.
  for (int attempt = 0; attempt < 100; ++attempt) {
    const unsigned long number = counter_++;
    platform::FileHandle handle = platform::kNoFile;
    error = files_.create_exclusive(beside(target, OwnFileName::kTemporary, number), like, handle);
    if (!error) {
      left_ = SeriesLeft::kAsItWas;
      file = platform::File(files_, handle);
      entry = entries_.size();
      Entry& added = entries_.emplace_back();
      added.target = target.native();
      added.number = number;
      added.name = std::move(name);
      added.existed = like.kind != FileKind::kMissing;
      return {};
    }
    const bool no_handle = error == std::errc::too_many_files_open ||
                           error == std::errc::too_many_files_open_in_system;
    if (no_handle) {
      if (const std::error_code closed = close_held()) return closed;
    } else if (error != std::errc::file_exists) {
      break;
    }
  }
  return error;
}

std::error_code SeriesWriter::close_held() {
  std::error_code first;
  for (Entry& held : entries_) {
    const std::error_code error = held.file.close();
    if (error && !first) first = error;
  }
  return first;
}

std::error_code SeriesWriter::complete(std::size_t entry, platform::File& file) {
  const std::error_code error = files_.start_write_back(file.handle());
  entries_[entry].file = std::move(file);
  return error;
}

void SeriesWriter::drop(std::size_t entry, platform::File& file) {
  // The file goes: what it held no longer matters.
  (void)file.close();
  (void)entries_[entry].file.close();
  (void)files_.remove(temp_of(entries_[entry]));
}

void SeriesWriter::honour_interrupt() const {
  if (interrupts_.interrupt_waiting() != 0) throw Failure::interrupted();
}

void SeriesWriter::fail(std::string what, const Entry* entry, std::error_code error) {
  if (entry != nullptr) what += entry->name;
  throw Failure(describe(what, error));
}

void SeriesWriter::commit() {
  if (entries_.empty()) {
    stop_deferring();
    return;
  }
  flush_all();
  write_journal();
  back_up_all();
  place_all();
  sync_directories();
  honour_interrupt();  // the last moment the old series can come back
  mark_done();
  clean_up();
}

// Every temporary reaches the disk before the journal names it: most of them are written back
// already, so this mostly waits for nothing.
void SeriesWriter::flush_all() {
  for (Entry& entry : entries_) {
    honour_interrupt();
    std::error_code error;
    if (entry.file.is_open()) {
      error = files_.flush(entry.file.handle());
      const std::error_code closed = entry.file.close();
      if (!error) error = closed;
    } else {
      error = files_.flush_path(temp_of(entry));
    }
    if (error) fail("cannot write ", &entry, error);
  }
}

void SeriesWriter::write_journal() {
  std::string text(kHeader);
  for (const Entry& entry : entries_) {
    text += escaped(entry.target) + '\t' + escaped(temp_of(entry)) + '\t' +
            escaped(backup_of(entry)) + '\n';
  }
  text += sum_line(text);
  journal_size_ = text.size();
  const std::string name(kJournal);
  platform::FileHandle handle = platform::kNoFile;
  journal_written_ = true;
  if (const std::error_code error = files_.create_exclusive(journal_, {}, handle))
    fail("cannot write " + name, nullptr, error);
  platform::File file(files_, handle);
  std::error_code error = files_.write(file.handle(), text, 0);
  if (!error) error = files_.flush(file.handle());
  const std::error_code closed = file.close();
  if (!error) error = closed;
  // Its name reaches the disk before the first old file is touched.
  if (!error) error = files_.sync_directory(platform::directory_of(journal_));
  if (error) fail("cannot write " + name, nullptr, error);
}

// Each old file keeps a second name until the end: a hard link, or where the file system has
// none, the file itself renamed (the journal then covers the moment its target is missing).
void SeriesWriter::back_up_all() {
  for (Entry& entry : entries_) {
    honour_interrupt();
    if (!entry.existed) continue;
    const std::filesystem::path backup = backup_of(entry);
    std::error_code error = files_.hard_link(entry.target, backup);
    if (error && error != std::errc::file_exists && error != std::errc::no_such_file_or_directory)
      error = files_.replace(entry.target, backup);
    if (error) fail("cannot keep a copy of ", &entry, error);
    entry.backed_up = true;
  }
  sync_directories();
}

void SeriesWriter::place_all() {
  for (Entry& entry : entries_) {
    honour_interrupt();
    if (const std::error_code error = files_.replace(temp_of(entry), entry.target))
      fail("cannot put in place ", &entry, error);
    entry.placed = true;
  }
}

void SeriesWriter::mark_done() {
  const std::string name(kJournal);
  platform::FileHandle handle = platform::kNoFile;
  platform::FileKind kind = platform::FileKind::kRegular;
  if (const std::error_code error = files_.open_existing_or_new(journal_, handle, kind))
    fail("cannot write " + name, nullptr, error);
  platform::File file(files_, handle);
  std::error_code error = files_.write(file.handle(), kDoneLine, journal_size_);
  if (!error) error = files_.flush(file.handle());
  const std::error_code closed = file.close();
  if (!error) error = closed;
  if (error) fail("cannot write " + name, nullptr, error);
}

// The new series is in place: the backups and then the journal go. What cannot go is left to
// the next run, which finds the journal marked done.
void SeriesWriter::clean_up() {
  std::string failed;
  std::error_code error;
  for (const Entry& entry : entries_) {
    if (!entry.existed) continue;
    error = files_.remove(backup_of(entry));
    if (error) {
      failed = "cannot remove the copy of the old " + entry.name;
      break;
    }
  }
  if (!error) {
    // The backups are gone for good before the journal that names them goes.
    try {
      sync_directories();
    } catch (const Failure& failure) {
      failed = failure.what();
    }
  }
  if (failed.empty()) {
    error = files_.remove(journal_);
    if (error) failed = "cannot remove " + std::string(kJournal);
  }
  entries_.clear();
  journal_written_ = false;
  left_ = SeriesLeft::kUntouched;
  const int waiting = interrupts_.stop_deferring();
  if (!failed.empty()) throw Failure(error ? describe(failed, error) : failed);
  if (waiting != 0) throw Failure::interrupted();
}

void SeriesWriter::sync_directories() {
  std::map<std::filesystem::path, std::string> directories;
  for (const Entry& entry : entries_) {
    directories.try_emplace(platform::directory_of(entry.target), directory_name(entry.name));
  }
  std::string failed;
  if (const std::error_code error = sync_each(files_, directories, failed))
    fail("cannot write " + failed, nullptr, error);
}

// Puts back every file replaced so far, removes every temporary, then the journal.
bool SeriesWriter::undo() noexcept {
  bool whole = true;
  (void)close_held();  // nothing of them is kept
  for (auto entry = entries_.rbegin(); entry != entries_.rend(); ++entry) {
    if (entry->backed_up || entry->placed) {
      whole = !put_back(files_, {entry->target, temp_of(*entry), backup_of(*entry)}) && whole;
    } else {
      whole = !files_.remove(temp_of(*entry)) && whole;
    }
  }
  if (journal_written_) {
    if (whole) {
      try {
        sync_directories();
      } catch (const Failure&) {
        whole = false;
      }
    }
    // Without a journal nothing can finish the job later: it stays when something is left.
    if (whole) whole = !files_.remove(journal_);
  }
  return whole;
}

SeriesLeft SeriesWriter::abandon() noexcept {
  if (left_ == SeriesLeft::kAsItWas && !undo()) left_ = SeriesLeft::kHalfDone;
  entries_.clear();
  journal_written_ = false;
  const SeriesLeft left = left_;
  left_ = SeriesLeft::kUntouched;
  stop_deferring();
  return left;
}

void SeriesWriter::stop_deferring() noexcept {
  (void)interrupts_.stop_deferring();
}

JournalState SeriesWriter::inspect(platform::FileSystem& files,
                                   const std::filesystem::path& journal) {
  return read_journal(files, journal).state;
}

void SeriesWriter::recover(platform::FileSystem& files, const std::filesystem::path& base,
                           const std::filesystem::path& journal, JournalState& found) {
  Journal read = read_journal(files, journal);
  found = read.state;
  if (found == JournalState::kNone) return;
  const std::string cannot =
      "cannot put back the series of the run cut off, as " + kJournal + " says";
  std::map<std::filesystem::path, std::string> directories;
  for (JournalEntry& entry : read.entries) {
    for (std::filesystem::path* path : {&entry.target, &entry.temp, &entry.backup}) {
      if (!path->empty() && path->is_relative()) *path = base / *path;
    }
    if (!own_names(entry)) continue;
    if (const std::error_code error = settle(files, entry, found))
      throw Failure(describe(cannot, error));
    directories.try_emplace(platform::directory_of(entry.target),
                            entry.target.parent_path().string());
  }
  std::string failed;
  if (const std::error_code error = sync_each(files, directories, failed))
    throw Failure(describe(cannot + ": cannot write " + failed, error));
  if (const std::error_code error = files.remove(journal))
    throw Failure(describe("cannot remove " + std::string(kJournal), error));
}

}  // namespace quorlant::recordio
