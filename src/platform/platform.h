#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

// The operating system behind one small interface. posix.cpp and windows.cpp implement it; the
// build picks one. Every failure is a std::error_code whose message is the system's own words.
namespace quorlant::platform {

/// An open file: a descriptor on POSIX, a handle on Windows. kNoFile when none.
using FileHandle = std::intptr_t;
inline constexpr FileHandle kNoFile = -1;

/// What a name is. A look-up that does not follow links may find kLink; one that follows them
/// never does. The look-ups of a reader of the tree count a pipe as kOther.
enum class FileKind {
  kMissing,  // nothing by that name, or a part of the way is missing or not a directory
  kRegular,
  kDirectory,
  kLink,
  kFifo,
  kOther,  // a device, a socket
};

struct Entry {
  FileKind kind = FileKind::kMissing;
  std::uint64_t size = 0;   // of a regular file
  bool own = true;          // the running user's (on Windows every file counts as the user's)
};

/// What a text record ends with in the files of this system: "\n", or "\r\n" on Windows.
std::string_view record_end();

/// Which file a name leads to: two names lead to one file when their ids are equal.
struct FileId {
  std::uint64_t device = 0;
  std::uint64_t file = 0;
  bool operator==(const FileId&) const = default;
  auto operator<=>(const FileId&) const = default;
};

/// What a name in a held directory is, a link not followed: all one look tells.
struct FileStatus {
  FileKind kind = FileKind::kMissing;
  unsigned permissions = 0;     // the bits a replacement keeps (POSIX mode bits)
  FileId id;                    // of what is there
  std::uint64_t links = 1;      // names the file has
  bool own = true;              // the running user's (on Windows every file counts as the user's)
  std::error_code write_error;  // a file this process may not write, or a directory: the reason
};

/// Where a name leads from a held directory: the directory that holds its last part, held, and
/// that part's name there, with what it is.
struct Target {
  FileHandle directory = kNoFile;  // the base itself, or a directory the caller now holds
  FileId directory_id;             // of that directory, so that it is held once
  std::string name;
  FileStatus status;
};

/// Room left on a file system: bytes, and files that may still be made (inodes).
struct Room {
  std::uint64_t bytes = 0;
  std::uint64_t files = 0;
};

/// Where resolve met a link of another user's: its path as reports show it, and its owner.
struct Resolution {
  std::filesystem::path link;
  std::string link_owner;  // the user's name, or the number
};

/// Where a link of another user was met: resolve fails with this.
inline std::error_code foreign_link_error() {
  return std::make_error_code(std::errc::permission_denied);
}

/// How a file is opened to read.
enum class Reading {
  // A file of the tree: never through a link in its last part, never waiting on a pipe or a
  // device, and asked on the open file what it is, so nothing swapped in after a look is
  // waited on. The file stays open only when it is regular; a missing one is no error.
  kPlain,
  // A file the user names: any link followed (reading harms nothing it names), of any kind,
  // waited on as standard input is. A missing one fails.
  kNamed,
};

/// A pipe or a socket where a file is to be written: never opened for writing.
std::error_code not_regular_file_error();

/// The file system, behind one interface so that a test can put a fake in its place: the
/// program's code gets it by reference from `main`. Every operation and every question returns
/// the system's error, or none with its answer.
/// A run writes only through directories it holds: the working directory is opened once, and
/// every later look, open, create, rename, link, unlink and sync is made relative to a held
/// directory, so nothing swapped for a link between a look and a use can redirect it. A name
/// is resolved once (resolve): a link, at any step, is followed only when this user made it, and
/// any other link is an error. A reader of the tree asks by path instead (look_up and those
/// after it); each answers or returns the system's reason (permission, an I/O error, a name too
/// long): a failure is never "missing".
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  /// Holds the directory `name` of the held directory `directory` (or, with kNoFile, `name` as
  /// a path from the process's working directory), never through a link in its last part.
  [[nodiscard]] virtual std::error_code open_directory(FileHandle directory,
                                                       const std::filesystem::path& name,
                                                       FileHandle& held) = 0;
  /// Lets go of a directory held.
  virtual void close_directory(FileHandle held) = 0;
  /// Where `name` (relative parts) leads from the held directory `base`, one part at a time:
  /// each link, at any step, is followed only when this user made it, 40 links at most (then
  /// too many links). Another user's link fails with foreign_link_error() and fills
  /// `resolution` (its path shown from `shown_base`). A missing last part is no error: its
  /// status says kMissing; a missing directory on the way is. On Windows a link is followed as
  /// written by the system itself.
  [[nodiscard]] virtual std::error_code resolve(FileHandle base,
                                                const std::filesystem::path& shown_base,
                                                const std::filesystem::path& name,
                                                Target& target, Resolution& resolution) = 0;
  /// What `name` in `directory` is, a link not followed. A missing file is no error.
  [[nodiscard]] virtual std::error_code status_at(FileHandle directory, std::string_view name,
                                                  FileStatus& status) = 0;
  /// Opens `name` in `directory` to read and write, creating it when missing and never emptying
  /// it, never through a link; `kind` says what it is. A FIFO is never written: found without
  /// waiting, it is not_regular_file_error(). When `kind` is kRegular on entry (this run left a
  /// regular file there), it is not asked again.
  [[nodiscard]] virtual std::error_code open_at(FileHandle directory, std::string_view name,
                                                FileHandle& file, FileKind& kind) = 0;
  /// Opens `name` of the held `directory` (or, with kNoFile, `name` as a path from the
  /// process's working directory) to read only, as `reading` says; `entry` says what a plain
  /// open found (kMissing when nothing).
  [[nodiscard]] virtual std::error_code open_to_read(FileHandle directory,
                                                     const std::filesystem::path& name,
                                                     Reading reading, FileHandle& file,
                                                     Entry& entry) = 0;
  /// Creates `name` in `directory`, which must not exist yet (std::errc::file_exists when it
  /// does), to be written and later put in place of a file: with `like`'s permissions when it is
  /// regular.
  [[nodiscard]] virtual std::error_code create_at(FileHandle directory, std::string_view name,
                                                  const FileStatus& like, FileHandle& file) = 0;
  /// Writes every byte at `offset`, or where the file stands when there is no offset.
  [[nodiscard]] virtual std::error_code write(FileHandle file, std::string_view bytes,
                                              std::optional<std::uint64_t> offset) = 0;
  /// Reads up to `buffer.size()` bytes at `offset` (a pipe: where it stands); `got` is 0 at
  /// the end of the file.
  [[nodiscard]] virtual std::error_code read(FileHandle file, std::span<char> buffer,
                                             std::uint64_t offset, std::size_t& got) = 0;
  /// Cuts the file to `length` bytes.
  [[nodiscard]] virtual std::error_code cut(FileHandle file, std::uint64_t length) = 0;
  /// Brings the file's data to the disk, so that a rename after it never outruns it.
  [[nodiscard]] virtual std::error_code flush(FileHandle file) = 0;
  /// Starts writing the file's data to the disk without waiting for it, so that a flush of many
  /// files later waits for little. Where the system has no such call it does nothing.
  [[nodiscard]] virtual std::error_code start_write_back(FileHandle file) = 0;
  /// Closes the file; a failure says its last writes may be lost.
  [[nodiscard]] virtual std::error_code close(FileHandle file) = 0;
  /// Gives the regular file `existing` in `directory` a second name there, `link`, which must
  /// not exist yet (std::errc::file_exists). Fails where the file system has no such names.
  [[nodiscard]] virtual std::error_code link_at(FileHandle directory, std::string_view existing,
                                                std::string_view link) = 0;
  /// Puts `from` in place of `to`, both in `directory`, in one step, replacing `to` when it
  /// exists.
  [[nodiscard]] virtual std::error_code rename_at(FileHandle directory, std::string_view from,
                                                  std::string_view to) = 0;
  /// Removes `name` from `directory`. A file that is already gone is no failure.
  [[nodiscard]] virtual std::error_code remove_at(FileHandle directory, std::string_view name) = 0;
  /// Brings the names the held directory holds (the renames in it) to the disk.
  [[nodiscard]] virtual std::error_code sync_directory(FileHandle directory) = 0;
  /// The names in the held directory, in no particular order.
  [[nodiscard]] virtual std::error_code names_at(FileHandle directory,
                                                 std::vector<std::string>& names) = 0;
  /// Whether a new file can be made in the held directory: the error its create would give.
  [[nodiscard]] virtual std::error_code may_add(FileHandle directory) = 0;
  /// The room this process may still use on the file system that holds `directory`.
  [[nodiscard]] virtual std::error_code free_space(FileHandle directory, Room& room) = 0;
  /// Takes this run's exclusive lock on the held directory: held while `lock` is open, released
  /// by close() or by the end of the process, however it ends. On POSIX the lock is on the
  /// directory itself, so there is no file to plant, link or leave behind; on Windows it is a
  /// lock file in it that the system removes as it is closed. When another run holds it, fails
  /// with std::errc::resource_unavailable_try_again and `holder` gets that run's process number
  /// where the system can tell, else nothing.
  [[nodiscard]] virtual std::error_code lock_directory(FileHandle directory, FileHandle& lock,
                                                       std::string& holder) = 0;
  /// Whether a run holds the lock on the held directory now, without taking it; `holder` as
  /// lock_directory says.
  [[nodiscard]] virtual std::error_code lock_held(FileHandle directory, bool& held,
                                                  std::string& holder) = 0;
  /// Whether process `id` still runs.
  [[nodiscard]] virtual std::error_code process_runs(unsigned long id, bool& runs) = 0;
  /// What `path` is; with `follow`, what a link leads to.
  [[nodiscard]] virtual std::error_code look_up(const std::filesystem::path& path, bool follow,
                                                Entry& entry) const = 0;
  /// Where the link `path` points: as written in it, relative to the link's directory or
  /// absolute (on Windows the absolute path it ends at).
  [[nodiscard]] virtual std::error_code link_target(const std::filesystem::path& path,
                                                    std::filesystem::path& target) const = 0;
  /// The absolute path `path` leads to, every link followed.
  [[nodiscard]] virtual std::error_code real_path(const std::filesystem::path& path,
                                                  std::filesystem::path& real) const = 0;
  /// The names in the directory `path`, in no particular order.
  [[nodiscard]] virtual std::error_code names_in(const std::filesystem::path& path,
                                                 std::vector<std::string>& names) const = 0;
};

