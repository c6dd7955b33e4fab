// The platform on POSIX systems: POSIX calls only, so it builds wherever they exist.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/platform.h"

namespace quorlant::platform {

namespace {

std::error_code last_error() {
  return {errno, std::system_category()};
}

std::error_code error_of(int code) {
  return {code, std::system_category()};
}

// The interrupt a run deferred, for end_if_interrupted once the run has put its series back.
volatile sig_atomic_t deferred_signal = 0;

void reraise(int signal_number) {
  struct sigaction default_action {};
  default_action.sa_handler = SIG_DFL;
  sigemptyset(&default_action.sa_mask);
  // Nothing is left to do when the default cannot be restored: the process ends below anyway.
  (void)sigaction(signal_number, &default_action, nullptr);
  // Delivered as the handler returns: the status still says which signal ended the run.
  (void)raise(signal_number);
}

extern "C" void defer_or_reraise(int signal_number) {
  InterruptDeferral* run = current_run();
  // A run putting a series in place undoes it first, and then ends by the signal itself.
  if (run != nullptr && run->wait_for_run(signal_number)) {
    deferred_signal = signal_number;
    return;
  }
  reraise(signal_number);
}

FileKind kind_of_mode(mode_t mode) {
  if (S_ISREG(mode)) return FileKind::kRegular;
  if (S_ISDIR(mode)) return FileKind::kDirectory;
  if (S_ISFIFO(mode)) return FileKind::kFifo;
  return FileKind::kOther;
}

// Where the link `link` leads, when this run may follow it: this user made it and every link
// after it, and what it names exists. Otherwise an error: permission denied, or too many links
// for a dangling one.
std::error_code follow_link(FileSystem& files, const std::filesystem::path& link,
                            std::filesystem::path& target) {
  std::filesystem::path directory = link.parent_path();
  if (directory.empty()) directory = ".";
  Resolution resolution;
  if (const std::error_code error = files.resolve(directory, link.filename(), resolution))
    return error;
  struct stat status {};
  if (::stat(resolution.path.c_str(), &status) != 0)
    return errno == ENOENT ? error_of(ELOOP) : last_error();
  target = resolution.path;
  return {};
}

// The link at `path` (the open said so with ELOOP), or another error when it is none.
std::error_code target_of(FileSystem& files, const std::filesystem::path& path,
                          std::filesystem::path& target) {
  struct stat link_status {};
  if (::lstat(path.c_str(), &link_status) != 0) return last_error();
  if (!S_ISLNK(link_status.st_mode)) return error_of(ELOOP);
  return follow_link(files, path, target);
}

std::error_code open_kind(const std::filesystem::path& path, int& fd, FileKind& kind) {
  const bool known_regular = kind == FileKind::kRegular;
  do {
    fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return last_error();
  if (known_regular) return {};
  struct stat status {};
  std::error_code error = ::fstat(fd, &status) == 0 ? std::error_code() : last_error();
  kind = kind_of_mode(status.st_mode);
  // A pipe is never written: its reader could hold the run (and its lock) for as long as it
  // likes. The open did not wait for one, as the flag says.
  if (!error && kind == FileKind::kFifo) error = not_regular_file_error();
  // A regular file pays no heed to the flag; anything else waits again from now on.
  if (!error && kind != FileKind::kRegular) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) error = last_error();
  }
  if (error && fd >= 0) (void)::close(fd);  // the report is `error`
  if (error) fd = -1;
  return error;
}

}  // namespace

std::string_view record_end() {
  return "\n";
}

std::error_code SystemFileSystem::status_of(const std::filesystem::path& path,
                                            FileStatus& status) {
  status = {};
  struct stat file_status {};
  if (::lstat(path.c_str(), &file_status) != 0) {
    return errno == ENOENT ? std::error_code() : last_error();
  }
  if (S_ISLNK(file_status.st_mode)) {
    if (const std::error_code error = follow_link(*this, path, status.target)) return error;
    if (::stat(status.target.c_str(), &file_status) != 0) return last_error();
  }
  const std::filesystem::path& file = status.target.empty() ? path : status.target;
  status.permissions = static_cast<unsigned>(file_status.st_mode & 07777);
  status.kind = kind_of_mode(file_status.st_mode);
  if (status.kind != FileKind::kRegular) return {};
  // Root, or the owner with the write bit set, surely may write it; anyone else asks the system.
  const uid_t euid = ::geteuid();
  const bool surely_writable =
      euid == 0 || (file_status.st_uid == euid && (file_status.st_mode & S_IWUSR));
  if (!surely_writable && ::access(file.c_str(), W_OK) != 0) status.write_error = last_error();
  return {};
}

