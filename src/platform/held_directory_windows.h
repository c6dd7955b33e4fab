#pragma once

#include <windows.h>

#include <filesystem>

#include "platform/platform.h"

// A directory a run holds on Windows: a handle that shares no deletion, so that the directory
// cannot be renamed or replaced while the run holds it, and the final path it was found at,
// which every call made "in" it names.
namespace quorlant::platform {

struct HeldDirectory {
  HANDLE handle = INVALID_HANDLE_VALUE;
  std::filesystem::path path;
};

inline HeldDirectory& held_directory(FileHandle directory) {
  return *reinterpret_cast<HeldDirectory*>(directory);
}

/// `name` in the held `directory`, or with kNoFile `name` from the process's working directory.
inline std::filesystem::path in_held(FileHandle directory, const std::filesystem::path& name) {
  return directory == kNoFile ? name : held_directory(directory).path / name;
}

}  // namespace quorlant::platform