/// The file system of this computer: the one `main` hands down. A test may answer some of its
/// questions itself.
class SystemFileSystem : public FileSystem {
 public:
  std::error_code open_directory(FileHandle directory, const std::filesystem::path& name,
                                 FileHandle& held) override;
  void close_directory(FileHandle held) override;
  std::error_code status_at(FileHandle directory, std::string_view name,
                            FileStatus& status) override;
  std::error_code open_at(FileHandle directory, std::string_view name, FileHandle& file,
                          FileKind& kind) override;
  std::error_code open_to_read(FileHandle directory, const std::filesystem::path& name,
                               Reading reading, FileHandle& file, Entry& entry) override;
  std::error_code create_at(FileHandle directory, std::string_view name, const FileStatus& like,
                            FileHandle& file) override;
  std::error_code write(FileHandle file, std::string_view bytes,
                        std::optional<std::uint64_t> offset) override;
  std::error_code read(FileHandle file, std::span<char> buffer, std::uint64_t offset,
                       std::size_t& got) override;
  std::error_code cut(FileHandle file, std::uint64_t length) override;
  std::error_code flush(FileHandle file) override;
  std::error_code start_write_back(FileHandle file) override;
  std::error_code close(FileHandle file) override;
  std::error_code link_at(FileHandle directory, std::string_view existing,
                          std::string_view link) override;
  std::error_code rename_at(FileHandle directory, std::string_view from,
                            std::string_view to) override;
  std::error_code remove_at(FileHandle directory, std::string_view name) override;
  std::error_code sync_directory(FileHandle directory) override;
  std::error_code names_at(FileHandle directory, std::vector<std::string>& names) override;
  std::error_code process_runs(unsigned long id, bool& runs) override;
  // In guard_posix.cpp and guard_windows.cpp.
  std::error_code may_add(FileHandle directory) override;
  std::error_code free_space(FileHandle directory, Room& room) override;
  std::error_code lock_directory(FileHandle directory, FileHandle& lock,
                                 std::string& holder) override;
  std::error_code lock_held(FileHandle directory, bool& held, std::string& holder) override;
  // In look_up_posix.cpp and look_up_windows.cpp.
  std::error_code resolve(FileHandle base, const std::filesystem::path& shown_base,
                          const std::filesystem::path& name, Target& target,
                          Resolution& resolution) override;
  std::error_code look_up(const std::filesystem::path& path, bool follow,
                          Entry& entry) const override;
  std::error_code link_target(const std::filesystem::path& path,
                              std::filesystem::path& target) const override;
  std::error_code real_path(const std::filesystem::path& path,
                            std::filesystem::path& real) const override;
  std::error_code names_in(const std::filesystem::path& path,
                           std::vector<std::string>& names) const override;

