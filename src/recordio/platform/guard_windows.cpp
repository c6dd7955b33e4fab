// What a run asks before it writes a series, on Windows.
#include <windows.h>

#include "recordio/platform/series_guard.h"

namespace quorlant::recordio::platform {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Windows locks are binding: the lock is on one byte far past the end, so that the process
// number at the start stays readable to the run that is refused.
constexpr DWORD kLockOffsetHigh = 0x100;

std::error_code error_of(DWORD code) {
  return system_error(static_cast<int>(code));
}

std::error_code last_error() {
  return error_of(::GetLastError());
}

std::filesystem::path directory_of(const std::filesystem::path& path) {
  const std::filesystem::path parent = path.parent_path();
  return parent.empty() ? "." : parent;
}

// Opens `path` with `access` and closes it again: the system checks the rights and the
// sharing of whoever holds it open.
std::error_code probe(const std::filesystem::path& path, DWORD access, DWORD flags) {
  const HANDLE handle =
      ::CreateFileW(path.c_str(), access, kShareAll, nullptr, OPEN_EXISTING, flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return last_error();
  ::CloseHandle(handle);
  return {};
}

std::error_code takes_new_file(const std::filesystem::path& directory) {
  return probe(directory, FILE_ADD_FILE, FILE_FLAG_BACKUP_SEMANTICS);
}

}  // namespace

std::error_code SystemFileSystem::may_write(const std::filesystem::path& path, WriteWay way,
                                            bool& exists) {
  exists = false;
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = ::GetLastError();
    // A missing directory fails here already, as the open would (ERROR_PATH_NOT_FOUND).
    return error == ERROR_FILE_NOT_FOUND ? takes_new_file(directory_of(path)) : error_of(error);
  }
  exists = true;
  // A directory or a read-only file refuses the open with ERROR_ACCESS_DENIED.
  if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))
    return error_of(ERROR_ACCESS_DENIED);
  if (way == WriteWay::kInPlace) return probe(path, GENERIC_WRITE, FILE_ATTRIBUTE_NORMAL);
  // Replacing needs the right to write and delete it: a program holding it open without
  // sharing (an editor's lock) says no here.
  if (const std::error_code error = probe(path, FILE_WRITE_DATA | DELETE, FILE_ATTRIBUTE_NORMAL))
    return error;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return {};
  return takes_new_file(directory_of(path));
}

// NTFS has no fixed number of files: only bytes run out.
std::error_code SystemFileSystem::free_space(const std::filesystem::path& directory, Room& room) {
  ULARGE_INTEGER available{};
  if (!::GetDiskFreeSpaceExW(directory.c_str(), &available, nullptr, nullptr)) return last_error();
  room.bytes = available.QuadPart;
  room.files = UINT64_MAX;
  return {};
}

std::error_code RunLock::take(const std::filesystem::path& path, std::string& holder) {
  // The run that held the lock may remove its file just before this one gets it: the lock
  // counts only on the file the name still has, else the next attempt takes the new one.
  std::error_code error;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll,
                                        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      // A file being removed refuses every open until it is gone.
      error = last_error();
      if (::GetLastError() != ERROR_ACCESS_DENIED) return error;
      ::Sleep(1);
      continue;
    }
    OVERLAPPED where{};
    where.OffsetHigh = kLockOffsetHigh;
    if (!::LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                      &where)) {
      error = last_error();
      if (::GetLastError() == ERROR_LOCK_VIOLATION || ::GetLastError() == ERROR_IO_PENDING) {
        char text[64];
        DWORD got = 0;
        OVERLAPPED start{};
        if (::ReadFile(handle, text, sizeof text, &got, &start)) holder.assign(text, got);
        error = std::make_error_code(std::errc::resource_unavailable_try_again);
      }
      ::CloseHandle(handle);
      return error;
    }
    BY_HANDLE_FILE_INFORMATION locked{};
    BY_HANDLE_FILE_INFORMATION named{};
    const HANDLE again = ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    const bool same = again != INVALID_HANDLE_VALUE &&
                      ::GetFileInformationByHandle(handle, &locked) &&
                      ::GetFileInformationByHandle(again, &named) &&
                      locked.dwVolumeSerialNumber == named.dwVolumeSerialNumber &&
                      locked.nFileIndexHigh == named.nFileIndexHigh &&
                      locked.nFileIndexLow == named.nFileIndexLow;
    if (again != INVALID_HANDLE_VALUE) ::CloseHandle(again);
    if (!same) {
      ::CloseHandle(handle);
      ::Sleep(1);
      continue;
    }
    file_ = reinterpret_cast<FileHandle>(handle);
    path_ = path;
    const std::string text = std::to_string(::GetCurrentProcessId()) + "\r\n";
    DWORD written = 0;
    OVERLAPPED start{};
    if (!::SetEndOfFile(handle) ||
        !::WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, &start)) {
      return last_error();
    }
    return {};
  }
  return error ? error : std::make_error_code(std::errc::resource_unavailable_try_again);
}

RunLock::~RunLock() {
  if (file_ == kNoFile) return;
  // Removed while still held, so that no other run locks a file about to vanish. A reader that
  // does not share deletion keeps it, and the next run takes it as it is.
  ::DeleteFileW(path_.c_str());
  ::CloseHandle(reinterpret_cast<HANDLE>(file_));
}

}  // namespace quorlant::recordio::platform
