// The look-ups on Windows: file attributes, and a link's target as the path it ends at.
#include <windows.h>

#include <algorithm>
#include <string>

#include "platform/held_directory_windows.h"
#include "platform/platform.h"

namespace quorlant::platform {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::error_code last_error() {
  return system_error(static_cast<int>(::GetLastError()));
}

bool is_missing(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
         error == ERROR_DIRECTORY;
}

FileKind entry_kind(DWORD attributes) {
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return FileKind::kLink;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return FileKind::kDirectory;
  if (attributes & FILE_ATTRIBUTE_DEVICE) return FileKind::kOther;
  return FileKind::kRegular;
}

std::uint64_t size_of(DWORD high, DWORD low) {
  return (std::uint64_t{high} << 32) | low;
}

FileId id_of(const BY_HANDLE_FILE_INFORMATION& information) {
  return {information.dwVolumeSerialNumber, size_of(information.nFileIndexHigh,
                                                    information.nFileIndexLow)};
}

// The file or directory `path` leads to, opened for its attributes only: with `flags`
// FILE_FLAG_OPEN_REPARSE_POINT a link itself, else what it leads to.
HANDLE open_to_ask(const std::filesystem::path& path, DWORD flags = 0) {
  return ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr);
}

// What the file `path` opens to (as open_to_ask) says of itself.
std::error_code information_of(const std::filesystem::path& path, DWORD flags,
                               BY_HANDLE_FILE_INFORMATION& information) {
  const HANDLE file = open_to_ask(path, flags);
  if (file == INVALID_HANDLE_VALUE) return last_error();
  const bool got = ::GetFileInformationByHandle(file, &information) != 0;
  const std::error_code error = got ? std::error_code() : last_error();
  ::CloseHandle(file);  // opened to be asked only
  return error;
}

std::error_code look_up_target(const std::filesystem::path& path, Entry& entry) {
  BY_HANDLE_FILE_INFORMATION information{};
  if (const std::error_code error = information_of(path, 0, information)) {
    entry = {};
    return is_missing(static_cast<DWORD>(error.value())) ? std::error_code() : error;
  }
  entry.kind = entry_kind(information.dwFileAttributes & ~DWORD{FILE_ATTRIBUTE_REPARSE_POINT});
  if (entry.kind == FileKind::kRegular)
    entry.size = size_of(information.nFileSizeHigh, information.nFileSizeLow);
  return {};
}

// What `path` is, a link not followed: its kind, id and names, and for a file whether this
// process may write it (not read-only, and held open by no program that forbids it).
std::error_code status_of(const std::filesystem::path& path, FileStatus& status) {
  status = {};
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES)
    return is_missing(::GetLastError()) ? std::error_code() : last_error();
  status.kind = entry_kind(attributes);
  BY_HANDLE_FILE_INFORMATION information{};
  if (const std::error_code error =
          information_of(path, FILE_FLAG_OPEN_REPARSE_POINT, information))
    return error;
  status.id = id_of(information);
  status.links = information.nNumberOfLinks;
  // A directory refuses an open to write with "access denied".
  if (status.kind == FileKind::kDirectory) status.write_error = system_error(ERROR_ACCESS_DENIED);
  if (status.kind != FileKind::kRegular) return {};
  if (attributes & FILE_ATTRIBUTE_READONLY) {
    status.write_error = system_error(ERROR_ACCESS_DENIED);
    return {};
  }
  // Replacing needs the right to write and delete it: a program holding it open without
  // sharing (an editor's lock) says no here, before anything is written.
  const HANDLE probe = ::CreateFileW(path.c_str(), FILE_WRITE_DATA | DELETE, kShareAll, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (probe == INVALID_HANDLE_VALUE) {
    status.write_error = last_error();
  } else {
    ::CloseHandle(probe);
  }
  return {};
}

}  // namespace

std::error_code SystemFileSystem::look_up(const std::filesystem::path& path, bool follow,
                                          Entry& entry) const {
  entry = {};
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
    return is_missing(::GetLastError()) ? std::error_code() : last_error();
  }
  entry.kind = entry_kind(data.dwFileAttributes);
  if (follow && entry.kind == FileKind::kLink) return look_up_target(path, entry);
  if (entry.kind == FileKind::kRegular) entry.size = size_of(data.nFileSizeHigh, data.nFileSizeLow);
  return {};
}

std::error_code SystemFileSystem::link_target(const std::filesystem::path& path,
                                              std::filesystem::path& target) const {
  return real_path(path, target);
}

