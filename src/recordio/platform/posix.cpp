// The platform on POSIX systems: POSIX calls only, so it builds wherever they exist.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "recordio/platform/platform.h"

namespace quorlant::recordio::platform {

namespace {

std::error_code last_error() {
  return {errno, std::system_category()};
}

// The permission bits a file created now gets; the mask is read once, as setting it is the
// only way to read it.
unsigned new_file_mode() {
  static const unsigned mode = [] {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666U & ~static_cast<unsigned>(mask);
  }();
  return mode;
}

extern "C" void remove_in_flight_and_reraise(int signal_number) {
  if (InFlightFiles* files = files_in_flight()) files->remove_all();
  struct sigaction default_action {};
  default_action.sa_handler = SIG_DFL;
  sigemptyset(&default_action.sa_mask);
  sigaction(signal_number, &default_action, nullptr);
  raise(signal_number);  // the status still says which signal ended the run
}

}  // namespace

std::string_view record_end() {
  return "\n";
}

std::error_code status_of(const std::filesystem::path& path, FileStatus& status) {
  struct stat link_status {};
  status = {};
  if (::lstat(path.c_str(), &link_status) != 0) {
    return errno == ENOENT ? std::error_code() : last_error();
  }
  status.permissions = static_cast<unsigned>(link_status.st_mode & 07777);
  if (!S_ISREG(link_status.st_mode)) {
    status.kind = FileKind::kOther;
    return {};
  }
  status.kind = FileKind::kRegular;
  // Root, or the owner with the write bit set, surely may write it; anyone else asks the system.
  const uid_t euid = ::geteuid();
  const bool surely_writable =
      euid == 0 || (link_status.st_uid == euid && (link_status.st_mode & S_IWUSR));
  if (!surely_writable && ::access(path.c_str(), W_OK) != 0) status.write_error = last_error();
  return {};
}

std::error_code open_existing_or_new(const std::filesystem::path& path, FileHandle& file) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  file = fd;
  return fd < 0 ? last_error() : std::error_code();
}

std::error_code open_to_read(const std::filesystem::path& path, FileHandle& file) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  file = fd;
  return fd < 0 ? last_error() : std::error_code();
}

std::error_code create_exclusive(const std::filesystem::path& path, const FileStatus& like,
                                 FileHandle& file) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  file = fd;
  if (fd < 0) return last_error();
  // The replacement keeps the old file's permission bits; a failure here leaves the usual ones.
  if (like.kind == FileKind::kRegular && like.permissions != new_file_mode()) {
    (void)::fchmod(fd, static_cast<mode_t>(like.permissions));
  }
  return {};
}

bool is_regular(FileHandle file) {
  struct stat status {};
  return ::fstat(static_cast<int>(file), &status) == 0 && S_ISREG(status.st_mode);
}

std::error_code write(FileHandle file, std::string_view bytes,
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

std::error_code read(FileHandle file, std::span<char> buffer, std::uint64_t offset,
                     std::size_t& got) {
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

std::error_code cut(FileHandle file, std::uint64_t length) {
  return ::ftruncate(static_cast<int>(file), static_cast<off_t>(length)) == 0 ? std::error_code()
                                                                              : last_error();
}

std::error_code close(FileHandle file) {
  return ::close(static_cast<int>(file)) == 0 ? std::error_code() : last_error();
}

std::error_code replace(const std::filesystem::path& from, const std::filesystem::path& to) {
  return ::rename(from.c_str(), to.c_str()) == 0 ? std::error_code() : last_error();
}

std::error_code remove(const std::filesystem::path& path) {
  return ::unlink(path.c_str()) == 0 || errno == ENOENT ? std::error_code() : last_error();
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

void InFlightFiles::remove_all() noexcept {
  // The handler has stopped the run's thread, wherever it was: every file that is or may be
  // made goes. One already put in place is no longer at its temporary name.
  removing_.store(true);
  for (Slot& slot : slots_) {
    if (slot.state.exchange(kRemoving) != kFree) ::unlink(slot.path);  // async-signal-safe
  }
}

void install_interrupt_hook() {
  struct sigaction action {};
  action.sa_handler = remove_in_flight_and_reraise;
  sigemptyset(&action.sa_mask);
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal_number, &action, nullptr);
}

bool prepare_standard_streams() {
  bool output_closed = false;
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    if (fd == STDOUT_FILENO) output_closed = true;
    const int null_fd = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    if (null_fd >= 0 && null_fd != fd) {
      ::dup2(null_fd, fd);
      ::close(null_fd);
    }
  }
  ::signal(SIGPIPE, SIG_IGN);
  return !output_closed;
}

bool standard_input_is_terminal() {
  return ::isatty(STDIN_FILENO) == 1;
}

}  // namespace quorlant::recordio::platform
