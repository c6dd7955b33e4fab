// What a run asks before it writes a series, on POSIX systems.
#include <fcntl.h>
#include <sys/file.h>
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

#include "platform/platform.h"

namespace quorlant::platform {

namespace {

std::error_code last_error() {
  return {errno, std::system_category()};
}

// The process that holds the lock of the file `locked` is, as /proc/locks tells where there is
// one: "1: FLOCK  ADVISORY  WRITE 4242 08:01:131 0 EOF" (device numbers in hex). Nothing
// where the system does not tell.
std::string lock_holder(const struct stat& locked) {
  char file[64];
  std::snprintf(file, sizeof file, "%02x:%02x:%llu", static_cast<unsigned>(major(locked.st_dev)),
                static_cast<unsigned>(minor(locked.st_dev)),
                static_cast<unsigned long long>(locked.st_ino));
  std::ifstream locks("/proc/locks");
  std::string line;
  while (std::getline(locks, line)) {
    std::istringstream fields(line);
    std::string number, type, advisory, mode, process, where;
    fields >> number >> type >> advisory >> mode >> process >> where;
    if (type == "FLOCK" && where == file) return process;
  }
  return {};
}

}  // namespace

// Asked as the running user (not the real one), so that a set-user program asks for itself.
std::error_code SystemFileSystem::may_add(FileHandle directory) {
  if (::faccessat(static_cast<int>(directory), ".", W_OK | X_OK, AT_EACCESS) == 0) return {};
  return last_error();
}

std::error_code SystemFileSystem::free_space(FileHandle directory, Room& room) {
  struct statvfs status {};
  if (::fstatvfs(static_cast<int>(directory), &status) != 0) return last_error();
  room.bytes = static_cast<std::uint64_t>(status.f_bavail) * status.f_frsize;
  // A file system that counts no files (f_files 0) never runs out of them.
  room.files = status.f_files == 0 ? UINT64_MAX : static_cast<std::uint64_t>(status.f_favail);
  return {};
}

// Taken without waiting, through an open of its own (a lock belongs to an open, so that another
// run's open of it conflicts).
std::error_code SystemFileSystem::lock_directory(FileHandle directory, FileHandle& lock,
                                                 std::string& holder) {
  // Read-only, so that a read-only directory locks as well.
  const int fd = ::openat(static_cast<int>(directory), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return last_error();
  int locked = -1;
  do {
    locked = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (locked != 0 && errno == EINTR);
  if (locked == 0) {
    lock = fd;
    return {};
  }
  std::error_code error = last_error();
  if (errno == EWOULDBLOCK) {
    struct stat status {};
    if (::fstat(fd, &status) == 0) holder = lock_holder(status);
    error = std::make_error_code(std::errc::resource_unavailable_try_again);
  }
  (void)::close(fd);  // the report is `error`
  return error;
}

std::error_code SystemFileSystem::lock_held(FileHandle directory, bool& held,
                                            std::string& holder) {
  FileHandle lock = kNoFile;
  const std::error_code error = SystemFileSystem::lock_directory(directory, lock, holder);
  held = error == std::errc::resource_unavailable_try_again;
  // Taken only to ask: closing the handle releases it.
  if (lock != kNoFile) (void)::close(static_cast<int>(lock));
  return held ? std::error_code() : error;
}

}  // namespace quorlant::platform
