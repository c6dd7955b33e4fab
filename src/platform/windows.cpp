// The platform on Windows: wide paths down to every call, files in binary mode.
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "platform/held_directory_windows.h"
#include "platform/platform.h"

namespace quorlant::platform {

namespace {

// What a Windows program ends with on Ctrl C.
constexpr DWORD kStatusControlCExit = 0xC000013AUL;

// Windows error numbers, read in their own words and compared as the portable conditions the
// record I/O layer asks about.
class WindowsCategory : public std::error_category {
 public:
  const char* name() const noexcept override { return "windows"; }
  std::string message(int code) const override {
    char* text = nullptr;
    const DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string result =
        length > 0 ? std::string(text, length) : "Windows error " + std::to_string(code);
    if (text != nullptr) ::LocalFree(text);
    return result;
  }
  std::error_condition default_error_condition(int code) const noexcept override {
    switch (code) {
      case ERROR_FILE_NOT_FOUND:
      case ERROR_PATH_NOT_FOUND: return std::errc::no_such_file_or_directory;
      case ERROR_ACCESS_DENIED:
      case ERROR_SHARING_VIOLATION:
      case ERROR_LOCK_VIOLATION: return std::errc::permission_denied;
      case ERROR_FILE_EXISTS:
      case ERROR_ALREADY_EXISTS: return std::errc::file_exists;
      case ERROR_DISK_FULL:
      case ERROR_HANDLE_DISK_FULL: return std::errc::no_space_on_device;
      case ERROR_WRITE_PROTECT: return std::errc::read_only_file_system;
      default: return {code, *this};
    }
  }
};

const WindowsCategory windows_category;

std::error_code error_of(DWORD code) {
  return {static_cast<int>(code), windows_category};
}

std::error_code last_error() {
  return error_of(::GetLastError());
}

// What a call that says only whether it worked reports.
std::error_code result(BOOL worked) {
  return worked ? std::error_code() : last_error();
}

HANDLE handle_of(FileHandle file) {
  return reinterpret_cast<HANDLE>(file);
}

// Sharing that lets the interrupt remove a file this run still holds open.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::error_code open_handle(const std::filesystem::path& path, DWORD access, DWORD share,
                            DWORD disposition, FileHandle& file) {
  const HANDLE handle = ::CreateFileW(path.c_str(), access, share, nullptr, disposition,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
  const bool opened = handle != INVALID_HANDLE_VALUE;
  file = opened ? reinterpret_cast<FileHandle>(handle) : kNoFile;
  return result(opened);
}

OVERLAPPED at(std::uint64_t offset) {
  OVERLAPPED where{};
  where.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFU);
  where.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return where;
}

// Set once a run deferred an interrupt, for end_if_interrupted.
std::atomic<bool> interrupt_deferred{false};

BOOL WINAPI defer_or_exit(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
  InterruptDeferral* run = current_run();
  // A run putting a series in place undoes it first and then ends the process itself; this
  // thread waits for that.
  if (run != nullptr && run->wait_for_run(static_cast<int>(event) + 1)) {
    interrupt_deferred.store(true);
    for (;;) ::Sleep(1000);
  }
  ::ExitProcess(kStatusControlCExit);
}

bool stream_missing(DWORD which) {
  const HANDLE handle = ::GetStdHandle(which);
  return handle == nullptr || handle == INVALID_HANDLE_VALUE;
}

// What an open handle names: a pipe, another device, a directory or a regular file.
std::error_code kind_of_open(HANDLE handle, FileKind& kind) {
  const DWORD type = ::GetFileType(handle);
  if (type == FILE_TYPE_UNKNOWN && ::GetLastError() != NO_ERROR) return last_error();
  if (type != FILE_TYPE_DISK) {
    kind = type == FILE_TYPE_PIPE ? FileKind::kFifo : FileKind::kOther;
    return {};
  }
  BY_HANDLE_FILE_INFORMATION information{};
  if (!::GetFileInformationByHandle(handle, &information)) return last_error();
  kind = (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? FileKind::kDirectory
                                                                   : FileKind::kRegular;
  return {};
}

}  // namespace

std::string_view record_end() {
  return "\r\n";
}

std::error_code SystemFileSystem::open_at(FileHandle directory, std::string_view name,
                                          FileHandle& file, FileKind& kind) {
  const std::error_code opened = open_handle(in_held(directory, name),
                                             GENERIC_READ | GENERIC_WRITE, kShareAll, OPEN_ALWAYS,
                                             file);
  if (opened || kind == FileKind::kRegular) return opened;
  const std::error_code error = kind_of_open(handle_of(file), kind);
  if (error) {
    (void)::CloseHandle(handle_of(file));  // the report is `error`
    file = kNoFile;
  }
  return error;
}

std::error_code SystemFileSystem::create_at(FileHandle directory, std::string_view name,
                                            const FileStatus&, FileHandle& file) {
  return open_handle(in_held(directory, name), GENERIC_WRITE | DELETE,
                     FILE_SHARE_READ | FILE_SHARE_DELETE, CREATE_NEW, file);
}

std::error_code SystemFileSystem::write(FileHandle file, std::string_view bytes,
                                        std::optional<std::uint64_t> offset) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1U << 30));
    DWORD written = 0;
    OVERLAPPED where = at(offset.value_or(0) + done);
    if (!::WriteFile(handle_of(file), bytes.data() + done, chunk, &written,
                     offset ? &where : nullptr)) {
      return last_error();
    }
    if (written == 0) return std::make_error_code(std::errc::io_error);
    done += written;
  }
  return {};
}

