// The look-ups on POSIX systems: lstat, stat, readlink, realpath and a directory listing; the
// step-by-step resolver of the names a run writes.
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__linux__) && __has_include(<linux/openat2.h>)
#include <linux/openat2.h>
#include <sys/syscall.h>
#endif

#include <cerrno>
#include <cstdlib>
#include <deque>
#include <string>
#include <vector>

#include "platform/look_up.h"
#include "platform/platform.h"

namespace quorlant::platform {

namespace {

FileKind entry_kind(mode_t mode) {
  if (S_ISREG(mode)) return FileKind::kRegular;
  if (S_ISDIR(mode)) return FileKind::kDirectory;
  if (S_ISLNK(mode)) return FileKind::kLink;
  return FileKind::kOther;
}

Entry entry_of(const struct stat& status) {
  Entry entry;
  entry.kind = entry_kind(status.st_mode);
  if (entry.kind == FileKind::kRegular) entry.size = static_cast<std::uint64_t>(status.st_size);
  entry.own = status.st_uid == ::geteuid();
  entry.links = static_cast<std::uint64_t>(status.st_nlink);
  return entry;
}

std::error_code last_error() {
  return {errno, std::system_category()};
}

// As many links on one name as the systems themselves follow before they give up.
constexpr int kMaxLinks = 40;

// A handle to walk from, which needs no right to read the directory.
#ifdef O_PATH
constexpr int kBaseHandle = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
constexpr int kBaseHandle = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif
constexpr int kDirectoryHandle = kBaseHandle | O_NOFOLLOW;

// The directory `part` of `directory`, never through a link: where the kernel has openat2, no
// magic link of /proc either.
int open_directory(int directory, const char* part) {
#if defined(__linux__) && defined(SYS_openat2) && defined(RESOLVE_NO_MAGICLINKS)
  struct open_how how {};
  how.flags = static_cast<std::uint64_t>(kDirectoryHandle);
  how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
  const long fd = ::syscall(SYS_openat2, directory, part, &how, sizeof how);
  if (fd >= 0 || (errno != ENOSYS && errno != EPERM)) return static_cast<int>(fd);
#endif
  return ::openat(directory, part, kDirectoryHandle);
}

// "alice", or the number where the system has no name for the user.
std::string user_name(uid_t user) {
  struct passwd entry {};
  struct passwd* found = nullptr;
  std::vector<char> buffer(16384);
  if (::getpwuid_r(user, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr)
    return entry.pw_name;
  return std::to_string(user);
}

// One name resolved a part at a time from a handle of the directory reached so far.
class Resolver {
 public:
  explicit Resolver(std::filesystem::path base) : path_(std::move(base)) {}
  Resolver(const Resolver&) = delete;
  Resolver& operator=(const Resolver&) = delete;
  ~Resolver() { close_directory(); }

  std::error_code run(const std::filesystem::path& name, Resolution& resolution) {
    directory_ = ::open(path_.c_str(), kBaseHandle);
    if (directory_ < 0) {
      if (errno != ENOENT && errno != ENOTDIR) return last_error();
      missing_ = true;
    }
    push_front(name);
    while (!pending_.empty()) {
      const std::string part = std::move(pending_.front());
      pending_.pop_front();
      if (const std::error_code error = step(part, resolution)) return error;
    }
    resolution.path = path_;
    return {};
  }

 private:
  void push_front(const std::filesystem::path& parts) {
    std::vector<std::string> names;
    for (const auto& part : parts.relative_path()) names.push_back(part.string());
    pending_.insert(pending_.begin(), names.begin(), names.end());
  }

  void close_directory() {
    if (directory_ >= 0) (void)::close(directory_);  // opened to look only
    directory_ = -1;
  }

  std::error_code enter(int directory) {
    if (directory < 0) return last_error();
    close_directory();
    directory_ = directory;
    return {};
  }

  std::error_code step(const std::string& part, Resolution& resolution) {
    if (part.empty() || part == ".") return {};
    if (part == "..") return climb();
    if (missing_) {
      path_ /= part;
      return {};
    }
    struct stat status {};
    if (::fstatat(directory_, part.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno != ENOENT) return last_error();
      missing_ = true;  // the open makes it, or says what is missing
      path_ /= part;
      return {};
    }
    if (S_ISLNK(status.st_mode)) return follow(part, status, resolution);
    path_ /= part;
    if (pending_.empty()) return {};
    if (!S_ISDIR(status.st_mode)) {
      missing_ = true;  // a name below a file: the open says so
      return {};
    }
    return enter(open_directory(directory_, part.c_str()));
  }

  std::error_code climb() {
    const bool at_root = path_ == path_.root_path();
    const bool lexical = path_.empty() || path_.filename() == ".." || path_.filename() == ".";
    if (lexical) {
      path_ /= "..";
    } else if (!at_root) {
      path_ = path_.parent_path();
    }
    if (missing_) return {};
    return enter(open_directory(directory_, ".."));
  }

  std::error_code follow(const std::string& part, const struct stat& status,
                         Resolution& resolution) {
    if (status.st_uid != ::geteuid()) {
      resolution.link = path_ / part;
      resolution.link_owner = user_name(status.st_uid);
      return foreign_link_error();
    }
    if (++links_ > kMaxLinks) return std::make_error_code(std::errc::too_many_symbolic_link_levels);
    const std::size_t length = status.st_size > 0 ? static_cast<std::size_t>(status.st_size) : 255;
    std::vector<char> target(length + 2);
    const ssize_t got = ::readlinkat(directory_, part.c_str(), target.data(), target.size());
    if (got < 0) return last_error();
    // A link that grew since it was looked at is looked at again.
    if (static_cast<std::size_t>(got) >= target.size()) {
      pending_.push_front(part);
      return {};
    }
    const std::filesystem::path to(std::string(target.data(), static_cast<std::size_t>(got)));
    if (to.is_absolute()) {
      path_ = "/";
      if (const std::error_code error = enter(::open("/", kDirectoryHandle))) return error;
    }
    push_front(to);
    return {};
  }

  std::filesystem::path path_;
  int directory_ = -1;
  std::deque<std::string> pending_;
  int links_ = 0;
  bool missing_ = false;  // a part on the way is missing, or not a directory
};

}  // namespace

std::error_code SystemFileSystem::resolve(const std::filesystem::path& base,
                                          const std::filesystem::path& name,
                                          Resolution& resolution) {
  resolution = {};
  Resolver resolver(name.is_absolute() ? name.root_path() : base);
  return resolver.run(name, resolution);
}

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
  entry = entry_of(status);
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

std::error_code SystemFileSystem::open_plain(const std::filesystem::path& path, std::intptr_t& file,
                                             Entry& entry) const {
  file = kNoFile;
  entry = {};
  int fd = -1;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? std::error_code() : last_error();
  struct stat status {};
  if (::fstat(fd, &status) != 0) {
    const std::error_code error = last_error();
    (void)::close(fd);  // the report is `error`
    return error;
  }
  entry = entry_of(status);
  if (entry.kind == FileKind::kRegular) {
    file = fd;
  } else {
    (void)::close(fd);  // opened only to be asked
  }
  return {};
}

std::error_code SystemFileSystem::read_plain(std::intptr_t file, std::span<char> buffer,
                                             std::size_t& got) const {
  for (;;) {
    const ssize_t n = ::read(static_cast<int>(file), buffer.data(), buffer.size());
    if (n >= 0) {
      got = static_cast<std::size_t>(n);
      return {};
    }
    if (errno != EINTR) return last_error();
  }
}

void SystemFileSystem::close_plain(std::intptr_t file) const {
  (void)::close(static_cast<int>(file));  // read only: nothing of it can be lost
}

}  // namespace quorlant::platform
