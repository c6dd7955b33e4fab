#pragma once

#include <filesystem>
#include <string>
#include <system_error>

#include "platform/platform.h"

// One run at a time in a working directory. guard_posix.cpp and guard_windows.cpp implement
// it, with the questions a series asks before its first file (FileSystem::may_add and
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

  /// Keeps `file`, whose open holds the lock (FileSystem::lock_directory takes it), until the
  /// lock goes.
  void hold(FileHandle file) { file_ = file; }
  bool held() const { return file_ != kNoFile; }

 private:
  FileHandle file_ = kNoFile;
};

}  // namespace quorlant::platform
