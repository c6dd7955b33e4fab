// What a run asks before it writes a series, on POSIX systems.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#ifdef __linux__
#include <linux/fs.h>
#endif
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "recordio/platform/series_guard.h"

namespace quorlant::recordio::platform {

namespace {

std::error_code last_error() {
  return {errno, std::system_category()};
}

std::filesystem::path directory_of(const std::filesystem::path& path) {
  const std::filesystem::path parent = path.parent_path();
  return parent.empty() ? "." : parent;
}

// Asked as the running user (not the real one), so that a set-user program asks for itself.
std::error_code may_access(const std::filesystem::path& path, int mode) {
  return ::faccessat(AT_FDCWD, path.c_str(), mode, AT_EACCESS) == 0 ? std::error_code()
                                                                    : last_error();
}

// A new file can be made in `directory`: its own missing directory fails as the open would.
std::error_code takes_new_file(const std::filesystem::path& directory) {
  return may_access(directory, W_OK | X_OK);
}

// A file marked append-only or immutable cannot be replaced, whoever asks (EPERM). A file
// system without such marks says nothing.
std::error_code append_only_or_immutable(const std::filesystem::path& path) {
#ifdef FS_IOC_GETFLAGS
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return last_error();
  int flags = 0;
  const bool asked = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  (void)::close(fd);  // read only: nothing of it can be lost
  if (asked && (flags & (FS_APPEND_FL | FS_IMMUTABLE_FL)) != 0)
    return std::make_error_code(std::errc::operation_not_permitted);
#else
  (void)path;
#endif
  return {};
}

}  // namespace

std::error_code SystemFileSystem::may_write(const std::filesystem::path& path, WriteWay way,
                                            bool& exists) {
  exists = false;
  struct stat link_status {};
  if (::lstat(path.c_str(), &link_status) != 0) {
    return errno == ENOENT ? takes_new_file(directory_of(path)) : last_error();
  }
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) {
    // A dangling link: the open makes what it points to.
    if (errno != ENOENT) return last_error();
    return takes_new_file(directory_of(path));
  }
  exists = true;
  if (S_ISDIR(status.st_mode)) return std::make_error_code(std::errc::is_a_directory);
  // Refused for read-only files, immutable ones (root included) and read-only file systems.
  if (const std::error_code error = may_access(path, W_OK)) return error;
  if (S_ISREG(status.st_mode)) {
    if (const std::error_code error = append_only_or_immutable(path)) return error;
  }
  if (way == WriteWay::kInPlace || !S_ISREG(status.st_mode)) return {};
  // A regular file is replaced by a new one beside it, beside the file a link names.
  if (!S_ISLNK(link_status.st_mode)) return takes_new_file(directory_of(path));
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return last_error();
  const std::filesystem::path target = resolved;
  ::free(resolved);  // NOLINT(cppcoreguidelines-no-malloc): realpath's own buffer
  return takes_new_file(directory_of(target));
}

std::error_code SystemFileSystem::free_space(const std::filesystem::path& directory, Room& room) {
  struct statvfs status {};
  if (::statvfs(directory.c_str(), &status) != 0) return last_error();
  room.bytes = static_cast<std::uint64_t>(status.f_bavail) * status.f_frsize;
  // A file system that counts no files (f_files 0) never runs out of them.
  room.files = status.f_files == 0 ? UINT64_MAX : static_cast<std::uint64_t>(status.f_favail);
  return {};
}

// One attempt at the lock on `path`: `fd` holds it on success. `again` when the file was
// removed between its open and its lock, so that the lock counts for nothing.
static std::error_code lock_once(const std::filesystem::path& path, std::string& holder, int& fd,
                                 bool& again) {
  again = false;
  fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
  if (fd < 0) return last_error();
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    if (error == EWOULDBLOCK) {
      char text[64];
      const ssize_t got = ::pread(fd, text, sizeof text, 0);
      holder.assign(text, got > 0 ? static_cast<std::size_t>(got) : 0U);
    }
    ::close(fd);
    again = error == EINTR;
    if (error == EWOULDBLOCK) return std::make_error_code(std::errc::resource_unavailable_try_again);
    return again ? std::error_code() : std::error_code(error, std::system_category());
  }
  struct stat locked {};
  struct stat named {};
  if (::fstat(fd, &locked) != 0) {
    const std::error_code error = last_error();
    ::close(fd);
    return error;
  }
  again = ::lstat(path.c_str(), &named) != 0 || named.st_dev != locked.st_dev ||
          named.st_ino != locked.st_ino;
  if (again) ::close(fd);
  return {};
}

std::error_code RunLock::take(const std::filesystem::path& path, std::string& holder) {
  // The run that held the lock may remove its file just before this one gets it: the lock
  // counts only on the file the name still has, else the next attempt takes the new one.
  for (int attempt = 0; attempt < 100; ++attempt) {
    int fd = -1;
    bool again = false;
    if (const std::error_code error = lock_once(path, holder, fd, again)) return error;
    if (again) continue;
    file_ = fd;
    path_ = path;
    const std::string text = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, text.data(), text.size(), 0) < 0)
      return last_error();
    return {};
  }
  return std::make_error_code(std::errc::resource_unavailable_try_again);
}

RunLock::~RunLock() {
  if (file_ == kNoFile) return;
  // Removed while still held, so that no other run locks a file about to vanish.
  ::unlink(path_.c_str());
  ::close(static_cast<int>(file_));
}

}  // namespace quorlant::recordio::platform
