// The look-ups on POSIX systems: lstat, stat, readlink and a directory listing.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "recordio/platform/look_up.h"

namespace quorlant::recordio::platform {

namespace {

EntryKind kind_of(mode_t mode) {
  if (S_ISREG(mode)) return EntryKind::kRegular;
  if (S_ISDIR(mode)) return EntryKind::kDirectory;
  if (S_ISLNK(mode)) return EntryKind::kLink;
  return EntryKind::kOther;
}

class PosixLookUps final : public LookUps {
 public:
  std::error_code look_up(const std::filesystem::path& path, bool follow,
                          Entry& entry) const override {
    struct stat status {};
    entry = {};
    const int result = follow ? ::stat(path.c_str(), &status) : ::lstat(path.c_str(), &status);
    if (result != 0) {
      // A name below a file is as missing as a name in a missing directory.
      if (errno == ENOENT || errno == ENOTDIR) return {};
      return {errno, std::system_category()};
    }
    entry.kind = kind_of(status.st_mode);
    if (entry.kind == EntryKind::kRegular) entry.size = static_cast<std::uint64_t>(status.st_size);
    return {};
  }

  std::error_code link_target(const std::filesystem::path& path,
                              std::filesystem::path& target) const override {
    std::error_code error;
    target = std::filesystem::read_symlink(path, error);
    return error;
  }

  std::error_code real_path(const std::filesystem::path& path,
                            std::filesystem::path& real) const override {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return {errno, std::system_category()};
    real = resolved;
    std::free(resolved);
    return {};
  }

  std::error_code names_in(const std::filesystem::path& path,
                           std::vector<std::string>& names) const override {
    std::error_code error;
    names.clear();
    for (std::filesystem::directory_iterator it(path, error), end; !error && it != end;
         it.increment(error)) {
      names.push_back(it->path().filename().string());
    }
    return error;
  }
};

}  // namespace

const LookUps& system_look_ups() {
  static const PosixLookUps look_ups;
  return look_ups;
}

}  // namespace quorlant::recordio::platform
