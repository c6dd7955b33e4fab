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

#include "platform/look_up.h"

// The operating system behind one small interface. posix.cpp and windows.cpp implement it; the
// build picks one. Every failure is a std::error_code whose message is the system's own words.
namespace quorlant::platform {

/// An open file: a descriptor on POSIX, a handle on Windows. kNoFile when none.
using FileHandle = std::intptr_t;
inline constexpr FileHandle kNoFile = -1;

/// What a text record ends with in the files of this system: "\n", or "\r\n" on Windows.
std::string_view record_end();

/// The directory that holds `path`: its parent, or "." for a bare name.
inline std::filesystem::path directory_of(const std::filesystem::path& path) {
  const std::filesystem::path parent = path.parent_path();
  return parent.empty() ? "." : parent;
}

/// A file as found before it is opened or replaced.
struct FileStatus {
  FileKind kind = FileKind::kMissing;
  unsigned permissions = 0;      // the bits a replacement keeps (POSIX mode bits)
  std::error_code write_error;   // a regular file this process may not write: the reason
  std::filesystem::path target;  // the file a followed link names; empty when no link
};

/// Which file a name leads to: two names lead to one file when their ids are equal.
struct FileId {
  std::uint64_t device = 0;
  std::uint64_t file = 0;
  bool operator==(const FileId&) const = default;
  auto operator<=>(const FileId&) const = default;
};

/// Room left on a file system: bytes, and files that may still be made (inodes).
struct Room {
  std::uint64_t bytes = 0;
  std::uint64_t files = 0;
};

/// Where a name below the working directory leads, as resolve finds it.
struct Resolution {
  std::filesystem::path path;  // the base and the parts that lead there, no link among them
  std::filesystem::path link;  // a link not followed, when another user made it: where it is
  std::string link_owner;      // that link's owner: the user's name, or the number
};

/// Where a link of another user was met: resolve fails with this.
inline std::error_code foreign_link_error() {
  return std::make_error_code(std::errc::permission_denied);
}

/// A pipe or a socket where a file is to be written: never opened for writing.
std::error_code not_regular_file_error();

class RunLock;

/// How a file is to be written, for may_write.
enum class WriteWay {
  kInPlace,   // opened where it is, created when missing
  kReplaced,  // a new file made beside it and renamed over it
};

/// The file system, behind one interface so that a test can put a fake in its place: the
/// program's code gets it by reference from `main` and never reaches the system otherwise.
/// Every operation and every question returns the system's error, or none with its answer.
/// A path the run writes is first resolved (resolve): a link, at any step, is followed only when
/// this user made it, and any other link is an error, so a link planted in a shared directory
/// never leads a write outside it. Questions and reads (kind_of, open_to_read) follow any link:
/// they change nothing. The look-ups of a reader of the tree come with it (look_up.h).
class FileSystem : public LookUps {
 public:
  virtual ~FileSystem() = default;

