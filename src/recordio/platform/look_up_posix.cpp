// The look-ups on POSIX systems: lstat, stat, readlink, realpath and a directory listing.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "recordio/platform/look_up.h"
#include "recordio/platform/platform.h"

namespace quorlant::recordio::platform {

namespace {

EntryKind entry_kind(mode_t mode) {
  if (S_ISREG(mode)) return EntryKind::kRegular;
  if (S_ISDIR(mode)) return EntryKind::kDirectory;
  if (S_ISLNK(mode)) return EntryKind::kLink;
  return EntryKind::kOther;
}

}  // namespace

std::error_code SystemFileSystem::look_up(const std::filesystem::path& path, bool follow,
                                          Entry& entry) const {
  struct stat status {};
  entry = {};
  const int result = follow ? ::stat(path.c_str(), &status) : ::lstat(path.c_str(), &status);
  if (result != 0) {
    // A name below a file is as missing as a name in a missing directory.
    if (errno == ENOENT || errno == ENOTDIR) return {};
    return {errno, std::system_category()};
  }
  entry.kind = entry_kind(status.st_mode);
  if (entry.kind == EntryKind::kRegular) entry.size = static_cast<std::uint64_t>(status.st_size);
  return {};
}

std::error_code SystemFileSystem::link_target(const std::filesystem::path& path,
                                              std::filesystem::path& target) const {
  std::error_code error;
  target = std::filesystem::read_symlink(path, error);
  return error;
}

std::error_code SystemFileSystem::real_path(const std::filesystem::path& path,
                                            std::filesystem::path& real) const {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return {errno, std::system_category()};
  real = resolved;
  std::free(resolved);
  return {};
}

}  // namespace quorlant::recordio::platform
