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

// The operating system behind one small interface. posix.cpp and windows.cpp implement it; the
// build picks one. Every failure is a std::error_code whose message is the system's own words.
namespace quorlant::recordio::platform {

/// An open file: a descriptor on POSIX, a handle on Windows. kNoFile when none.
using FileHandle = std::intptr_t;
inline constexpr FileHandle kNoFile = -1;

/// What a text record ends with in the files of this system: "\n", or "\r\n" on Windows.
std::string_view record_end();

/// What a path names, without following a link.
enum class FileKind {
  kMissing,
  kRegular,
  kOther,  // a link, a device, a pipe, a directory
};

/// A file as found before it is replaced.
struct FileStatus {
  FileKind kind = FileKind::kMissing;
  unsigned permissions = 0;     // the bits a replacement keeps (POSIX mode bits)
  std::error_code write_error;  // a regular file this process may not write: the reason
};

/// The kind and permissions of `path`, and for a regular file whether this process may write
/// it. Fails only when the system cannot tell.
[[nodiscard]] std::error_code status_of(const std::filesystem::path& path, FileStatus& status);

/// Opens `path` to read and write, creating it when missing and never emptying it.
[[nodiscard]] std::error_code open_existing_or_new(const std::filesystem::path& path,
                                                   FileHandle& file);
/// Opens `path` to read only: a file that is missing or may not be read fails here.
[[nodiscard]] std::error_code open_to_read(const std::filesystem::path& path, FileHandle& file);
/// Creates `path`, which must not exist yet (std::errc::file_exists when it does), to be written
/// and later put in place of a file with `like`'s permissions.
[[nodiscard]] std::error_code create_exclusive(const std::filesystem::path& path,
                                               const FileStatus& like, FileHandle& file);
/// Whether an open file is a regular one: written at offsets and cut to length. Anything else
/// is written one byte after the other.
bool is_regular(FileHandle file);
/// Writes every byte at `offset`, or where the file stands when there is no offset.
[[nodiscard]] std::error_code write(FileHandle file, std::string_view bytes,
                                    std::optional<std::uint64_t> offset);
/// Reads up to `buffer.size()` bytes at `offset` (a pipe: where it stands); `got` is 0 at the
/// end of the file.
[[nodiscard]] std::error_code read(FileHandle file, std::span<char> buffer, std::uint64_t offset,
                                   std::size_t& got);
/// Cuts the file to `length` bytes.
[[nodiscard]] std::error_code cut(FileHandle file, std::uint64_t length);
/// Closes the file; a failure says its last writes may be lost.
[[nodiscard]] std::error_code close(FileHandle file);
/// Puts `from` in place of `to` in one step, replacing `to` when it exists.
[[nodiscard]] std::error_code replace(const std::filesystem::path& from,
                                      const std::filesystem::path& to);
/// Removes a file. A file that is already gone is no failure.
[[nodiscard]] std::error_code remove(const std::filesystem::path& path);

/// This process's number, for temporary names of its own.
unsigned long process_id();

/// The system's error number `code` (errno, or GetLastError on Windows) as an error code.
std::error_code system_error(int code);

/// "reason": the system's words for an error, without a trailing period or line end.
std::string message_of(std::error_code error);

/// Temporary files a run has in flight, which an interrupt removes. A few slots of fixed size
/// and atomic states, so that a signal handler or the console handler's thread may read them
/// while the run works. While the run makes a file or puts it in place the slot is held: a
/// handler on another thread waits for that step, one on the run's own thread does not.
class InFlightFiles {
 public:
  static constexpr std::size_t kSlots = 4;
  static constexpr std::size_t kPathLength = 1024;
  /// A held slot for `path`, taken before the file is made so that no moment is left
  /// uncovered; nullopt when the path is too long or every slot is taken, and then the file is
  /// not removed on an interrupt. Once an interrupt is removing the files, never returns.
  std::optional<std::size_t> add(const std::filesystem::path& path);
  /// The file of `slot` is made (or not): no longer held.
  void made(std::size_t slot);
  /// Holds `slot` while the run puts its file in place. False when an interrupt has taken the
  /// file: it must not be put in place.
  [[nodiscard]] bool hold(std::size_t slot);
  /// The file of `slot` is no longer the interrupt's business.
  void release(std::size_t slot);
  /// Removes every file still in flight; called by the interrupt hook.
  void remove_all() noexcept;

 private:
  enum State : int { kFree, kInFlight, kHeld, kRemoving };
  struct Slot {
    std::atomic<int> state{kFree};
    std::filesystem::path::value_type path[kPathLength] = {};
  };
  Slot slots_[kSlots];
  std::atomic<bool> removing_{false};
};

/// Routes interrupts to `files` while it lives, then back to what they went to before.
class InterruptScope {
 public:
  explicit InterruptScope(InFlightFiles& files);
  InterruptScope(const InterruptScope&) = delete;
  InterruptScope& operator=(const InterruptScope&) = delete;
  ~InterruptScope();

 private:
  InFlightFiles* previous_;
};

/// The files of the current InterruptScope, or nullptr.
InFlightFiles* files_in_flight() noexcept;

/// Installs the interrupt hook: Ctrl C, Ctrl Break (and on POSIX SIGINT, SIGTERM, SIGHUP)
/// remove the files in flight of the current InterruptScope, then end the process with the
/// system's own status for that interrupt.
void install_interrupt_hook();

/// Gives a standard stream the process was started without the null device, so no file the
/// run opens takes its place, and makes a write to a closed pipe a failed write. Returns false
/// when standard output was among them.
bool prepare_standard_streams();

/// Whether the answers come from a terminal (a console on Windows) rather than a file or pipe.
bool standard_input_is_terminal();

}  // namespace quorlant::recordio::platform
