#include "recordio/units.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "recordio/interrupt_guard.h"
#include "recordio/stop.h"

namespace quorlant::recordio {

namespace {

int open_existing_or_new(const std::filesystem::path& path) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// Every byte or an error number.
int write_all(int fd, std::string_view bytes, std::optional<off_t> offset) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = offset ? ::pwrite(fd, bytes.data() + done, bytes.size() - done,
                                        *offset + static_cast<off_t>(done))
                             : ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return EIO;
    done += static_cast<std::size_t>(n);
  }
  return 0;
}

unsigned temp_counter = 0;

}  // namespace

std::string describe_error(std::string_view name, int error_number) {
  return std::string(name) + ": " + std::strerror(error_number);
}

Units::Units(std::filesystem::path base_directory)
    : base_(std::move(base_directory)), euid_(::geteuid()) {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  new_file_mode_ = 0666 & ~mask;
}

Units::~Units() {
  try {
    close_all();
  } catch (...) {
    // The run is already ending through another report.
  }
}

std::filesystem::path native_path(const std::filesystem::path& base, std::string_view name) {
  std::string native(name);
  std::replace(native.begin(), native.end(), '\\', '/');
  return base / native;
}

std::filesystem::path Units::path_of(std::string_view name) const {
  return native_path(base_, name);
}

bool Units::exists(std::string_view name) const {
  std::error_code error;
  return std::filesystem::exists(path_of(name), error);
}

bool Units::is_directory(std::string_view name) const {
  std::error_code error;
  return std::filesystem::is_directory(path_of(name), error);
}

int Units::open(int unit, std::string_view name, OpenMode mode) {
  if (units_.contains(unit)) close(unit);
  Unit& u = units_[unit];
  u.name = std::string(name);
  u.path = path_of(name);

  if (dry_run_) {
    std::error_code error;
    if (!std::filesystem::is_directory(u.path.parent_path(), error)) {
      u.open_error = ENOENT;
      return u.open_error;
    }
    if (std::filesystem::is_directory(u.path, error)) {
      u.open_error = EISDIR;
      return u.open_error;
    }
    u.in_memory = true;
    u.loaded = true;  // every file of a run is written before it is read back
    return 0;
  }

  if (mode == OpenMode::kReplaceWhole) {
    struct stat link_status {};
    const bool exists = ::lstat(u.path.c_str(), &link_status) == 0;
    if (!exists && errno != ENOENT) {
      u.open_error = errno;
      return u.open_error;
    }
    if (!exists || S_ISREG(link_status.st_mode)) {
      // An existing file this run may not write is an open failure, and stays untouched.
      // Its owner with the write bit set, or root, may write it; anyone else asks the system.
      const bool surely_writable =
          exists &&
          (euid_ == 0 || (link_status.st_uid == euid_ && (link_status.st_mode & S_IWUSR)));
      if (exists && !surely_writable && ::access(u.path.c_str(), W_OK) != 0) {
        u.open_error = errno;
        return u.open_error;
      }
      // A temporary name of our own beside the file; one left by a killed run is passed over.
      static const pid_t pid = ::getpid();
      std::filesystem::path temp;
      int fd = -1;
      for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temp = u.path;
        temp.replace_filename("." + u.path.filename().string() + ".tmp" + std::to_string(pid) +
                              "." + std::to_string(temp_counter++));
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
      }
      if (fd >= 0) {
        set_file_in_flight(temp.c_str());
        // The replacement keeps the old file's permission bits.
        if (exists && (link_status.st_mode & 07777) != new_file_mode_) {
          ::fchmod(fd, link_status.st_mode & 07777);
        }
        u.fd = fd;
        u.temp_path = temp;
        u.loaded = true;  // a new file: nothing of the old one shows through
        u.disk_size = 0;
        return 0;
      }
      // A directory that takes no new file still lets an existing file be written in place.
      if (!exists || (errno != EACCES && errno != EPERM)) {
        u.open_error = errno;
        return u.open_error;
      }
    }
  }

  u.fd = open_existing_or_new(u.path);
  if (u.fd < 0) {
    u.open_error = errno;
    return u.open_error;
  }
  if (mode == OpenMode::kReplaceWhole) {
    struct stat status {};
    u.regular = ::fstat(u.fd, &status) == 0 && S_ISREG(status.st_mode);
  }
  return 0;
}

Units::Unit& Units::connected(int unit) {
  const auto found = units_.find(unit);
  if (found == units_.end()) throw IoFailure("unit " + std::to_string(unit) + " is not connected");
  if (found->second.fd < 0 && !found->second.in_memory) {
    throw IoFailure(
        describe_error(found->second.name + " could not be opened", found->second.open_error));
  }
  return found->second;
}

void Units::write_through(int unit) {
  if (const auto found = units_.find(unit); found != units_.end())
    found->second.write_through = true;
}