 private:
  std::optional<unsigned> new_file_mode_;  // what a file created now gets, once known
  bool new_file_mode_asked_ = false;
};

/// An open file of a FileSystem, closed when it goes out of scope (a failure to close is then
/// lost: close() first when it matters). Move-only.
class File {
 public:
  File() = default;
  File(FileSystem& files, FileHandle handle) : files_(&files), handle_(handle) {}
  File(File&& other) noexcept : files_(other.files_), handle_(other.release()) {}
  File& operator=(File&& other) noexcept {
    if (this != &other) {
      reset();
      files_ = other.files_;
      handle_ = other.release();
    }
    return *this;
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File() { reset(); }

  bool is_open() const { return handle_ != kNoFile; }
  FileHandle handle() const { return handle_; }
  /// Closes the file now, with the system's answer.
  [[nodiscard]] std::error_code close() {
    return is_open() ? files_->close(release()) : std::error_code();
  }

 private:
  FileHandle release() { return std::exchange(handle_, kNoFile); }
  void reset() {
    if (is_open()) (void)files_->close(release());
  }
  FileSystem* files_ = nullptr;
  FileHandle handle_ = kNoFile;
};

/// Opens the directory `name` of `directory` (a descriptor, or AT_FDCWD) to hold it, never
/// through a link in its last part: -1 with errno when it cannot. POSIX only.
int open_held_directory(int directory, const char* name);

/// This process's number, for temporary names of its own.
unsigned long process_id();

/// The system's error number `code` (errno, or GetLastError on Windows) as an error code.
std::error_code system_error(int code);

/// "reason": the system's words for an error, without a trailing period or line end.
std::string message_of(std::error_code error);

/// The system's reason for a failed call as a failure above this interface keeps it: its words,
/// its number for the reports that print one, and the one question asked of it. False when the
/// call succeeded.
class SystemError {
 public:
  SystemError() = default;
  // Every call here returns a std::error_code; a failure takes it as it is.
  SystemError(std::error_code error) : error_(error) {}  // NOLINT(google-explicit-constructor)
  explicit operator bool() const { return static_cast<bool>(error_); }
  bool operator==(const SystemError&) const = default;
  /// Whether the system's reason is `condition`, on either system.
  bool is(std::errc condition) const { return error_ == condition; }
  int number() const { return error_.value(); }
  std::string words() const { return message_of(error_); }