std::error_code SystemFileSystem::real_path(const std::filesystem::path& path,
                                            std::filesystem::path& target) const {
  const HANDLE file = open_to_ask(path);
  if (file == INVALID_HANDLE_VALUE) return last_error();
  std::wstring name(MAX_PATH, L'\0');
  DWORD length = ::GetFinalPathNameByHandleW(file, name.data(), static_cast<DWORD>(name.size()),
                                             FILE_NAME_NORMALIZED);
  if (length >= name.size()) {
    name.resize(length);
    length = ::GetFinalPathNameByHandleW(file, name.data(), static_cast<DWORD>(name.size()),
                                         FILE_NAME_NORMALIZED);
  }
  const std::error_code error = length == 0 ? last_error() : std::error_code();
  ::CloseHandle(file);
  if (error) return error;
  name.resize(length);
  // The system's long-path prefix is no part of the name the working directory has.
  if (name.starts_with(L"\\\\?\\UNC\\")) {
    name = L"\\\\" + name.substr(8);
  } else if (name.starts_with(L"\\\\?\\")) {
    name = name.substr(4);
  }
  target = name;
  return {};
}

// Held without sharing its deletion, so that it is neither renamed nor replaced meanwhile, and
// named from then on by the final path the system gives for it.
std::error_code SystemFileSystem::open_directory(FileHandle directory,
                                                 const std::filesystem::path& name,
                                                 FileHandle& held) {
  held = kNoFile;
  const std::filesystem::path path = in_held(directory, name);
  const HANDLE handle =
      ::CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return last_error();
  std::filesystem::path final_path;
  if (const std::error_code error = real_path(path, final_path)) {
    ::CloseHandle(handle);  // the report is `error`
    return error;
  }
  held = reinterpret_cast<FileHandle>(new HeldDirectory{handle, final_path});
  return {};
}

void SystemFileSystem::close_directory(FileHandle held) {
  HeldDirectory* directory = &held_directory(held);
  ::CloseHandle(directory->handle);  // nothing of a directory held is lost by closing it
  delete directory;
}

std::error_code SystemFileSystem::status_at(FileHandle directory, std::string_view name,
                                            FileStatus& status) {
  return status_of(in_held(directory, name), status);
}

// Holds `parent`, the directory a resolved name ends in, as the target's directory.
static std::error_code hold_parent(SystemFileSystem& files, const std::filesystem::path& parent,
                                   Target& target) {
  // A missing directory on the way is what a create in it would say: the path is not found.
  if (const std::error_code error = files.open_directory(kNoFile, parent, target.directory))
    return error.value() == ERROR_FILE_NOT_FOUND ? system_error(ERROR_PATH_NOT_FOUND) : error;
  BY_HANDLE_FILE_INFORMATION information{};
  if (!::GetFileInformationByHandle(held_directory(target.directory).handle, &information)) {
    const std::error_code error = last_error();
    files.close_directory(target.directory);
    target.directory = kNoFile;
    return error;
  }
  target.directory_id = id_of(information);
  return {};
}

// Links on the way are followed by the system as written: only the owner of a directory makes
// links here, so none is planted by another user. A link in the last part leads to its target.
std::error_code SystemFileSystem::resolve(FileHandle base, const std::filesystem::path&,
                                          const std::filesystem::path& name, Target& target,
                                          Resolution& resolution) {
  target = {};
  resolution = {};
  std::filesystem::path path = held_directory(base).path / name;
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    if (const std::error_code error = real_path(path, path)) return error;
  }
  const std::filesystem::path parent = path.parent_path();
  target.name = path.filename().string();
  target.directory = base;
  if (parent != held_directory(base).path) {
    if (const std::error_code error = hold_parent(*this, parent, target)) return error;
  }
  const std::error_code error = status_of(path, target.status);
  if (error && target.directory != base) close_directory(target.directory);
  return error;
}

// What the file `handle` opened is, asked of the open file: kept open only when regular.
static std::error_code ask_opened(HANDLE handle, FileHandle& file, Entry& entry) {
  BY_HANDLE_FILE_INFORMATION information{};
  std::error_code error;
  if (::GetFileType(handle) != FILE_TYPE_DISK) {
    entry.kind = FileKind::kOther;
  } else if (!::GetFileInformationByHandle(handle, &information)) {
    error = last_error();
  } else {
    entry.kind = entry_kind(information.dwFileAttributes);
    entry.size = size_of(information.nFileSizeHigh, information.nFileSizeLow);
  }
  if (!error && entry.kind == FileKind::kRegular) {
    file = reinterpret_cast<FileHandle>(handle);
  } else {
    ::CloseHandle(handle);  // opened only to be asked
  }
  return error;
}

std::error_code SystemFileSystem::open_to_read(FileHandle directory,
                                               const std::filesystem::path& name, Reading reading,
                                               FileHandle& file, Entry& entry) {
  file = kNoFile;
  entry = {};
  const bool plain = reading == Reading::kPlain;
  const HANDLE handle = ::CreateFileW(
      in_held(directory, name).c_str(), GENERIC_READ,
      plain ? kShareAll : FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
      plain ? FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT : FILE_ATTRIBUTE_NORMAL,
      nullptr);
  if (handle == INVALID_HANDLE_VALUE)
    return plain && is_missing(::GetLastError()) ? std::error_code() : last_error();
  if (plain) return ask_opened(handle, file, entry);
  file = reinterpret_cast<FileHandle>(handle);
  return {};
}

}  // namespace quorlant::platform
