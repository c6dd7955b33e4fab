// The look-ups on POSIX systems: lstat, stat, readlink, realpath and a directory listing; the
// step-by-step resolver of the names a run writes; the opens that ask what they opened.
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#ifdef __linux__
#include <sys/sysmacros.h>
#endif
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

#include "platform/platform.h"

namespace quorlant::platform {

namespace {

// Who the run is: it never changes.
uid_t me() {
  static const uid_t user = ::geteuid();
  return user;
}

FileKind kind_of(mode_t mode) {
  if (S_ISREG(mode)) return FileKind::kRegular;
  if (S_ISDIR(mode)) return FileKind::kDirectory;
  if (S_ISLNK(mode)) return FileKind::kLink;
  if (S_ISFIFO(mode)) return FileKind::kFifo;
  return FileKind::kOther;
}

// A reader of the tree counts a pipe as kOther.
Entry entry_of(const struct stat& status) {
  Entry entry;
  entry.kind = S_ISFIFO(status.st_mode) ? FileKind::kOther : kind_of(status.st_mode);
  if (entry.kind == FileKind::kRegular) entry.size = static_cast<std::uint64_t>(status.st_size);
  entry.own = status.st_uid == me();
  return entry;
}

std::error_code last_error() {
  return {errno, std::system_category()};
}

// What the file just opened is, and its blocking restored: a pipe is never written, as its
// reader could hold the run (and its lock) for as long as it likes; the open did not wait for
// one, as O_NONBLOCK says. A regular file pays no heed to the flag; anything else waits again.
std::error_code settle_kind(int fd, FileKind& kind) {
  struct stat status {};
  if (::fstat(fd, &status) != 0) return last_error();
  kind = kind_of(status.st_mode);
  if (kind == FileKind::kFifo) return not_regular_file_error();
  if (kind == FileKind::kRegular) return {};
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) return last_error();
  return {};
}

// An open a signal cut short is made again.
int open_again_if_interrupted(int directory, const char* name, int flags) {
  int fd = -1;
  do {
    fd = ::openat(directory, name, flags, 0666);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// As many links on one name as the systems themselves follow before they give up.
constexpr int kMaxLinks = 40;

// The directory `part` of `directory` held, never through a link: where the kernel has openat2,
// no magic link of /proc either, but for a directory this user may search and not read.
int open_directory_part(int directory, const char* part) {
#if defined(__linux__) && defined(SYS_openat2) && defined(RESOLVE_NO_MAGICLINKS)
  struct open_how how {};
  how.flags = static_cast<std::uint64_t>(O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
  const long fd = ::syscall(SYS_openat2, directory, part, &how, sizeof how);
  if (fd >= 0 || (errno != ENOSYS && errno != EPERM && errno != EACCES))
    return static_cast<int>(fd);
#endif
  return open_held_directory(directory, part);
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

// What writing `name` in `directory`, whose look says `status`, `mode` and `marked`
// (append-only or immutable: no one replaces it, root included), would meet.
std::error_code write_problem(int directory, const char* name, const FileStatus& status,
                              mode_t mode, bool marked) {
  if (status.kind == FileKind::kDirectory) return std::make_error_code(std::errc::is_a_directory);
  if (status.kind == FileKind::kRegular && marked)
    return std::make_error_code(std::errc::operation_not_permitted);
  if (status.kind != FileKind::kRegular && status.kind != FileKind::kOther) return {};
  // Root, or the owner with the write bit set, surely may write it; anyone else asks.
  if (me() == 0 || (status.own && (mode & S_IWUSR))) return {};
  return ::faccessat(directory, name, W_OK, AT_EACCESS) == 0 ? std::error_code() : last_error();
}

// What `name` in `directory` is, a link not followed, in one look: its kind, owner, names and
// marks, and for a file whether this process may write it. ENOENT is the system's answer, and
// `status` then says kMissing.
int look_at(int directory, const char* name, FileStatus& status, uid_t& owner,
            std::uint64_t& size) {
  status = {};
  struct statx look {};
  if (::statx(directory, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT,
              STATX_TYPE | STATX_MODE | STATX_UID | STATX_NLINK | STATX_INO | STATX_SIZE,
              &look) != 0)
    return -1;
  const mode_t mode = look.stx_mode;
  owner = look.stx_uid;
  size = look.stx_size;
  status.links = look.stx_nlink;
  // The device as stat gives it, so that a directory entered without a look has the same id.
  status.id = {static_cast<std::uint64_t>(makedev(look.stx_dev_major, look.stx_dev_minor)),
               look.stx_ino};
  status.permissions = static_cast<unsigned>(mode & 07777);
  status.own = owner == me();
  status.kind = kind_of(mode);
  const bool marked = (look.stx_attributes & (STATX_ATTR_APPEND | STATX_ATTR_IMMUTABLE)) != 0;
  status.write_error = write_problem(directory, name, status, mode, marked);
  return 0;
}

// One name resolved a part at a time from a handle of the directory reached so far.
class Resolver {
 public:
  Resolver(int base, std::filesystem::path shown)
      : base_(base), directory_(base), path_(std::move(shown)) {}
  Resolver(const Resolver&) = delete;
  Resolver& operator=(const Resolver&) = delete;
  ~Resolver() { close_directory(); }

  std::error_code run(const std::filesystem::path& name, Target& target, Resolution& resolution) {
    if (const std::error_code error = push_front(name)) return error;
    while (!pending_.empty()) {
      const std::string part = std::move(pending_.front());
      pending_.pop_front();
      if (const std::error_code error = step(part, target, resolution)) return error;
      if (!target.name.empty()) {
        // The directory of the last part is the caller's now.
        target.directory = directory_;
        target.directory_id = directory_id_;
        directory_ = base_;
        return {};
      }
    }
    return std::make_error_code(std::errc::invalid_argument);  // no name to resolve
  }

 private:
  // The parts of `parts` go first; an absolute path starts again from the root.
  std::error_code push_front(const std::filesystem::path& parts) {
    if (parts.is_absolute()) {
      path_ = "/";
      if (const std::error_code error = enter_unseen(open_held_directory(AT_FDCWD, "/")))
        return error;
    }
    std::vector<std::string> names;
    for (const auto& part : parts.relative_path()) names.push_back(part.string());
    pending_.insert(pending_.begin(), names.begin(), names.end());
    return {};
  }

  void close_directory() {
    if (directory_ != base_ && directory_ >= 0) (void)::close(directory_);  // opened to look only
    directory_ = -1;
  }

  std::error_code enter(int directory, FileId id) {
    if (directory < 0) return last_error();
    close_directory();
    directory_ = directory;
    directory_id_ = id;
    return {};
  }

  // The id of a directory entered without a look at it first ("..", "/").
  std::error_code enter_unseen(int directory) {
    struct stat status {};
    if (directory >= 0 && ::fstat(directory, &status) != 0) {
      const std::error_code error = last_error();
      (void)::close(directory);
      return error;
    }
    return enter(directory, {static_cast<std::uint64_t>(status.st_dev),
                             static_cast<std::uint64_t>(status.st_ino)});
  }

  std::error_code step(const std::string& part, Target& target, Resolution& resolution) {
    if (part.empty() || part == ".") return {};
    if (part == "..") return climb();
    FileStatus status;
    uid_t owner = 0;
    std::uint64_t size = 0;
    // A missing last part is no error: the open makes it.
    if (look_at(directory_, part.c_str(), status, owner, size) != 0 &&
        (errno != ENOENT || !pending_.empty()))
      return last_error();
    if (status.kind == FileKind::kLink) return follow(part, owner, size, resolution);
    path_ /= part;
    if (pending_.empty()) {
      target.name = part;
      target.status = status;
      return {};
    }
    if (status.kind != FileKind::kDirectory)
      return std::make_error_code(std::errc::not_a_directory);
    return enter(open_directory_part(directory_, part.c_str()), status.id);
  }

  std::error_code climb() {
    const bool at_root = path_ == path_.root_path();
    const bool lexical = path_.empty() || path_.filename() == ".." || path_.filename() == ".";
    if (lexical) {
      path_ /= "..";
    } else if (!at_root) {
      path_ = path_.parent_path();
    }
    return enter_unseen(open_held_directory(directory_, ".."));
  }

  std::error_code follow(const std::string& part, uid_t owner, std::uint64_t size,
                         Resolution& resolution) {
    if (owner != me()) {
      resolution.link = path_ / part;
      resolution.link_owner = user_name(owner);
      return foreign_link_error();
    }
    if (++links_ > kMaxLinks) return std::make_error_code(std::errc::too_many_symbolic_link_levels);
    const std::size_t length = size > 0 ? static_cast<std::size_t>(size) : 255;
    std::vector<char> target(length + 2);
    const ssize_t got = ::readlinkat(directory_, part.c_str(), target.data(), target.size());
    if (got < 0) return last_error();
    // A link that grew since it was looked at is looked at again.
    if (static_cast<std::size_t>(got) >= target.size()) {
      pending_.push_front(part);
      return {};
    }
    return push_front(std::string(target.data(), static_cast<std::size_t>(got)));
  }

  int base_;
  int directory_;
  FileId directory_id_;
  std::filesystem::path path_;
  std::deque<std::string> pending_;
  int links_ = 0;
};

}  // namespace

int open_held_directory(int directory, const char* name) {
  const int fd = ::openat(directory, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
#ifdef O_PATH
  // A directory this user may search but not read is held all the same, to work in.
  if (fd < 0 && errno == EACCES)
    return ::openat(directory, name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
#endif
  return fd;
}

std::error_code SystemFileSystem::resolve(FileHandle base, const std::filesystem::path& shown_base,
                                          const std::filesystem::path& name, Target& target,
                                          Resolution& resolution) {
  target = {};
  resolution = {};
  Resolver resolver(static_cast<int>(base), shown_base);
  return resolver.run(name, target, resolution);
}

std::error_code SystemFileSystem::status_at(FileHandle directory, std::string_view name,
                                            FileStatus& status) {
  uid_t owner = 0;
  std::uint64_t size = 0;
  if (look_at(static_cast<int>(directory), std::string(name).c_str(), status, owner, size) == 0 ||
      errno == ENOENT)
    return {};
  return last_error();
}

std::error_code SystemFileSystem::look_up(const std::filesystem::path& path, bool follow,
                                          Entry& entry) const {
  struct stat status {};
  entry = {};
  const int result = follow ? ::stat(path.c_str(), &status) : ::lstat(path.c_str(), &status);
  if (result != 0) {
    // A name below a file is as missing as a name in a missing directory.
    if (errno == ENOENT || errno == ENOTDIR) return {};
    return last_error();
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
  if (resolved == nullptr) return last_error();
  real = resolved;
  std::free(resolved);
  return {};
}

std::error_code SystemFileSystem::open_at(FileHandle directory, std::string_view name,
                                          FileHandle& file, FileKind& kind) {
  file = kNoFile;
  const bool known_regular = kind == FileKind::kRegular;
  const int fd = open_again_if_interrupted(static_cast<int>(directory), std::string(name).c_str(),
                                           O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return last_error();
  if (!known_regular) {
    if (const std::error_code error = settle_kind(fd, kind)) {
      (void)::close(fd);  // the report is `error`
      return error;
    }
  }
  file = fd;
  return {};
}

// What the file `fd` opened is, asked of the open file: kept open only when regular.
static std::error_code ask_opened(int fd, FileHandle& file, Entry& entry) {
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

std::error_code SystemFileSystem::open_to_read(FileHandle directory,
                                               const std::filesystem::path& name, Reading reading,
                                               FileHandle& file, Entry& entry) {
  file = kNoFile;
  entry = {};
  const bool plain = reading == Reading::kPlain;
  const int flags =
      plain ? O_RDONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC : O_RDONLY | O_CLOEXEC;
  const int fd = open_again_if_interrupted(
      directory == kNoFile ? AT_FDCWD : static_cast<int>(directory), name.c_str(), flags);
  // A plain file that is not there is missing, as a name below a file is.
  if (fd < 0 && plain && (errno == ENOENT || errno == ENOTDIR)) return {};
  if (fd < 0) return last_error();
  if (plain) return ask_opened(fd, file, entry);
  file = fd;
  return {};
}

}  // namespace quorlant::platform
