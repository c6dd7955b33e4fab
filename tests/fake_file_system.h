#pragma once

#include <array>
#include <cstddef>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "recordio/platform/platform.h"

namespace quorlant::testing {

/// The system's file system on a real temporary directory, with failures on demand: "fail the
/// Nth call of this kind with this error", "this name is a link owned by someone else". Counts
/// every call by kind, so a test can fail each one of a run in turn.
class FakeFileSystem final : public recordio::platform::FileSystem {
 public:
  enum class Call {
    kStatus, kKind, kOpen, kCreate, kWrite, kRead, kCut, kFlush, kClose, kReplace,
    kSyncDirectory, kRemove, kList, kProcessRuns, kMayWrite, kFreeSpace, kWriteBack,
    kFlushPath, kHardLink, kResolve, kLock, kOwnFile,
  };
  static constexpr std::size_t kCalls = 22;
  static constexpr std::array<const char*, kCalls> kNames = {
      "status", "kind", "open", "create", "write", "read", "cut", "flush", "close", "replace",
      "sync directory", "remove", "list", "process runs", "may write",
      "free space", "write back", "flush path", "hard link", "resolve", "lock", "own file"};

  /// The `nth` call (from 1) of `call` fails with `error` and does nothing else, except that a
  /// failing close still closes.
  void fail(Call call, std::size_t nth, std::error_code error) { failures_[{call, nth}] = error; }
  /// Every call of `call` from the `nth` on fails.
  void fail_from(Call call, std::size_t nth, std::error_code error) {
    from_[static_cast<std::size_t>(call)] = {nth, error};
  }
  /// `path` is a link planted by user 1001: never followed, whatever it is on disk.
  void foreign_link(const std::filesystem::path& path) { foreign_.insert(path.lexically_normal()); }
  /// Another run holds the lock, and the system names its process `holder` ("" when it cannot).
  void lock_held_by(std::string holder) { holder_ = std::move(holder); }
  /// How many calls of `call` were made.
  std::size_t calls(Call call) const { return counts_[static_cast<std::size_t>(call)]; }

