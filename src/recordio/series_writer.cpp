#include "recordio/series_writer.h"

#include <cstdint>
#include <cstdio>
#include <set>

#include "recordio/failure.h"

namespace quorlant::recordio {

namespace {

using platform::FileKind;

// The journal is plain text: a header line, one line a target ("name TAB temporary TAB
// backup": the target's bare name in the event folder, and the bare names of the files beside
// it, the backup empty for a target that did not exist), a line with the checksum of all that
// precedes it, and "done" once every replacement is made. It is written whole under a name of
// its own and then renamed, so a journal whose checksum fails was changed by someone else.
constexpr std::string_view kHeader = "quorlant series journal 2\n";
constexpr std::string_view kSumPrefix = "sum ";
constexpr std::string_view kDoneLine = "done\n";
// A journal longer than this was not written by this program: no series needs more.
constexpr std::size_t kMaxJournal = 16U << 20;

std::string sum_line(std::string_view bytes) {
  std::uint64_t sum = 14695981039346656037ULL;  // 64-bit FNV-1a
  for (const char c : bytes) {
    sum = (sum ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%016llx\n", static_cast<unsigned long long>(sum));
  return std::string(kSumPrefix) + text;
}

// A name as journal text: '%' and control characters as %XX, so that a tab or a line end in a
// file's name cannot break the line.
std::string escaped(std::string_view name) {
  std::string text;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == '%') {
      char code[4];
      std::snprintf(code, sizeof code, "%%%02X", byte);
      text += code;
    } else {
      text += c;
    }
  }
  return text;
}

// The value of the hex digit `c` as the journal writes it, or -1.
int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

std::optional<std::string> unescaped(std::string_view text) {
  std::string bytes;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      bytes += text[i];
      continue;
    }
    const int high = i + 1 < text.size() ? hex_digit(text[i + 1]) : -1;
    const int low = i + 2 < text.size() ? hex_digit(text[i + 2]) : -1;
    if (high < 0 || low < 0) return std::nullopt;
    bytes += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return bytes;
}

// One entry: the target's bare name in the event folder, and this program's own names beside
// the file it leads to.
struct JournalEntry {
  std::string name;
  OwnFileName temp;
  std::optional<OwnFileName> backup;
};

struct Journal {
  JournalState state = JournalState::kNone;
  std::vector<JournalEntry> entries;
};

// A journal that is not this user's own as this program writes it: nothing of it is acted on.
[[noreturn]] void distrust(std::string_view why) {
  throw Failure(SeriesWriter::kJournal + " is not a journal quorlant can trust (" +
                std::string(why) +
                "): nothing was changed; look at it, and remove it yourself when no run of "
                "quorlant was cut off in " +
                in_event_folder(""));
}

// A bare name: no separator of any system, not "." or "..".
bool bare(std::string_view name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of("/\\") == std::string_view::npos;
}

std::optional<JournalEntry> parse_entry(std::string_view line, const SeriesNames& names) {
  const std::size_t first = line.find('\t');
  const std::size_t second = first == std::string_view::npos ? first : line.find('\t', first + 1);
  if (second == std::string_view::npos) return std::nullopt;
  const auto name = unescaped(line.substr(0, first));
  const auto temp = unescaped(line.substr(first + 1, second - first - 1));
  const auto backup = unescaped(line.substr(second + 1));
  if (!name || !temp || !backup || !names.holds(*name) || !bare(*temp)) return std::nullopt;
  JournalEntry entry{*name, {}, std::nullopt};
  const auto own_temp = OwnFileName::parse(*temp);
  if (!own_temp || own_temp->kind != OwnFileName::kTemporary) return std::nullopt;
  entry.temp = *own_temp;
  if (backup->empty()) return entry;
  const auto own_backup = bare(*backup) ? OwnFileName::parse(*backup) : std::nullopt;
  // The copy of the same target, made by the same run under the same number.
  if (!own_backup || own_backup->kind != OwnFileName::kBackup ||
      own_backup->target != own_temp->target || own_backup->process != own_temp->process ||
      own_backup->number != own_temp->number)
    return std::nullopt;
  entry.backup = *own_backup;
  return entry;
}

// What a journal says from its sum line on (`at`, the line's start): the sum must be that of
// all before it, and only the done mark, or a part of it a power cut left, may follow.
JournalState state_from_sum(std::string_view text, std::size_t at, std::size_t end) {
  if (sum_line(text.substr(0, at)) != text.substr(at, end + 1 - at))
    distrust("its check sum fails: it was changed after quorlant wrote it");
  const std::string_view rest = text.substr(end + 1);
  if (!kDoneLine.starts_with(rest))
    distrust("its check sum is followed by more than the done mark");
  // A done mark cut short was never made.
  return rest == kDoneLine ? JournalState::kDone : JournalState::kBegun;
}

Journal parse_journal(std::string_view text, const SeriesNames& names) {
  if (!text.starts_with(kHeader)) distrust("it does not begin as this version's journals do");
  Journal journal;
  std::set<std::string> seen;
  for (std::size_t begin = kHeader.size();;) {
    const std::size_t end = text.find('\n', begin);
    if (end == std::string_view::npos) distrust("it has no check sum");
    const std::string_view line = text.substr(begin, end - begin);
    if (line.starts_with(kSumPrefix)) {
      journal.state = state_from_sum(text, begin, end);
      return journal;
    }
    const auto entry = parse_entry(line, names);
    if (!entry || !seen.insert(entry->name).second)
      distrust("line " + std::to_string(journal.entries.size() + 2) +
               " names no file of a series of its own");
    journal.entries.push_back(*entry);
    begin = end + 1;
  }
}

// The journal in `folder`, or state kNone when there is none. It is opened without following a
// link or waiting on a pipe, and trusted only as a regular file of this user's within the bound
// of a journal. Throws Failure.
Journal read_journal(platform::FileSystem& files, platform::FileHandle folder,
                     const SeriesNames& names) {
  if (folder == platform::kNoFile) return {};  // no event directory holds no journal
  platform::FileHandle handle = platform::kNoFile;
  platform::Entry entry;
  const std::string cannot = "cannot read " + SeriesWriter::kJournal;
  const std::error_code error = files.open_to_read(folder, SeriesWriter::kJournalFile,
                                                   platform::Reading::kPlain, handle, entry);
  if (error == std::errc::too_many_symbolic_link_levels) distrust("it is a link");
  fail_if(error, cannot);
  if (entry.kind == FileKind::kMissing) return {};
  if (entry.kind == FileKind::kLink) distrust("it is a link");
  if (entry.kind != FileKind::kRegular) distrust("it is not a regular file");
  const platform::File file(files, handle);  // read only: nothing of it can be lost at close
  if (!entry.own) distrust("it is another user's file");
  std::string text;
  char buffer[8192];
  for (std::size_t got = 1; got > 0;) {
    if (entry.size > kMaxJournal || text.size() > kMaxJournal)
      distrust("it is larger than any journal quorlant writes");
    fail_if(files.read(file.handle(), buffer, text.size(), got), cannot);
    text.append(buffer, got);
  }
  return parse_journal(text, names);
}

// The bare name of a composed name in the event folder: "20150101.evt" for "event\20150101.evt".
std::string_view bare_name(std::string_view name) {
  const std::size_t separator = name.rfind('\\');
  return separator == std::string_view::npos ? name : name.substr(separator + 1);
}

// The directory part of a composed name, for reports: "event" for "event\x.evt".
std::string directory_name(std::string_view name) {
  const std::size_t separator = name.rfind('\\');
  return separator == std::string_view::npos ? "." : std::string(name.substr(0, separator));
}

// Syncs each held directory once, every one whatever fails: the first failure, as
// "WHAT DIRECTORY: reason", or "" when none failed.
std::string sync_each(platform::FileSystem& files,
                      const std::map<platform::FileHandle, std::string>& directories,
                      std::string_view what) {
  std::string first;
  for (const auto& [directory, name] : directories) {
    const std::error_code error = files.sync_directory(directory);
    if (error && first.empty()) first = describe_error(std::string(what) + name, error);
  }
  return first;
}

bool all_digits(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// Puts the old file of one entry back from its backup (when it has one and it is there), or
// removes the new file of a target that did not exist; then its temporary goes.
std::error_code put_back(platform::FileSystem& files, const EntryFiles& entry) {
  std::error_code error;
  if (entry.backup.empty()) {
    error = files.remove_at(entry.directory, entry.target);
  } else {
    platform::FileStatus backup;
    error = files.status_at(entry.directory, entry.backup, backup);
    const bool kept = !error && backup.kind != FileKind::kMissing;
    if (kept) error = files.rename_at(entry.directory, entry.backup, entry.target);
    // A backup that is a second name of the target itself renames to nothing: it is removed.
    if (kept && !error) error = files.remove_at(entry.directory, entry.backup);
  }
  return error ? error : files.remove_at(entry.directory, entry.temp);
}

// Settles one entry of a journal `found` so: the old file put back (a series begun), or what is
// left beside the target removed (all of it done: the backup).
std::error_code settle(platform::FileSystem& files, const EntryFiles& entry, JournalState found) {
  if (found == JournalState::kBegun) return put_back(files, entry);
  const std::error_code error = files.remove_at(entry.directory, entry.temp);
  return error || entry.backup.empty() ? error : files.remove_at(entry.directory, entry.backup);
}

// Where the files of a journal's entry are, the target found by `find`; each must be missing or
// a regular file of this user's, beside the target its names were made for. Throws Failure.
EntryFiles place_entry(platform::FileSystem& files, const JournalEntry& entry,
                       const FindTarget& find) {
  const platform::Target target = find(entry.name);
  if (entry.temp.target != target.name)
    distrust("it names files beside " + entry.temp.target + ", and " + in_event_folder(entry.name) +
             " leads to " + target.name);
  EntryFiles placed{target.directory, target.name, entry.temp.str(),
                    entry.backup ? entry.backup->str() : std::string()};
  for (const std::string* file : {&placed.temp, &placed.backup}) {
    platform::FileStatus found;
    if (file->empty()) continue;
    fail_if(files.status_at(placed.directory, *file, found), "cannot examine " + *file);
    if (found.kind != FileKind::kMissing && (found.kind != FileKind::kRegular || !found.own))
      distrust(*file + " beside " + in_event_folder(entry.name) + " is not a file quorlant made");
  }
  return placed;
}

}  // namespace

bool SeriesNames::holds(std::string_view file) const {
  if (file == list) return true;
  return file.size() == 8 + event_ending.size() && all_digits(file.substr(0, 8)) &&
         file.substr(8) == event_ending;
}

std::string by_process(std::string_view holder) {
  const std::string_view number = holder.substr(0, holder.find_first_not_of("0123456789"));
  return number.empty() ? std::string() : " (process " + std::string(number) + ")";
}

std::string interrupted_run_report(JournalState state, bool settled) {
  std::string report = in_event_folder("") +
                       " holds the journal of a run cut off while it put its series in place: ";
  switch (state) {
    case JournalState::kNone: break;
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
                           unsigned long process_id)
    : files_(files), interrupts_(interrupts), process_id_(process_id) {}

SeriesWriter::~SeriesWriter() {
  (void)abandon();
}

std::string OwnFileName::str() const {
  return "." + target + "." + std::string(kind) + std::to_string(process) + "." +
         std::to_string(number);
}

std::optional<OwnFileName> OwnFileName::parse(std::string_view name) {
  // A name that begins with a dot has both dots looked for from its end: at worst the first.
  const std::size_t number_dot = name.rfind('.');
  if (!name.starts_with('.') || number_dot == 0) return std::nullopt;
  const std::size_t kind_dot = name.rfind('.', number_dot - 1);
  if (kind_dot == 0) return std::nullopt;
  OwnFileName own;
  for (const std::string_view kind : {kTemporary, kBackup}) {
    if (name.substr(kind_dot + 1, 3) == kind) own.kind = kind;
  }
  if (own.kind.empty()) return std::nullopt;
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

// A new file of this run's own beside `target`: a name left by a killed run is passed over; when
// no handle is left, those of the staged files are closed (they are flushed by name later) and
// the file is made again. Throws Failure `cannot`.
platform::FileHandle SeriesWriter::create_beside(platform::FileHandle directory,
                                                 std::string_view target,
                                                 const platform::FileStatus& like,
                                                 unsigned long& number, std::string_view cannot) {
  std::error_code error;
  for (int attempt = 0; attempt < 100; ++attempt) {
    platform::FileHandle handle = platform::kNoFile;
    number = counter_++;
    error = files_.create_at(directory, beside(target, OwnFileName::kTemporary, number), like,
                             handle);
    if (!error) return handle;
    const bool no_handle = error == std::errc::too_many_files_open ||
                           error == std::errc::too_many_files_open_in_system;
    if (no_handle) {
      close_held(cannot);
    } else if (error != std::errc::file_exists) {
      break;
    }
  }
  throw Failure(cannot, error);
}

// The staged temporaries are closed, to be flushed by name later. Throws Failure `cannot` with
// the first failure.
void SeriesWriter::close_held(std::string_view cannot) {
  std::error_code first;
  for (Entry& held : entries_) {
    const std::error_code error = held.file.close();
    if (!first) first = error;
  }
  fail_if(first, cannot);
}

std::size_t SeriesWriter::begin(platform::FileHandle directory, std::string target,
                                std::string name, const platform::FileStatus& like,
                                platform::File& file) {
  if (left_ == SeriesLeft::kUntouched) interrupts_.defer_interrupts();
  honour_interrupt();
  unsigned long number = 0;
  file = platform::File(files_, create_beside(directory, target, like, number, "cannot open " + name));
  left_ = SeriesLeft::kAsItWas;
  Entry& added = entries_.emplace_back();
  added.directory = directory;
  added.temp = beside(target, OwnFileName::kTemporary, number);
  if (like.kind != FileKind::kMissing) added.backup = beside(target, OwnFileName::kBackup, number);
  added.target = std::move(target);
  added.name = std::move(name);
  return entries_.size() - 1;
}

void SeriesWriter::complete(std::size_t entry, platform::File& file) {
  const std::error_code error = files_.start_write_back(file.handle());
  entries_[entry].file = std::move(file);
  fail_if(error, "cannot write " + entries_[entry].name);
}

void SeriesWriter::drop(std::size_t entry, platform::File& file) {
  // The file goes: what it held no longer matters.
  (void)file.close();
  (void)entries_[entry].file.close();
  (void)files_.remove_at(entries_[entry].directory, entries_[entry].temp);
}

void SeriesWriter::honour_interrupt() const {
  if (interrupts_.interrupt_waiting() != 0) throw Failure::interrupted();
}

std::string SeriesWriter::commit() {
  if (entries_.empty()) return {};
  flush_all();
  write_journal();
  back_up_all();
  place_all();
  sync_directories();
  honour_interrupt();  // the last moment the old series can come back
  mark_done();
  return clean_up();
}

void SeriesWriter::end_commit() {
  if (interrupts_.stop_deferring() != 0) throw Failure::interrupted();
}

// Every temporary reaches the disk before the journal names it: most of them are written back
// already, so this mostly waits for nothing. One closed for want of handles is opened again.
void SeriesWriter::flush_all() {
  for (Entry& entry : entries_) {
    honour_interrupt();
    const std::string cannot = "cannot write " + entry.name;
    if (!entry.file.is_open()) {
      platform::FileHandle handle = platform::kNoFile;
      FileKind kind = FileKind::kRegular;  // this run's own file
      fail_if(files_.open_at(entry.directory, entry.temp, handle, kind), cannot);
      entry.file = platform::File(files_, handle);
    }
    const std::error_code error = files_.flush(entry.file.handle());
    const std::error_code closed = entry.file.close();
    fail_if(error ? error : closed, cannot);
  }
}

// The journal is written whole under a name of this run's own, brought to the disk and then
// renamed: a journal is either whole or not there. Its handle is kept for the done mark.
void SeriesWriter::write_journal() {
  std::string text(kHeader);
  for (const Entry& entry : entries_) {
    text += escaped(bare_name(entry.name)) + '\t' + escaped(entry.temp) + '\t' +
            escaped(entry.backup) + '\n';
  }
  text += sum_line(text);
  journal_size_ = text.size();
  const std::string cannot = "cannot write " + kJournal;
  if (text.size() + kDoneLine.size() > kMaxJournal)
    throw Failure(cannot + ": the series is too long for one journal");
  unsigned long number = 0;
  journal_file_ = platform::File(files_, create_beside(folder_, kJournalFile, {}, number, cannot));
  const std::string staged = beside(kJournalFile, OwnFileName::kTemporary, number);
  std::error_code error = files_.write(journal_file_.handle(), text, 0);
  if (!error) error = files_.flush(journal_file_.handle());
  if (!error) error = files_.rename_at(folder_, staged, kJournalFile);
  if (error) {
    (void)journal_file_.close();  // the report is `error`
    (void)files_.remove_at(folder_, staged);
    throw Failure(cannot, error);
  }
  journal_written_ = true;
  // Its name reaches the disk before the first old file is touched.
  fail_if(files_.sync_directory(folder_), cannot);
}

// Each old file keeps a second name until the end: a hard link, or where the file system has
// none, the file itself renamed (the journal then covers the moment its target is missing).
void SeriesWriter::back_up_all() {
  for (Entry& entry : entries_) {
    honour_interrupt();
    if (entry.backup.empty()) continue;
    std::error_code error = files_.link_at(entry.directory, entry.target, entry.backup);
    if (error && error != std::errc::file_exists && error != std::errc::no_such_file_or_directory)
      error = files_.rename_at(entry.directory, entry.target, entry.backup);
    fail_if(error, "cannot keep a copy of " + entry.name);
    entry.touched = true;
  }
  sync_directories();
}

void SeriesWriter::place_all() {
  for (Entry& entry : entries_) {
    honour_interrupt();
    fail_if(files_.rename_at(entry.directory, entry.temp, entry.target),
            "cannot put in place " + entry.name);
    entry.touched = true;
  }
}

// The commit point: once "done" is on the disk, the new series is the series.
void SeriesWriter::mark_done() {
  std::error_code error = files_.write(journal_file_.handle(), kDoneLine, journal_size_);
  if (!error) error = files_.flush(journal_file_.handle());
  fail_if(error, "cannot write " + kJournal);
  (void)journal_file_.close();  // flushed: a failure to close loses nothing of it
}

// The new series is in place: the backups and then the journal go. What cannot go is left to
// the next run, which finds the journal marked done; the run has succeeded all the same.
std::string SeriesWriter::clean_up() {
  std::string failed = remove_leftovers();
  forget();
  if (failed.empty()) return failed;
  return failed + "; the new series is in place, and the next run of quorlant removes what is left";
}

// The first of the backups and the journal that cannot go, described; "" when all went.
std::string SeriesWriter::remove_leftovers() {
  for (const Entry& entry : entries_) {
    if (entry.backup.empty()) continue;
    if (const std::error_code error = files_.remove_at(entry.directory, entry.backup))
      return describe_error("cannot remove the copy of the old " + entry.name, error);
  }
  // The backups are gone for good before the journal that names them goes.
  if (std::string failed = unsynced_directories(); !failed.empty()) return failed;
  if (const std::error_code error = files_.remove_at(folder_, kJournalFile))
    return describe_error("cannot remove " + kJournal, error);
  return {};
}

void SeriesWriter::forget() noexcept {
  entries_.clear();
  journal_written_ = false;
  (void)journal_file_.close();
  left_ = SeriesLeft::kUntouched;
}

std::string SeriesWriter::unsynced_directories() {
  std::map<platform::FileHandle, std::string> directories;
  for (const Entry& entry : entries_) {
    directories.try_emplace(entry.directory, directory_name(entry.name));
  }
  return sync_each(files_, directories, "cannot write ");
}

void SeriesWriter::sync_directories() {
  if (const std::string failed = unsynced_directories(); !failed.empty()) throw Failure(failed);
}

// Puts back every file replaced so far, removes every temporary, then the journal; false when
// something is left.
bool SeriesWriter::undo() noexcept {
  for (Entry& entry : entries_) (void)entry.file.close();  // nothing of them is kept
  (void)journal_file_.close();                             // nor of the journal
  bool whole = true;
  // Every entry is tried, whatever became of those before it.
  for (auto entry = entries_.rbegin(); entry != entries_.rend(); ++entry) {
    const std::error_code error =
        entry->touched ? put_back(files_, *entry) : files_.remove_at(entry->directory, entry->temp);
    whole = whole && !error;
  }
  if (journal_written_ && whole) {
    // Without a journal nothing can finish the job later: it stays when something is left.
    whole = unsynced_directories().empty() && !files_.remove_at(folder_, kJournalFile);
  }
  return whole;
}

SeriesLeft SeriesWriter::abandon() noexcept {
  if (left_ == SeriesLeft::kAsItWas && !undo()) left_ = SeriesLeft::kHalfDone;
  const SeriesLeft left = left_;
  forget();
  (void)interrupts_.stop_deferring();
  return left;
}

JournalState SeriesWriter::inspect(platform::FileSystem& files, platform::FileHandle folder,
                                   const SeriesNames& names, const FindTarget& find) {
  if (folder == platform::kNoFile) return JournalState::kNone;  // no folder holds no journal
  bool held = false;
  std::string holder;
  fail_if(files.lock_held(folder, held, holder),
          "cannot tell whether a run of quorlant is writing in " + in_event_folder(""));
  const Journal journal = read_journal(files, folder, names);
  if (held && journal.state != JournalState::kNone) {
    throw Failure("a run of quorlant" + by_process(holder) + " is putting its series in place in " +
                  in_event_folder("") + " now: look again once it has ended");
  }
  for (const JournalEntry& entry : journal.entries) (void)place_entry(files, entry, find);
  return journal.state;
}

void SeriesWriter::recover(platform::FileSystem& files, platform::FileHandle folder,
                           const SeriesNames& names, const FindTarget& find, JournalState& found) {
  const Journal read = read_journal(files, folder, names);
  found = read.state;
  if (found == JournalState::kNone) return;
  // Every entry is found and judged before anything is changed.
  std::vector<EntryFiles> entries;
  for (const JournalEntry& entry : read.entries) entries.push_back(place_entry(files, entry, find));
  const std::string cannot =
      "cannot put back the series of the run cut off, as " + kJournal + " says";
  std::map<platform::FileHandle, std::string> directories;
  for (const EntryFiles& entry : entries) {
    fail_if(settle(files, entry, found), cannot);
    directories.try_emplace(entry.directory, std::string(kEventFolder));
  }
  if (const std::string failed = sync_each(files, directories, cannot + ": cannot write ");
      !failed.empty())
    throw Failure(failed);
  fail_if(files.remove_at(folder, kJournalFile), "cannot remove " + kJournal);
}

}  // namespace quorlant::recordio
