// What a run asks before it writes a series, on Windows.
#include <windows.h>

#include <algorithm>
#include <string>

#include "platform/held_directory_windows.h"

namespace quorlant::platform {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr std::string_view kLockFile = ".quorlant.lock";

std::error_code error_of(DWORD code) {
  return system_error(static_cast<int>(code));
}

std::error_code last_error() {
  return error_of(::GetLastError());
}

// The process number the run holding the lock file at `path` wrote there; empty when the file
// cannot be read or holds none yet.
std::string process_holding(const std::filesystem::path& path) {
  const HANDLE reader = ::CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
  if (reader == INVALID_HANDLE_VALUE) return {};
  char text[64];
  DWORD got = 0;
  std::string holder;
  if (::ReadFile(reader, text, sizeof text, &got, nullptr)) holder.assign(text, got);
  ::CloseHandle(reader);
  holder.resize(std::min(holder.find_first_not_of("0123456789"), holder.size()));
  return holder;
}

}  // namespace

// The directory is opened to add a file and closed again: the system checks the rights and the
// sharing of whoever holds it open.
std::error_code SystemFileSystem::may_add(FileHandle directory) {
  const HANDLE handle = ::CreateFileW(held_directory(directory).path.c_str(), FILE_ADD_FILE,
                                      kShareAll, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return last_error();
  ::CloseHandle(handle);
  return {};
}

// NTFS has no fixed number of files: only bytes run out.
std::error_code SystemFileSystem::free_space(FileHandle directory, Room& room) {
  ULARGE_INTEGER available{};
  if (!::GetDiskFreeSpaceExW(held_directory(directory).path.c_str(), &available, nullptr, nullptr))
    return last_error();
  room.bytes = available.QuadPart;
  room.files = UINT64_MAX;
  return {};
}

// A directory cannot be locked here: a file in it is, made for the run, shared with no other
// writer and removed by the system as it is closed, however the run ends. Others may read it
// for the process number it holds.
std::error_code SystemFileSystem::lock_directory(FileHandle directory, FileHandle& lock,
                                                 std::string& holder) {
  const std::filesystem::path path = in_held(directory, kLockFile);
  const HANDLE handle =
      ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr,
                    CREATE_ALWAYS, FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD code = ::GetLastError();
    if (code != ERROR_SHARING_VIOLATION) return error_of(code);
    holder = process_holding(path);
    return std::make_error_code(std::errc::resource_unavailable_try_again);
  }
  lock = reinterpret_cast<FileHandle>(handle);
  const std::string text = std::to_string(::GetCurrentProcessId()) + "\r\n";
  DWORD written = 0;
  if (!::WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr))
    return last_error();
  return {};
}

// The lock file exists only while a run holds it open: the system removes it as it is closed.
std::error_code SystemFileSystem::lock_held(FileHandle directory, bool& held,
                                            std::string& holder) {
  const std::filesystem::path path = in_held(directory, kLockFile);
  held = ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  if (!held) {
    const DWORD code = ::GetLastError();
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? std::error_code()
                                                                          : error_of(code);
  }
  holder = process_holding(path);
  return {};
}

}  // namespace quorlant::platform