  std::error_code status_of(const std::filesystem::path& path,
                            recordio::platform::FileStatus& status) override {
    if (const auto error = take(Call::kStatus, path)) return error;
    return real_.status_of(path, status);
  }
  std::error_code kind_of(const std::filesystem::path& path,
                          recordio::platform::FileKind& kind) override {
    if (const auto error = take(Call::kKind)) return error;
    return real_.kind_of(path, kind);
  }
  std::error_code open_existing_or_new(const std::filesystem::path& path,
                                       recordio::platform::FileHandle& file,
                                       recordio::platform::FileKind& kind) override {
    if (const auto error = take(Call::kOpen, path)) return error;
    return real_.open_existing_or_new(path, file, kind);
  }
  std::error_code open_to_read(const std::filesystem::path& path,
                               recordio::platform::FileHandle& file) override {
    if (const auto error = take(Call::kOpen, path)) return error;
    return real_.open_to_read(path, file);
  }
  std::error_code create_exclusive(const std::filesystem::path& path,
                                   const recordio::platform::FileStatus& like,
                                   recordio::platform::FileHandle& file) override {
    if (const auto error = take(Call::kCreate)) return error;
    return real_.create_exclusive(path, like, file);
  }
  std::error_code write(recordio::platform::FileHandle file, std::string_view bytes,
                        std::optional<std::uint64_t> offset) override {
    if (const auto error = take(Call::kWrite)) return error;
    return real_.write(file, bytes, offset);
  }
  std::error_code read(recordio::platform::FileHandle file, std::span<char> buffer,
                       std::uint64_t offset, std::size_t& got) override {
    if (const auto error = take(Call::kRead)) return error;
    return real_.read(file, buffer, offset, got);
  }
  std::error_code cut(recordio::platform::FileHandle file, std::uint64_t length) override {
    if (const auto error = take(Call::kCut)) return error;
    return real_.cut(file, length);
  }
  std::error_code flush(recordio::platform::FileHandle file) override {
    if (const auto error = take(Call::kFlush)) return error;
    return real_.flush(file);
  }
  std::error_code start_write_back(recordio::platform::FileHandle file) override {
    if (const auto error = take(Call::kWriteBack)) return error;
    return real_.start_write_back(file);
  }
  std::error_code flush_path(const std::filesystem::path& path) override {
    if (const auto error = take(Call::kFlushPath)) return error;
    return real_.flush_path(path);
  }
  std::error_code hard_link(const std::filesystem::path& existing,
                            const std::filesystem::path& link) override {
    if (const auto error = take(Call::kHardLink)) return error;
    return real_.hard_link(existing, link);
  }
  std::error_code close(recordio::platform::FileHandle file) override {
    const std::error_code error = take(Call::kClose);
    const std::error_code closed = real_.close(file);
    return error ? error : closed;
  }
  std::error_code replace(const std::filesystem::path& from,
                          const std::filesystem::path& to) override {
    if (const auto error = take(Call::kReplace)) return error;
    return real_.replace(from, to);
  }
  std::error_code sync_directory(const std::filesystem::path& path) override {
    if (const auto error = take(Call::kSyncDirectory)) return error;
    return real_.sync_directory(path);
  }
  std::error_code remove(const std::filesystem::path& path) override {
    if (const auto error = take(Call::kRemove)) return error;
    return real_.remove(path);
  }
  std::error_code list(const std::filesystem::path& directory,
                       std::vector<std::string>& names) override {
    if (const auto error = take(Call::kList)) return error;
    return real_.list(directory, names);
  }
  // The check's look-ups, as the system answers them.
  std::error_code look_up(const std::filesystem::path& path, bool follow,
                          recordio::platform::Entry& entry) const override {
    return real_.look_up(path, follow, entry);
  }
  std::error_code link_target(const std::filesystem::path& path,
                              std::filesystem::path& target) const override {
    return real_.link_target(path, target);
  }
  std::error_code real_path(const std::filesystem::path& path,
                            std::filesystem::path& real) const override {
    return real_.real_path(path, real);
  }
  std::error_code names_in(const std::filesystem::path& path,
                           std::vector<std::string>& names) const override {
    return real_.names_in(path, names);
  }
  std::error_code open_plain(const std::filesystem::path& path, std::intptr_t& file,
                             recordio::platform::EntryKind& kind) const override {
    return real_.open_plain(path, file, kind);
  }
  std::error_code read_plain(std::intptr_t file, std::span<char> buffer,
                             std::size_t& got) const override {
    return real_.read_plain(file, buffer, got);
  }
  void close_plain(std::intptr_t file) const override { real_.close_plain(file); }
  std::error_code process_runs(unsigned long id, bool& runs) override {
    if (const auto error = take(Call::kProcessRuns)) return error;
    return real_.process_runs(id, runs);
  }
  std::error_code may_write(const std::filesystem::path& path, recordio::platform::WriteWay way,
                            bool& exists) override {
    if (const auto error = take(Call::kMayWrite, path)) return error;
    return real_.may_write(path, way, exists);
  }
  std::error_code free_space(const std::filesystem::path& directory,
                             recordio::platform::Room& room) override {
    if (const auto error = take(Call::kFreeSpace)) return error;
    return real_.free_space(directory, room);
  }
  std::error_code resolve(const std::filesystem::path& base, const std::filesystem::path& name,
                          recordio::platform::Resolution& resolution) override {
    if (const auto error = take(Call::kResolve)) return error;
    // A foreign link anywhere on the way stops the walk there.
    std::filesystem::path walked = base;
    for (const auto& part : name) {
      walked /= part;
      if (foreign_.contains(walked.lexically_normal())) {
        resolution = {{}, walked, "1001"};
        return recordio::platform::foreign_link_error();
      }
    }
    return real_.resolve(base, name, resolution);
  }
  std::error_code lock_directory(const std::filesystem::path& directory,
                                 recordio::platform::RunLock& lock, std::string& holder) override {
    if (const auto error = take(Call::kLock)) return error;
    if (holder_) {
      holder = *holder_;
      return std::make_error_code(std::errc::resource_unavailable_try_again);
    }
    return real_.lock_directory(directory, lock, holder);
  }
  std::error_code own_regular_file(const std::filesystem::path& path, bool& own) override {
    if (const auto error = take(Call::kOwnFile, path)) return error;
    return real_.own_regular_file(path, own);
  }

 private:
  std::error_code take(Call call, const std::filesystem::path& path = {}) {
    const std::size_t nth = ++counts_[static_cast<std::size_t>(call)];
    if (foreign_.contains(path.lexically_normal())) {
      return std::make_error_code(std::errc::permission_denied);
    }
    const auto& [from, error] = from_[static_cast<std::size_t>(call)];
    if (from != 0 && nth >= from) return error;
    const auto found = failures_.find({call, nth});
    return found == failures_.end() ? std::error_code() : found->second;
  }

  recordio::platform::SystemFileSystem real_;
  std::array<std::size_t, kCalls> counts_{};
  std::map<std::pair<Call, std::size_t>, std::error_code> failures_;
  std::array<std::pair<std::size_t, std::error_code>, kCalls> from_{};
  std::set<std::filesystem::path> foreign_;
  std::optional<std::string> holder_;
};

}  // namespace quorlant::testing