std::error_code SystemFileSystem::kind_of(const std::filesystem::path& path, FileKind& kind) {
  struct stat status {};
  kind = FileKind::kMissing;
  if (::stat(path.c_str(), &status) != 0) return errno == ENOENT ? std::error_code() : last_error();
  kind = kind_of_mode(status.st_mode);
  return {};
}

std::error_code SystemFileSystem::open_existing_or_new(const std::filesystem::path& path,
                                                       FileHandle& file, FileKind& kind) {
  int fd = -1;
  file = kNoFile;
  std::error_code error = open_kind(path, fd, kind);
  if (error == std::errc::too_many_symbolic_link_levels) {
    std::filesystem::path target;
    error = target_of(*this, path, target);
    if (!error) error = open_kind(target, fd, kind);
  }
  if (!error) file = fd;
  return error;
}

// The permission bits a file created now gets, when the system tells the mask without setting
// it (setting it to read it would change it for a moment for every thread).
static std::optional<unsigned> read_new_file_mode() {
  const int fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  char buffer[4096];
  const ssize_t got = ::read(fd, buffer, sizeof buffer - 1);
  (void)::close(fd);  // read-only: nothing of it can be lost
  if (got <= 0) return std::nullopt;
  const std::string_view text(buffer, static_cast<std::size_t>(got));
  const std::size_t at = text.find("Umask:\t");
  if (at == std::string_view::npos) return std::nullopt;
  unsigned mask = 0;
  for (std::size_t i = at + 7; i < text.size() && text[i] >= '0' && text[i] <= '7'; ++i) {
    mask = mask * 8 + static_cast<unsigned>(text[i] - '0');
  }
  return 0666U & ~mask;
}

std::error_code SystemFileSystem::open_to_read(const std::filesystem::path& path,
                                               FileHandle& file) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  file = fd < 0 ? kNoFile : fd;
  return fd < 0 ? last_error() : std::error_code();
}

std::error_code SystemFileSystem::create_exclusive(const std::filesystem::path& path,
                                                   const FileStatus& like, FileHandle& file) {
  file = kNoFile;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return last_error();
  if (!new_file_mode_asked_) {
    new_file_mode_ = read_new_file_mode();
    new_file_mode_asked_ = true;
  }
  // A replacement keeps the old file's permission bits, given outright unless the new file
  // surely has them already.
  const bool keeps = like.kind != FileKind::kRegular || new_file_mode_ == like.permissions;
  if (!keeps && ::fchmod(fd, static_cast<mode_t>(like.permissions)) != 0) {
    const std::error_code error = last_error();
    // The report is `error`; the file goes at once.
    (void)::close(fd);
    (void)::unlink(path.c_str());
    return error;
  }
  file = fd;
  return {};
}

std::error_code SystemFileSystem::write(FileHandle file, std::string_view bytes,
                                        std::optional<std::uint64_t> offset) {
  const int fd = static_cast<int>(file);
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = offset ? ::pwrite(fd, bytes.data() + done, bytes.size() - done,
                                        static_cast<off_t>(*offset + done))
                             : ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return last_error();
    }
    if (n == 0) return std::make_error_code(std::errc::io_error);
    done += static_cast<std::size_t>(n);
  }
  return {};
}

std::error_code SystemFileSystem::read(FileHandle file, std::span<char> buffer,
                                       std::uint64_t offset, std::size_t& got) {
  for (;;) {
    const ssize_t n =
        ::pread(static_cast<int>(file), buffer.data(), buffer.size(), static_cast<off_t>(offset));
    if (n >= 0) {
      got = static_cast<std::size_t>(n);
      return {};
    }
    if (errno == ESPIPE) {  // a pipe has no offsets: it is read in order
      const ssize_t piped = ::read(static_cast<int>(file), buffer.data(), buffer.size());
      if (piped >= 0) {
        got = static_cast<std::size_t>(piped);
        return {};
      }
    }
    if (errno != EINTR) return last_error();
  }
}

