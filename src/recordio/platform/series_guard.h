#pragma once

#include <filesystem>
#include <string>
#include <system_error>

#include "recordio/platform/platform.h"

// One run at a time in a working directory. guard_posix.cpp and guard_windows.cpp implement
// it, with the questions a series asks before its first file (FileSystem::may_write and
// free_space); the build picks one.
namespace quorlant::recordio::platform {

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
