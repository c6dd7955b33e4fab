#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

#include "process/process.h"

namespace quorlant::testing {

namespace {

void close_handle(HANDLE& handle) {
  if (handle != nullptr && handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
  handle = nullptr;
}

// Reads what is there; the stream has ended once the pipe is broken, or once the process has
// ended and nothing is left (a console host may keep the pipe open after the process ends).
std::function<std::size_t(char*, std::size_t)> reader(HANDLE pipe, HANDLE process) {
  return [pipe, process](char* buffer, std::size_t size) {
    for (;;) {
      const bool ended = ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
      DWORD available = 0;
      if (!::PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) return std::size_t{0};
      if (available > 0) {
        DWORD got = 0;
        const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(size, available));
        if (!::ReadFile(pipe, buffer, wanted, &got, nullptr)) return std::size_t{0};
        return static_cast<std::size_t>(got);
      }
      if (ended) return std::size_t{0};
      ::WaitForSingleObject(process, 5);
    }
  };
}

// One argument as the C runtime splits a command line: quotes around it, backslashes before a
// quote doubled.
std::wstring quoted(const std::wstring& arg) {
  std::wstring result = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    result.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    result += c;
  }
  result.append(2 * backslashes, L'\\');  // before the closing quote
  return result + L"\"";
}

HANDLE inheritable_file(const std::filesystem::path& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  const HANDLE file = ::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    &inherit, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open " + path.string());
  return file;
}

}  // namespace

struct Child::Impl {
  PROCESS_INFORMATION process{};
  HANDLE in = nullptr;
  HANDLE out_read = nullptr;
  HANDLE err_read = nullptr;
  std::optional<Collector> out;
  std::optional<Collector> err;
  ~Impl() {
    close_handle(in);
    if (process.hProcess != nullptr) {
      ::TerminateProcess(process.hProcess, 1);
      ::WaitForSingleObject(process.hProcess, INFINITE);
    }
    out.reset();
    err.reset();
    close_handle(out_read);
    close_handle(err_read);
    close_handle(process.hProcess);
    close_handle(process.hThread);
  }
};

Child::Child(const ProcessOptions& options) : impl_(std::make_unique<Impl>()) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE in_read = nullptr, out_write = nullptr, err_write = nullptr;
  if (!::CreatePipe(&in_read, &impl_->in, &inherit, 0) ||
      !::CreatePipe(&impl_->out_read, &out_write, &inherit, 0) ||
      !::CreatePipe(&impl_->err_read, &err_write, &inherit, 0)) {
    throw std::runtime_error("CreatePipe failed");
  }
  // The parent's ends stay with the parent.
  for (HANDLE own : {impl_->in, impl_->out_read, impl_->err_read})
    ::SetHandleInformation(own, HANDLE_FLAG_INHERIT, 0);
  if (!options.input.empty()) {
    close_handle(in_read);
    in_read = inheritable_file(options.input, GENERIC_READ, OPEN_EXISTING);
  }
  if (options.output == Output::kPipeNoReader) close_handle(impl_->out_read);

  std::wstring command;
  for (const auto& arg : options.argv) {
    if (!command.empty()) command += L' ';
    command += quoted(std::filesystem::path(arg).make_preferred().wstring());
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in_read;
  startup.hStdOutput = out_write;
  startup.hStdError = err_write;
  const DWORD flags = options.own_console ? CREATE_NEW_CONSOLE : 0;
  const BOOL started =
      ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, flags, nullptr,
                       options.directory.c_str(), &startup, &impl_->process);
  close_handle(in_read);
  close_handle(out_write);
  close_handle(err_write);
  if (!started) {
    impl_->process = {};
    throw std::runtime_error("cannot start " + options.argv[0]);
  }
  const HANDLE process = impl_->process.hProcess;
  if (impl_->out_read != nullptr) impl_->out.emplace(reader(impl_->out_read, process));
  impl_->err.emplace(reader(impl_->err_read, process));
}

Child::~Child() = default;

void Child::type(std::string_view text) {
  while (!text.empty()) {
    DWORD written = 0;
    if (!::WriteFile(impl_->in, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written == 0)
      return;
    text.remove_prefix(written);
  }
}

bool Child::wait_for_output(std::string_view text) {
  return impl_->out && impl_->out->wait_for(text);
}

bool Child::interrupt(int) {
  // Ctrl C goes to every process on a console: the test joins the child's for the moment it
  // takes, ignoring the event itself.
  ::FreeConsole();
  if (!::AttachConsole(impl_->process.dwProcessId)) return false;
  ::SetConsoleCtrlHandler(nullptr, TRUE);
  const bool sent = ::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0) != 0;
  ::FreeConsole();
  ::SetConsoleCtrlHandler(nullptr, FALSE);  // children started later inherit the flag
  // The event arrives on a thread of its own: the child gets the time to act on it before
  // anything else (such as the end of its input) reaches it.
  if (sent) ::WaitForSingleObject(impl_->process.hProcess, 10000);
  return sent;
}

Process Child::finish() {
  close_handle(impl_->in);
  Process result;
  if (impl_->out) result.out = text_output(impl_->out->finish());
  result.err = text_output(impl_->err->finish());
  ::WaitForSingleObject(impl_->process.hProcess, INFINITE);
  DWORD code = 0;
  ::GetExitCodeProcess(impl_->process.hProcess, &code);
  close_handle(impl_->process.hProcess);
  close_handle(impl_->process.hThread);
  result.status = static_cast<int>(code);
  return result;
}

bool on_path(const std::string& program) {
  const char* path = std::getenv("PATH");
  const std::string dirs = path == nullptr ? "" : path;
  for (std::size_t begin = 0; begin <= dirs.size();) {
    std::size_t end = dirs.find(';', begin);
    if (end == std::string::npos) end = dirs.size();
    const std::filesystem::path dir = dirs.substr(begin, end - begin);
    std::error_code ignored;
    if (std::filesystem::exists(dir / (program + ".exe"), ignored)) return true;
    begin = end + 1;
  }
  return false;
}

std::string text_output(std::string bytes) {
  std::string text;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
    text += bytes[i];
  }
  return text;
}

unsigned set_umask(unsigned) {
  return 0;
}

}  // namespace quorlant::testing