std::error_code SystemFileSystem::cut(FileHandle file, std::uint64_t length) {
  return ::ftruncate(static_cast<int>(file), static_cast<off_t>(length)) == 0 ? std::error_code()
                                                                              : last_error();
}

std::error_code SystemFileSystem::flush(FileHandle file) {
#ifdef __APPLE__
  const int done = ::fsync(static_cast<int>(file));
#else
  const int done = ::fdatasync(static_cast<int>(file));
#endif
  return done == 0 ? std::error_code() : last_error();
}

std::error_code SystemFileSystem::start_write_back(FileHandle file) {
#ifdef SYNC_FILE_RANGE_WRITE
  if (::sync_file_range(static_cast<int>(file), 0, 0, SYNC_FILE_RANGE_WRITE) != 0) {
    return last_error();
  }
#else
  (void)file;
#endif
  return {};
}

std::error_code SystemFileSystem::flush_path(const std::filesystem::path& path) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return last_error();
  std::error_code error = flush(fd);
  if (::close(fd) != 0 && !error) error = last_error();
  return error;
}

std::error_code SystemFileSystem::hard_link(const std::filesystem::path& existing,
                                            const std::filesystem::path& link) {
  return ::link(existing.c_str(), link.c_str()) == 0 ? std::error_code() : last_error();
}

std::error_code SystemFileSystem::close(FileHandle file) {
  return ::close(static_cast<int>(file)) == 0 ? std::error_code() : last_error();
}

std::error_code SystemFileSystem::replace(const std::filesystem::path& from,
                                          const std::filesystem::path& to) {
  return ::rename(from.c_str(), to.c_str()) == 0 ? std::error_code() : last_error();
}

std::error_code SystemFileSystem::sync_directory(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return last_error();
  std::error_code error = ::fsync(fd) == 0 ? std::error_code() : last_error();
  if (::close(fd) != 0 && !error) error = last_error();
  return error;
}

std::error_code SystemFileSystem::remove(const std::filesystem::path& path) {
  return ::unlink(path.c_str()) == 0 || errno == ENOENT ? std::error_code() : last_error();
}

std::error_code SystemFileSystem::process_runs(unsigned long id, bool& runs) {
  runs = true;
  if (::kill(static_cast<pid_t>(id), 0) == 0 || errno == EPERM) return {};
  if (errno != ESRCH) return last_error();
  runs = false;
  return {};
}

unsigned long process_id() {
  return static_cast<unsigned long>(::getpid());
}

std::error_code system_error(int code) {
  return {code, std::system_category()};
}

std::string message_of(std::error_code error) {
  return error.message();
}

void end_if_interrupted() {
  if (deferred_signal != 0) reraise(deferred_signal);
}

std::error_code install_interrupt_hook() {
  struct sigaction action {};
  action.sa_handler = defer_or_reraise;
  sigemptyset(&action.sa_mask);
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction inherited {};
    if (sigaction(signal_number, nullptr, &inherited) != 0) return last_error();
    if (inherited.sa_handler == SIG_IGN) continue;  // started under nohup or in the background
    if (sigaction(signal_number, &action, nullptr) != 0) return last_error();
  }
  return {};
}

// Opens the null device as the closed standard stream `fd`.
static std::error_code give_null_device(int fd) {
  // The lowest free number is `fd` itself, as every lower one is open by now.
  const int null_fd = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
  if (null_fd < 0) return last_error();
  if (null_fd == fd) return {};
  const bool moved = ::dup2(null_fd, fd) == fd;
  const std::error_code error = moved ? std::error_code() : last_error();
  if (::close(null_fd) != 0 || error) return error ? error : last_error();
  return {};
}

std::error_code prepare_standard_streams(bool& output_closed) {
  output_closed = false;
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1) continue;
    if (errno != EBADF) return last_error();
    if (fd == STDOUT_FILENO) output_closed = true;
    if (const std::error_code error = give_null_device(fd)) return error;
  }
  // A closed pipe and a file-size limit are failed writes, reported like any other.
  for (int signal_number : {SIGPIPE, SIGXFSZ}) {
    if (::signal(signal_number, SIG_IGN) == SIG_ERR) return last_error();
  }
  return {};
}

bool standard_input_is_terminal() {
  return ::isatty(STDIN_FILENO) == 1;
}

}  // namespace quorlant::platform
