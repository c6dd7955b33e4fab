#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

#include "process/process.h"

namespace quorlant::testing {

namespace {

void close_fd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

std::function<std::size_t(char*, std::size_t)> reader(int fd) {
  return [fd](char* buffer, std::size_t size) {
    for (;;) {
      const ssize_t n = ::read(fd, buffer, size);
      if (n >= 0) return static_cast<std::size_t>(n);
      if (errno != EINTR) return std::size_t{0};
    }
  };
}

// In the child, between fork and exec: only async-signal-safe calls.
[[noreturn]] void start_child(const ProcessOptions& options, const std::vector<char*>& argv,
                              int in_fd, int out_fd, int err_fd) {
  if (::chdir(options.directory.c_str()) != 0) ::_exit(120);
  if (options.close_input) {
    ::close(0);
  } else if (!options.input.empty()) {
    const int file = ::open(options.input.c_str(), O_RDONLY);
    if (file < 0) ::_exit(121);
    ::dup2(file, 0);
  } else {
    ::dup2(in_fd, 0);
  }
  switch (options.output) {
    case Output::kPipe:
    case Output::kPipeNoReader: ::dup2(out_fd, 1); break;
    case Output::kClosed: ::close(1); break;
    case Output::kFullDevice: {
      const int full = ::open("/dev/full", O_WRONLY);
      if (full < 0) ::_exit(122);
      ::dup2(full, 1);
      break;
    }
  }
  ::dup2(err_fd, 2);
  if (options.ignore_hangup) ::signal(SIGHUP, SIG_IGN);
  if (options.file_size_limit) {
    const rlim_t size = static_cast<rlim_t>(*options.file_size_limit);
    const rlimit limit{size, size};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(123);
  }
  ::execvp(argv[0], argv.data());
  ::_exit(127);
}

}  // namespace

struct Child::Impl {
  pid_t pid = -1;
  int in = -1;
  std::optional<Collector> out;
  std::optional<Collector> err;
  int out_fd = -1;
  int err_fd = -1;
  ~Impl() {
    close_fd(in);
    if (pid > 0) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
    out.reset();
    err.reset();
    close_fd(out_fd);
    close_fd(err_fd);
  }
};

Child::Child(const ProcessOptions& options) : impl_(std::make_unique<Impl>()) {
  int in[2], out[2], err[2];
  if (::pipe(in) != 0 || ::pipe(out) != 0 || ::pipe(err) != 0)
    throw std::runtime_error("pipe failed");
  for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  std::vector<char*> argv;
  for (const auto& arg : options.argv) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  impl_->pid = ::fork();
  if (impl_->pid < 0) throw std::runtime_error("fork failed");
  if (impl_->pid == 0) start_child(options, argv, in[0], out[1], err[1]);
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  impl_->in = in[1];
  impl_->out_fd = out[0];
  impl_->err_fd = err[0];
  // Not one byte can be read from here on: the child's writes fail with EPIPE.
  if (options.output == Output::kPipeNoReader) close_fd(impl_->out_fd);
  if (impl_->out_fd >= 0) impl_->out.emplace(reader(impl_->out_fd));
  impl_->err.emplace(reader(impl_->err_fd));
  ::signal(SIGPIPE, SIG_IGN);  // the child may be gone before its answers are written
}

Child::~Child() = default;

void Child::type(std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(impl_->in, text.data(), text.size());
    if (n <= 0) return;
    text.remove_prefix(static_cast<std::size_t>(n));
  }
}

bool Child::wait_for_output(std::string_view text) {
  return impl_->out && impl_->out->wait_for(text);
}

bool Child::interrupt(int signal_number) {
  return ::kill(impl_->pid, signal_number) == 0;
}

Process Child::finish() {
  close_fd(impl_->in);
  Process result;
  if (impl_->out) result.out = impl_->out->finish();
  result.err = impl_->err->finish();
  int status = 0;
  ::waitpid(impl_->pid, &status, 0);
  impl_->pid = -1;
  result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + result.signal;
  return result;
}

bool on_path(const std::string& program) {
  const char* path = std::getenv("PATH");
  const std::string dirs = path == nullptr ? "" : path;
  for (std::size_t begin = 0; begin <= dirs.size();) {
    std::size_t end = dirs.find(':', begin);
    if (end == std::string::npos) end = dirs.size();
    const auto candidate = std::filesystem::path(dirs.substr(begin, end - begin)) / program;
    if (::access(candidate.c_str(), X_OK) == 0) return true;
    begin = end + 1;
  }
  return false;
}

std::string text_output(std::string bytes) {
  return bytes;
}

unsigned set_umask(unsigned mask) {
  return ::umask(static_cast<mode_t>(mask));
}

}  // namespace quorlant::testing
