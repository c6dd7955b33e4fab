#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>

#include "recordio/platform/platform.h"

// What a run asks before it writes a series: whether each file can be written, whether the
// series has room, and that no other run writes in the same directory. guard_posix.cpp and
// guard_windows.cpp implement it; the build picks one.
namespace quorlant::recordio::platform {

/// How a file is to be written.
enum class WriteWay {
  kInPlace,   // opened where it is, created when missing
  kReplaced,  // a new file made beside it and renamed over it
};

/// What writing `path` the way `way` says would meet: the error its open would give, or none.
/// A directory, a file this process may not write (read-only, immutable, on a read-only file
/// system), one another program holds open (Windows), a directory that takes no new file where
/// one is needed. A link is judged by what it points to. `exists` says whether `path` names
/// something. Fails too when the system cannot tell.
[[nodiscard]] std::error_code may_write(const std::filesystem::path& path, WriteWay way,
                                        bool& exists);

/// The bytes this process may still use on the file system that holds `directory`.
[[nodiscard]] std::error_code free_space(const std::filesystem::path& directory,
                                         std::uint64_t& bytes);

/// The questions above, answered by the system; a test answers some of them itself.
class SeriesQuestions {
 public:
  virtual ~SeriesQuestions() = default;
  [[nodiscard]] virtual std::error_code may_write(const std::filesystem::path& path, WriteWay way,
                                                  bool& exists) const {
    return platform::may_write(path, way, exists);
  }
  [[nodiscard]] virtual std::error_code free_space(const std::filesystem::path& directory,
                                                   std::uint64_t& bytes) const {
    return platform::free_space(directory, bytes);
  }
};

/// An exclusive lock on a lock file of its own, which names this process while it holds it.
/// The system releases it when the process ends, however it ends; a run that ends in order
/// removes the file too.
class RunLock {
 public:
  RunLock() = default;
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;
  /// Removes the lock file, then releases the lock.
  ~RunLock();

  /// Takes the lock on `path`, making the file when missing. When another process holds it,
  /// fails with std::errc::resource_unavailable_try_again and `holder` gets what that process
  /// wrote there (its number, or nothing when it has not written it yet).
  [[nodiscard]] std::error_code take(const std::filesystem::path& path, std::string& holder);
  bool held() const { return file_ != kNoFile; }

 private:
  FileHandle file_ = kNoFile;
  std::filesystem::path path_;
};

}  // namespace quorlant::recordio::platform