std::error_code SystemFileSystem::read(FileHandle file, std::span<char> buffer,
                                       std::uint64_t offset, std::size_t& got) {
  DWORD read_bytes = 0;
  OVERLAPPED where = at(offset);
  got = 0;
  if (!::ReadFile(handle_of(file), buffer.data(), static_cast<DWORD>(buffer.size()), &read_bytes,
                  &where)) {
    // A pipe whose writer has closed it is at its end too.
    const DWORD error = ::GetLastError();
    return error == ERROR_HANDLE_EOF || error == ERROR_BROKEN_PIPE ? std::error_code()
                                                                   : last_error();
  }
  got = read_bytes;
  return {};
}

std::error_code SystemFileSystem::cut(FileHandle file, std::uint64_t length) {
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
  return result(::SetFileInformationByHandle(handle_of(file), FileEndOfFileInfo, &end, sizeof end));
}

std::error_code SystemFileSystem::flush(FileHandle file) {
  return result(::FlushFileBuffers(handle_of(file)));
}

// Windows writes back by itself; the flush that follows does the rest.
std::error_code SystemFileSystem::start_write_back(FileHandle) {
  return {};
}

std::error_code SystemFileSystem::link_at(FileHandle directory, std::string_view existing,
                                          std::string_view link) {
  return result(::CreateHardLinkW(in_held(directory, link).c_str(),
                                 in_held(directory, existing).c_str(), nullptr));
}

std::error_code SystemFileSystem::close(FileHandle file) {
  return result(::CloseHandle(handle_of(file)));
}

// The rename reaches the disk before it returns, so the directory needs no sync of its own.
std::error_code SystemFileSystem::rename_at(FileHandle directory, std::string_view from,
                                            std::string_view to) {
  return result(::MoveFileExW(in_held(directory, from).c_str(), in_held(directory, to).c_str(),
                              MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
}

std::error_code SystemFileSystem::sync_directory(FileHandle) {
  return {};
}

std::error_code SystemFileSystem::remove_at(FileHandle directory, std::string_view name) {
  if (::DeleteFileW(in_held(directory, name).c_str())) return {};
  const DWORD error = ::GetLastError();
  return error == ERROR_FILE_NOT_FOUND ? std::error_code() : error_of(error);
}

std::error_code SystemFileSystem::names_at(FileHandle directory, std::vector<std::string>& names) {
  return names_in(held_directory(directory).path, names);
}

std::error_code SystemFileSystem::process_runs(unsigned long id, bool& runs) {
  runs = true;
  const HANDLE process =
      ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(id));
  if (process == nullptr) {
    const DWORD error = ::GetLastError();
    runs = error != ERROR_INVALID_PARAMETER;  // else there is no such process
    // Another user's process runs too.
    return runs && error != ERROR_ACCESS_DENIED ? error_of(error) : std::error_code();
  }
  const DWORD waited = ::WaitForSingleObject(process, 0);
  std::error_code error = waited == WAIT_FAILED ? last_error() : std::error_code();
  runs = waited != WAIT_OBJECT_0;
  if (!::CloseHandle(process) && !error) error = last_error();
  return error;
}

unsigned long process_id() {
  return ::GetCurrentProcessId();
}

std::error_code system_error(int code) {
  return error_of(static_cast<DWORD>(code));
}

std::string message_of(std::error_code error) {
  std::string text = error.message();
  // System messages end in a period and a line end; a report puts its own end.
  text.erase(text.find_last_not_of("\n\r .") + 1);
  return text;
}

void end_if_interrupted() {
  if (interrupt_deferred.load()) ::ExitProcess(kStatusControlCExit);
}

std::error_code install_interrupt_hook() {
  // A process started in a new group ignores Ctrl C until it says otherwise.
  if (!::SetConsoleCtrlHandler(nullptr, FALSE) &&
      ::GetLastError() != ERROR_INVALID_HANDLE) {  // no console at all: nothing to hear
    return last_error();
  }
  return result(::SetConsoleCtrlHandler(defer_or_exit, TRUE));
}

std::error_code prepare_standard_streams(bool& output_closed) {
  output_closed = stream_missing(STD_OUTPUT_HANDLE);
  const auto to_null = [](DWORD which, const char* mode, FILE* stream) {
    return !stream_missing(which) || std::freopen("NUL", mode, stream) != nullptr;
  };
  if (!to_null(STD_INPUT_HANDLE, "r", stdin) || !to_null(STD_OUTPUT_HANDLE, "w", stdout) ||
      !to_null(STD_ERROR_HANDLE, "w", stderr)) {
    return std::make_error_code(std::errc::no_such_device);
  }
  return {};
}

bool standard_input_is_terminal() {
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

}  // namespace quorlant::platform
