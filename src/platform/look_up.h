#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

// The questions a reader of the tree asks before it opens anything: what a name is, where a
// link points, what a directory holds. look_up_posix.cpp and look_up_windows.cpp answer them.
namespace quorlant::platform {

/// An open file: a descriptor on POSIX, a handle on Windows. kNoFile when none.
using FileHandle = std::intptr_t;
inline constexpr FileHandle kNoFile = -1;

/// What a name is. A look-up that does not follow links may find kLink; one that follows them
/// never does. The look-ups of a reader of the tree count a pipe as kOther.
enum class FileKind {
  kMissing,  // nothing by that name, or a part of the way is missing or not a directory
  kRegular,
  kDirectory,
  kLink,
  kFifo,
  kOther,  // a device, a socket
};

struct Entry {
  FileKind kind = FileKind::kMissing;
  std::uint64_t size = 0;   // of a regular file
  bool own = true;          // the running user's (on Windows every file counts as the user's)
  std::uint64_t links = 1;  // names the file has (hard links)
};

/// The look-ups, abstract so that a test can make any of them fail. Each answers or returns the
/// system's reason (permission, an I/O error, a name too long): a failure is never "missing".
class LookUps {
 public:
  virtual ~LookUps() = default;
  /// What `path` is; with `follow`, what a link leads to.
  [[nodiscard]] virtual std::error_code look_up(const std::filesystem::path& path, bool follow,
                                                Entry& entry) const = 0;
  /// Where the link `path` points: as written in it, relative to the link's directory or
  /// absolute (on Windows the absolute path it ends at).
  [[nodiscard]] virtual std::error_code link_target(const std::filesystem::path& path,
                                                    std::filesystem::path& target) const = 0;
  /// The absolute path `path` leads to, every link followed.
  [[nodiscard]] virtual std::error_code real_path(const std::filesystem::path& path,
                                                  std::filesystem::path& real) const = 0;
  /// The names in the directory `path`, in no particular order.
  [[nodiscard]] virtual std::error_code names_in(const std::filesystem::path& path,
                                                 std::vector<std::string>& names) const = 0;
};

}  // namespace quorlant::platform