int Units::open_error(int unit) const {
  const auto found = units_.find(unit);
  return found == units_.end() ? 0 : found->second.open_error;
}

std::string Units::name_of(int unit) const {
  const auto found = units_.find(unit);
  return found == units_.end() ? "unit " + std::to_string(unit) : found->second.name;
}

void Units::load(Unit& u) {
  if (u.loaded) return;
  u.content.clear();
  u.offset = 0;
  char buffer[8192];
  off_t offset = 0;
  for (;;) {
    const ssize_t n = ::pread(u.fd, buffer, sizeof buffer, offset);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw IoFailure(describe_error("cannot read " + u.name, errno));
    }
    if (n == 0) break;
    u.content.append(buffer, static_cast<std::size_t>(n));
    offset += n;
  }
  u.loaded = true;
}

void Units::write(int unit, std::string_view records) {
  Unit& u = connected(unit);
  // What follows the write position is gone: the record written becomes the file's last.
  if (!u.loaded && u.position == 0) u.loaded = true;
  if (u.position < u.offset) u.loaded = false;  // before the part kept in memory
  load(u);
  u.content.resize(u.position - u.offset);
  u.content += records;
  u.dirty_from = std::min(u.dirty_from.value_or(u.position), u.position);
  u.position += records.size();
  if (u.write_through) {
    flush(u);
    // Everything is on disk and the file only grows: keep no copy, so memory stays flat.
    u.offset = u.position;
    u.content.clear();
  }
}

void Units::flush(Unit& u) {
  if (const int error = store(u); error != 0) {
    throw IoFailure(describe_error("cannot write " + u.name, error));
  }
}

int Units::store(Unit& u) {
  if (!u.dirty_from) return 0;
  if (u.in_memory) {
    u.dirty_from.reset();
    return 0;
  }
  const std::size_t from = *u.dirty_from;
  const std::string_view bytes = std::string_view(u.content).substr(from - u.offset);
  const std::size_t end = u.offset + u.content.size();
  int error = 0;
  if (u.regular) {
    error = write_all(u.fd, bytes, static_cast<off_t>(from));
    // What lies on disk beyond the last record is cut off, unless the file is known to end
    // there already (a new file, or records added at its end).
    const bool may_be_longer = !u.disk_size || *u.disk_size > end;
    if (error == 0 && may_be_longer && ::ftruncate(u.fd, static_cast<off_t>(end)) != 0) {
      error = errno;
    }
    if (error == 0) u.disk_size = end;
  } else {
    error = write_all(u.fd, bytes, std::nullopt);
  }
  if (error == 0) u.dirty_from.reset();
  return error;
}

std::string_view Units::read_record(int unit) {
  Unit& u = connected(unit);
  if (u.offset > 0) {
    flush(u);
    u.loaded = false;  // the whole file is needed again
  }
  load(u);
  if (u.position >= u.content.size()) throw IoFailure("end of file reading " + u.name);
  const std::size_t end = u.content.find('\n', u.position);
  const std::size_t stop = end == std::string::npos ? u.content.size() : end;
  const std::string_view record = std::string_view(u.content).substr(u.position, stop - u.position);
  u.position = end == std::string::npos ? stop : end + 1;
  return record;
}

void Units::rewind(int unit) {
  connected(unit).position = 0;
}

void Units::finish(Unit& u, bool complete) {
  if (u.fd < 0) return;
  std::string failed = "cannot write ";
  int error = complete ? store(u) : 0;
  if (error != 0) complete = false;
  if (::close(u.fd) != 0 && error == 0 && complete) {
    error = errno;
    failed = "cannot close ";
    complete = false;
  }
  u.fd = -1;
  if (!u.temp_path.empty()) {
    if (complete && ::rename(u.temp_path.c_str(), u.path.c_str()) != 0) {
      error = errno;
      failed = "cannot put in place ";
      complete = false;
    }
    if (!complete) ::unlink(u.temp_path.c_str());
    set_file_in_flight(nullptr);
  }
  if (error != 0) throw IoFailure(describe_error(failed + u.name, error));
}

void Units::close(int unit) {
  const auto found = units_.find(unit);
  if (found == units_.end()) return;
  Unit u = std::move(found->second);
  units_.erase(found);
  finish(u, true);
}

void Units::close_all() {
  std::optional<IoFailure> first_failure;
  while (!units_.empty()) {
    Unit u = std::move(units_.begin()->second);
    units_.erase(units_.begin());
    try {
      // A replacement still open was never completed: the old file stays.
      finish(u, u.temp_path.empty());
    } catch (const IoFailure& failure) {
      if (!first_failure) first_failure = failure;
    }
  }
  if (first_failure) throw *first_failure;
}

}  // namespace quorlant::recordio
