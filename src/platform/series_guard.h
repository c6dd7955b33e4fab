#pragma once

#include <filesystem>
#include <string>
#include <system_error>

#include "platform/platform.h"

// One run at a time in a working directory. guard_posix.cpp and guard_windows.cpp implement
// it, with the questions a series asks before its first file (FileSystem::may_write and
// free_space); the build picks one.
namespace quorlant::platform {

/// An exclusive lock of one run on a directory. On POSIX the lock is on the directory itself,
/// so there is no file to plant, link or leave behind; on Windows an exclusive lock file in it
/// that the system removes as it is closed. The system releases the lock when the process ends,
/// however it ends.
class RunLock {
 public:
  RunLock() = default;
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;
  /// Releases the lock.
  ~RunLock();

  /// Takes the lock on `directory`. When another process holds it, fails with
  /// std::errc::resource_unavailable_try_again and `holder` gets its number where the system
  /// tells (else nothing).
  [[nodiscard]] std::error_code take(const std::filesystem::path& directory, std::string& holder);
  bool held() const { return file_ != kNoFile; }

 private:
  FileHandle file_ = kNoFile;
};

}  // namespace quorlant::platform
