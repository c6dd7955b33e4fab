// The platform on POSIX systems: POSIX calls only, so it builds wherever they exist.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

namespace quorlant::platform {

namespace {

std::error_code last_error() {
  return {errno, std::system_category()};
}

// What a call that says only whether it worked reports.
std::error_code result(bool worked) {
  return worked ? std::error_code() : last_error();
}

int descriptor(FileHandle handle) {
  return static_cast<int>(handle);
}

// Opens the held `directory` again as a directory of its own: one held only to work in cannot
// be synced or listed.
int open_again(FileHandle directory) {
  return ::openat(descriptor(directory), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// Closes `fd`, whose failure is the report when `error` is none.
std::error_code close_after(int fd, std::error_code error) {
  if (::close(fd) != 0 && !error) error = last_error();
  return error;
}

// The interrupt a run deferred, for end_if_interrupted once the run has put its series back.
volatile sig_atomic_t deferred_signal = 0;

void reraise(int signal_number) {
  // Nothing is left to do when the default cannot be restored: the process ends below anyway.
  (void)::signal(signal_number, SIG_DFL);
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

}  // namespace

std::string_view record_end() {
  return "\n";
}

std::error_code SystemFileSystem::open_directory(FileHandle directory,
                                                 const std::filesystem::path& name,
                                                 FileHandle& held) {
  const int base = directory == kNoFile ? AT_FDCWD : descriptor(directory);
  const int fd = open_held_directory(base, name.c_str());
  held = fd < 0 ? kNoFile : fd;
  return result(fd >= 0);
}

void SystemFileSystem::close_directory(FileHandle held) {
  (void)::close(descriptor(held));  // nothing of a directory held is lost by closing it
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
  buffer[got] = '\0';
  const char* const mask = std::strstr(buffer, "Umask:\t");
  if (mask == nullptr) return std::nullopt;
  return 0666U & ~static_cast<unsigned>(std::strtoul(mask + 7, nullptr, 8));
}

std::error_code SystemFileSystem::create_at(FileHandle directory, std::string_view name,
                                            const FileStatus& like, FileHandle& file) {
  file = kNoFile;
  const std::string z(name);
  const int fd =
      ::openat(descriptor(directory), z.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
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
    (void)::unlinkat(descriptor(directory), z.c_str(), 0);
    return error;
  }
  file = fd;
  return {};
}

std::error_code SystemFileSystem::write(FileHandle file, std::string_view bytes,
                                        std::optional<std::uint64_t> offset) {
  const int fd = descriptor(file);
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = offset ? ::pwrite(fd, bytes.data() + done, bytes.size() - done,
                                        static_cast<off_t>(*offset + done))
                             : ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return last_error();
    if (n == 0) return std::make_error_code(std::errc::io_error);
    done += static_cast<std::size_t>(n);
  }
  return {};
}

std::error_code SystemFileSystem::read(FileHandle file, std::span<char> buffer,
                                       std::uint64_t offset, std::size_t& got) {
  for (;;) {
    ssize_t n =
        ::pread(descriptor(file), buffer.data(), buffer.size(), static_cast<off_t>(offset));
    // A pipe has no offsets: it is read in order.
    if (n < 0 && errno == ESPIPE) n = ::read(descriptor(file), buffer.data(), buffer.size());
    if (n >= 0) {
      got = static_cast<std::size_t>(n);
      return {};
    }
    if (errno != EINTR) return last_error();
  }
}

std::error_code SystemFileSystem::cut(FileHandle file, std::uint64_t length) {
  return result(::ftruncate(descriptor(file), static_cast<off_t>(length)) == 0);
}

std::error_code SystemFileSystem::flush(FileHandle file) {
#ifdef __APPLE__
  return result(::fsync(descriptor(file)) == 0);
#else
  return result(::fdatasync(descriptor(file)) == 0);
#endif
}

std::error_code SystemFileSystem::start_write_back(FileHandle file) {
#ifdef SYNC_FILE_RANGE_WRITE
  return result(::sync_file_range(descriptor(file), 0, 0, SYNC_FILE_RANGE_WRITE) == 0);
#else
  (void)file;
  return {};
#endif
}

std::error_code SystemFileSystem::link_at(FileHandle directory, std::string_view existing,
                                          std::string_view link) {
  const int at = descriptor(directory);
  return result(::linkat(at, std::string(existing).c_str(), at, std::string(link).c_str(), 0) == 0);
}

std::error_code SystemFileSystem::close(FileHandle file) {
  return result(::close(descriptor(file)) == 0);
}

std::error_code SystemFileSystem::rename_at(FileHandle directory, std::string_view from,
                                            std::string_view to) {
  const int at = descriptor(directory);
  return result(::renameat(at, std::string(from).c_str(), at, std::string(to).c_str()) == 0);
}

std::error_code SystemFileSystem::sync_directory(FileHandle directory) {
  if (::fsync(descriptor(directory)) == 0) return {};
  if (errno != EBADF) return last_error();
  const int fd = open_again(directory);
  if (fd < 0) return last_error();
  return close_after(fd, result(::fsync(fd) == 0));
}

std::error_code SystemFileSystem::remove_at(FileHandle directory, std::string_view name) {
  return result(::unlinkat(descriptor(directory), std::string(name).c_str(), 0) == 0 ||
                errno == ENOENT);
}

std::error_code SystemFileSystem::names_at(FileHandle directory,
                                           std::vector<std::string>& names) {
  names.clear();
  // The listing takes a handle of its own, which it closes.
  const int fd = open_again(directory);
  if (fd < 0) return last_error();
  DIR* listing = ::fdopendir(fd);
  if (listing == nullptr) return close_after(fd, last_error());
  // The end of the listing leaves errno alone; a failure sets it.
  errno = 0;
  for (const struct dirent* entry; (entry = ::readdir(listing)) != nullptr; errno = 0) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
  }
  const std::error_code error = result(errno == 0);
  (void)::closedir(listing);  // read only: nothing of it can be lost
  return error;
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
  return close_after(null_fd, result(::dup2(null_fd, fd) == fd));
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