 private:
  std::error_code error_;
};

/// Forgets the system's last error, so that reader_gone() speaks of the writes that follow.
void forget_last_error();
/// Whether a write since forget_last_error() failed on a pipe that no one reads any more.
bool reader_gone();

/// How an interrupt reaches a run: at once (the process ends by it), or, while the run puts a
/// series in place, deferred until the run has put back what it changed. Atomic, so that a
/// signal handler or the console handler's thread may ask it while the run works.
class InterruptDeferral {
 public:
  /// From now on an interrupt does not end the run at once: it waits, and the run ends by it at
  /// its next step, once it has put back what it changed.
  void defer_interrupts() noexcept { interrupt_.store(kDeferring); }
  /// Interrupts end the run at once again; returns the one that waited meanwhile, or 0.
  int stop_deferring() noexcept {
    const int waiting = interrupt_.exchange(kAtOnce);
    return waiting > 0 ? waiting : 0;
  }
  /// The interrupt waiting for the run, or 0.
  int interrupt_waiting() const noexcept {
    const int waiting = interrupt_.load();
    return waiting > 0 ? waiting : 0;
  }
  /// Called by the interrupt hook (or a test) for interrupt `which` (> 0): true when the run
  /// defers interrupts and will end by this one itself.
  bool wait_for_run(int which) noexcept {
    int expected = kDeferring;
    return interrupt_.compare_exchange_strong(expected, which) || expected > 0;
  }

 private:
  // kAtOnce, kDeferring, or the interrupt that waits for the run.
  static constexpr int kAtOnce = 0;
  static constexpr int kDeferring = -1;
  std::atomic<int> interrupt_{kAtOnce};
};

/// Routes interrupts to `run` while it lives, then back to what they went to before.
class InterruptScope {
 public:
  explicit InterruptScope(InterruptDeferral& run);
  InterruptScope(const InterruptScope&) = delete;
  InterruptScope& operator=(const InterruptScope&) = delete;
  ~InterruptScope();

 private:
  InterruptDeferral* previous_;
};

/// The run of the current InterruptScope, or nullptr.
InterruptDeferral* current_run() noexcept;

/// Installs the interrupt hook: Ctrl C, Ctrl Break (and on POSIX SIGINT, SIGTERM, SIGHUP) end
/// the process with the system's own status for that interrupt, or wait for the run of the
/// current InterruptScope while it defers them. A signal the process was started ignoring (nohup)
/// stays ignored; a file-size limit (SIGXFSZ) becomes a failed write. Fails when the system
/// refuses a handler.
[[nodiscard]] std::error_code install_interrupt_hook();

/// When an interrupt waited for a run to put back its series, ends the process by it now, as
/// the hook would have at once; otherwise returns.
void end_if_interrupted();

/// Gives a standard stream the process was started without the null device, so no file the
/// run opens takes its place, and makes a write to a closed pipe a failed write. `output_closed`
/// says whether standard output was among them. Fails when any of this cannot be done.
[[nodiscard]] std::error_code prepare_standard_streams(bool& output_closed);

/// Whether the answers come from a terminal (a console on Windows) rather than a file or pipe.
bool standard_input_is_terminal();

}  // namespace quorlant::platform
