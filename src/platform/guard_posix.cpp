// What a run asks before it writes a series, on POSIX systems.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#ifdef __linux__
#include <linux/fs.h>
#endif
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>
#ifdef __linux__
#include <sys/sysmacros.h>
#endif
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "platform/series_guard.h"

namespace quorlant::platform {

namespace {

std::error_code last_error() {
  return {errno, std::system_category()};
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
                                            std::optional<FileId>& found) {
  found.reset();
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
  found = FileId{static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
  if (S_ISDIR(status.st_mode)) return std::make_error_code(std::errc::is_a_directory);
  if (S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode)) return not_regular_file_error();
  // Refused for read-only files, immutable ones (root included) and read-only file systems.
  if (const std::error_code error = may_access(path, W_OK)) return error;
  if (S_ISREG(status.st_mode)) {
    if (const std::error_code error = append_only_or_immutable(path)) return error;
  }
  if (way == WriteWay::kInPlace || !S_ISREG(status.st_mode)) return {};
  // A regular file is replaced by a new one beside it: the path comes resolved, so for a link
  // of this user's that is beside the file it names.
  return takes_new_file(directory_of(path));
}

std::error_code SystemFileSystem::free_space(const std::filesystem::path& directory, Room& room) {
  struct statvfs status {};
  if (::statvfs(directory.c_str(), &status) != 0) return last_error();
  room.bytes = static_cast<std::uint64_t>(status.f_bavail) * status.f_frsize;
  // A file system that counts no files (f_files 0) never runs out of them.
  room.files = status.f_files == 0 ? UINT64_MAX : static_cast<std::uint64_t>(status.f_favail);
  return {};
}

std::error_code SystemFileSystem::lock_directory(const std::filesystem::path& directory,
                                                 RunLock& lock, std::string& holder) {
  return lock.take(directory, holder);
}

// The process that holds the lock of the file `locked` is, as /proc/locks tells where there is
// one: "1: FLOCK  ADVISORY  WRITE 4242 08:01:131 0 EOF" (device numbers in hex). Nothing
// where the system does not tell.
static std::string lock_holder(const struct stat& locked) {
  std::ifstream locks("/proc/locks");
  const std::string file = [&] {
    char text[64];
    std::snprintf(text, sizeof text, "%02x:%02x:%llu", static_cast<unsigned>(major(locked.st_dev)),
                  static_cast<unsigned>(minor(locked.st_dev)),
                  static_cast<unsigned long long>(locked.st_ino));
    return std::string(text);
  }();
  std::string line;
  while (std::getline(locks, line)) {
    std::istringstream fields(line);
    std::string number, type, advisory, mode, process, where;
    fields >> number >> type >> advisory >> mode >> process >> where;
    if (type == "FLOCK" && where == file) return process;
  }
  return {};
}

// Locks `directory` without waiting: `fd` holds the lock. Another run's lock fails with
// resource_unavailable_try_again and its process in `holder`, where the system tells.
static std::error_code try_lock(const std::filesystem::path& directory, int& fd,
                                std::string& holder) {
  // Read-only, so that a read-only directory locks as well; the directory itself, never a link.
  fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return last_error();
  int locked = -1;
  do {
    locked = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (locked != 0 && errno == EINTR);
  if (locked == 0) return {};
  std::error_code error = last_error();
  if (errno == EWOULDBLOCK) {
    struct stat status {};
    if (::fstat(fd, &status) == 0) holder = lock_holder(status);
    error = std::make_error_code(std::errc::resource_unavailable_try_again);
  }
  (void)::close(fd);  // the report is `error`
  fd = -1;
  return error;
}

std::error_code RunLock::take(const std::filesystem::path& directory, std::string& holder) {
  int fd = -1;
  if (const std::error_code error = try_lock(directory, fd, holder)) return error;
  file_ = fd;
  return {};
}

std::error_code SystemFileSystem::lock_held(const std::filesystem::path& directory, bool& held,
                                            std::string& holder) {
  int fd = -1;
  const std::error_code error = try_lock(directory, fd, holder);
  held = error == std::errc::resource_unavailable_try_again;
  // Taken only to ask: closing the handle releases it.
  if (fd >= 0) (void)::close(fd);
  return held ? std::error_code() : error;
}

RunLock::~RunLock() {
  // Closing the handle releases the lock; nothing is left behind.
  if (file_ != kNoFile) (void)::close(static_cast<int>(file_));
}

}  // namespace quorlant::platform
