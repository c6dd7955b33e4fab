#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

// The questions a reader of the tree asks before it opens anything: what a name is, where a
// link points, what a directory holds. look_up_posix.cpp and look_up_windows.cpp answer them.
namespace quorlant::recordio::platform {

/// What a name is, looked at without following a link.
enum class EntryKind {
  kMissing,  // nothing by that name, or a part of the way is missing or not a directory
  kRegular,
  kDirectory,
  kLink,
  kOther,  // a pipe, a device, a socket
};

struct Entry {
  EntryKind kind = EntryKind::kMissing;
  std::uint64_t size = 0;  // of a regular file
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

/// The system's own answers.
const LookUps& system_look_ups();

}  // namespace quorlant::recordio::platform