  /// The kind and permissions of what `path` names (a link followed as above), and for a
  /// regular file whether this process may write it. A missing file is no error.
  [[nodiscard]] virtual std::error_code status_of(const std::filesystem::path& path,
                                                  FileStatus& status) = 0;
  /// The kind of what `path` names, any link followed: for "does it exist", "is it a directory".
  [[nodiscard]] virtual std::error_code kind_of(const std::filesystem::path& path,
                                                FileKind& kind) = 0;
  /// Opens `path` to read and write, creating it when missing and never emptying it; `kind` says
  /// what it is. A FIFO is never written: found without waiting, it is not_regular_file_error().
  /// When `kind` is kRegular on entry (this run left a regular file there), it is not asked again.
  [[nodiscard]] virtual std::error_code open_existing_or_new(const std::filesystem::path& path,
                                                             FileHandle& file, FileKind& kind) = 0;
  /// Opens `path` to read only, any link followed (reading harms nothing it names): a file that
  /// is missing or may not be read fails here.
  [[nodiscard]] virtual std::error_code open_to_read(const std::filesystem::path& path,
                                                     FileHandle& file) = 0;
  /// Creates `path`, which must not exist yet (std::errc::file_exists when it does), to be
  /// written and later put in place of a file: with `like`'s permissions when it is regular.
  [[nodiscard]] virtual std::error_code create_exclusive(const std::filesystem::path& path,
                                                         const FileStatus& like,
                                                         FileHandle& file) = 0;
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
  /// Brings the data of the closed regular file `path` to the disk.
  [[nodiscard]] virtual std::error_code flush_path(const std::filesystem::path& path) = 0;
  /// Closes the file; a failure says its last writes may be lost.
  [[nodiscard]] virtual std::error_code close(FileHandle file) = 0;
  /// Gives the regular file `existing` a second name, `link`, which must not exist yet
  /// (std::errc::file_exists). Fails where the file system has no such names.
  [[nodiscard]] virtual std::error_code hard_link(const std::filesystem::path& existing,
                                                  const std::filesystem::path& link) = 0;
  /// Puts `from` in place of `to` in one step, replacing `to` when it exists.
  [[nodiscard]] virtual std::error_code replace(const std::filesystem::path& from,
                                                const std::filesystem::path& to) = 0;
  /// Brings the names a directory holds (the renames in it) to the disk.
  [[nodiscard]] virtual std::error_code sync_directory(const std::filesystem::path& path) = 0;
  /// Removes a file. A file that is already gone is no failure.
  [[nodiscard]] virtual std::error_code remove(const std::filesystem::path& path) = 0;
  /// Whether process `id` still runs.
  [[nodiscard]] virtual std::error_code process_runs(unsigned long id, bool& runs) = 0;
  /// What writing `path` the way `way` says would meet: the error its open would give, or none.
  /// A directory, a file this process may not write (read-only, immutable, on a read-only file
  /// system), one another program holds open (Windows), a directory that takes no new file
  /// where one is needed. A link is judged by what it points to. `found` is the file `path`
  /// names (a link followed), nullopt when nothing. Fails too when the system cannot tell.
  [[nodiscard]] virtual std::error_code may_write(const std::filesystem::path& path, WriteWay way,
                                                  std::optional<FileId>& found) = 0;
  /// The room this process may still use on the file system that holds `directory`.
  [[nodiscard]] virtual std::error_code free_space(const std::filesystem::path& directory,
                                                   Room& room) = 0;
  /// Where `name` (relative parts) leads from the directory `base`, one part at a time from
  /// handles of the directories on the way: each link, at any step, is followed only when this
  /// user made it, 40 links at most (then too many links). Another user's link fails with
  /// foreign_link_error() and fills `link` and `link_owner`. A missing part is no error: the
  /// rest of the name is appended as it is, for the open to report. On Windows a link is
  /// followed as written by the system itself.
  [[nodiscard]] virtual std::error_code resolve(const std::filesystem::path& base,
                                                const std::filesystem::path& name,
                                                Resolution& resolution) = 0;
  /// Takes `lock`, this run's lock on the directory `directory` (resolved). When another run
  /// holds it, fails with std::errc::resource_unavailable_try_again and `holder` gets that
  /// run's process number where the system can tell, else nothing.
  [[nodiscard]] virtual std::error_code lock_directory(const std::filesystem::path& directory,
                                                       RunLock& lock, std::string& holder) = 0;
  /// Whether a run holds the lock on `directory` now, without taking it; `holder` gets that
  /// run's process number where the system can tell, else nothing.
  [[nodiscard]] virtual std::error_code lock_held(const std::filesystem::path& directory,
                                                  bool& held, std::string& holder) = 0;
};

/// The file system of this computer: the one `main` hands down. A test may answer some of its
/// questions itself.
class SystemFileSystem : public FileSystem {
 public:
  std::error_code status_of(const std::filesystem::path& path, FileStatus& status) override;
  std::error_code kind_of(const std::filesystem::path& path, FileKind& kind) override;
  std::error_code open_existing_or_new(const std::filesystem::path& path, FileHandle& file,
                                       FileKind& kind) override;
  std::error_code open_to_read(const std::filesystem::path& path, FileHandle& file) override;
  std::error_code create_exclusive(const std::filesystem::path& path, const FileStatus& like,
                                   FileHandle& file) override;
  std::error_code write(FileHandle file, std::string_view bytes,
                        std::optional<std::uint64_t> offset) override;
  std::error_code read(FileHandle file, std::span<char> buffer, std::uint64_t offset,
                       std::size_t& got) override;
  std::error_code cut(FileHandle file, std::uint64_t length) override;
  std::error_code flush(FileHandle file) override;
  std::error_code start_write_back(FileHandle file) override;
  std::error_code flush_path(const std::filesystem::path& path) override;
  std::error_code close(FileHandle file) override;
  std::error_code hard_link(const std::filesystem::path& existing,
                            const std::filesystem::path& link) override;
  std::error_code replace(const std::filesystem::path& from,
                          const std::filesystem::path& to) override;
  std::error_code sync_directory(const std::filesystem::path& path) override;
  std::error_code remove(const std::filesystem::path& path) override;
  std::error_code process_runs(unsigned long id, bool& runs) override;
  // In guard_posix.cpp and guard_windows.cpp.
  std::error_code may_write(const std::filesystem::path& path, WriteWay way,
                            std::optional<FileId>& found) override;
  std::error_code free_space(const std::filesystem::path& directory, Room& room) override;
  std::error_code lock_directory(const std::filesystem::path& directory, RunLock& lock,
                                 std::string& holder) override;
  std::error_code lock_held(const std::filesystem::path& directory, bool& held,
                            std::string& holder) override;
  // In look_up_posix.cpp and look_up_windows.cpp.
  std::error_code resolve(const std::filesystem::path& base, const std::filesystem::path& name,
                          Resolution& resolution) override;
  std::error_code look_up(const std::filesystem::path& path, bool follow,
                          Entry& entry) const override;
  std::error_code link_target(const std::filesystem::path& path,
                              std::filesystem::path& target) const override;
  std::error_code real_path(const std::filesystem::path& path,
                            std::filesystem::path& real) const override;
  std::error_code names_in(const std::filesystem::path& path,
                           std::vector<std::string>& names) const override;
  std::error_code open_plain(const std::filesystem::path& path, std::intptr_t& file,
                             Entry& entry) const override;
  std::error_code read_plain(std::intptr_t file, std::span<char> buffer,
                             std::size_t& got) const override;
  void close_plain(std::intptr_t file) const override;

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

/// This process's number, for temporary names of its own.
unsigned long process_id();

/// The system's error number `code` (errno, or GetLastError on Windows) as an error code.
std::error_code system_error(int code);

/// "reason": the system's words for an error, without a trailing period or line end.
std::string message_of(std::error_code error);

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
