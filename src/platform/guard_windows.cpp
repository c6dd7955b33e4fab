// What a run asks before it writes a series, on Windows.
#include <windows.h>

#include <algorithm>
#include <string>

#include "platform/series_guard.h"

namespace quorlant::platform {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::error_code error_of(DWORD code) {
  return system_error(static_cast<int>(code));
}

std::error_code last_error() {
  return error_of(::GetLastError());
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

// The volume and the file index of what `path` leads to, a link followed.
std::error_code file_id(const std::filesystem::path& path, std::optional<FileId>& found) {
  const HANDLE handle = ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return last_error();
  BY_HANDLE_FILE_INFORMATION information{};
  const bool got = ::GetFileInformationByHandle(handle, &information) != 0;
  const std::error_code error = got ? std::error_code() : last_error();
  ::CloseHandle(handle);  // opened to be asked only
  if (!error) {
    found = FileId{information.dwVolumeSerialNumber,
                   (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow};
  }
  return error;
}

std::error_code takes_new_file(const std::filesystem::path& directory) {
  return probe(directory, FILE_ADD_FILE, FILE_FLAG_BACKUP_SEMANTICS);
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

std::error_code SystemFileSystem::may_write(const std::filesystem::path& path, WriteWay way,
                                            std::optional<FileId>& found) {
  found.reset();
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = ::GetLastError();
    // A missing directory fails here already, as the open would (ERROR_PATH_NOT_FOUND).
    return error == ERROR_FILE_NOT_FOUND ? takes_new_file(directory_of(path)) : error_of(error);
  }
  if (const std::error_code error = file_id(path, found)) return error;
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

std::error_code SystemFileSystem::lock_directory(const std::filesystem::path& directory,
                                                 RunLock& lock, std::string& holder) {
  return lock.take(directory, holder);
}

std::error_code RunLock::take(const std::filesystem::path& directory, std::string& holder) {
  // A directory cannot be locked here: a file in it is, made for the run, shared with no other
  // writer and removed by the system as it is closed, however the run ends. Others may read it
  // for the process number it holds.
  const std::filesystem::path path = directory / ".quorlant.lock";
  const HANDLE handle =
      ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr,
                    CREATE_ALWAYS, FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD code = ::GetLastError();
    if (code != ERROR_SHARING_VIOLATION) return error_of(code);
    holder = process_holding(path);
    return std::make_error_code(std::errc::resource_unavailable_try_again);
  }
  file_ = reinterpret_cast<FileHandle>(handle);
  const std::string text = std::to_string(::GetCurrentProcessId()) + "\r\n";
  DWORD written = 0;
  if (!::WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr))
    return last_error();
  return {};
}

// The lock file exists only while a run holds it open: the system removes it as it is closed.
std::error_code SystemFileSystem::lock_held(const std::filesystem::path& directory, bool& held,
                                            std::string& holder) {
  const std::filesystem::path path = directory / ".quorlant.lock";
  held = ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  if (!held) {
    const DWORD code = ::GetLastError();
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? std::error_code()
                                                                          : error_of(code);
  }
  holder = process_holding(path);
  return {};
}

RunLock::~RunLock() {
  // Closing the handle removes the file.
  if (file_ != kNoFile) ::CloseHandle(reinterpret_cast<HANDLE>(file_));
}

}  // namespace quorlant::platform
