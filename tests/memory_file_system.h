#pragma once

#include <array>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <system_error>
#include <tuple>
#include <vector>

#include "platform/platform.h"

namespace quorlant::testing {

/// A file system in memory: names, contents, links with owners, and for each file and directory
/// what has been flushed. Any call can fail ("the Nth call of this kind fails with this error"),
/// and the whole can crash: from the Nth call on every call fails, and `restart` then keeps only
/// what a real file system may keep, as the crash mode says.
class MemoryFileSystem final : public platform::FileSystem {
 public:
  using Entry = platform::Entry;
  using FileKind = platform::FileKind;
  using FileHandle = platform::FileHandle;
  using FileStatus = platform::FileStatus;
  using Room = platform::Room;
  using Target = platform::Target;
  enum class Call {
    kStatus,
    kOpenDirectory,
    kOpen,
    kCreate,
    kWrite,
    kRead,
    kCut,
    kFlush,
    kClose,
    kReplace,
    kSyncDirectory,
    kRemove,
    kNamesIn,
    kProcessRuns,
    kMayWrite,
    kFreeSpace,
    kWriteBack,
    kHardLink,
    kResolve,
    kLock,
    kLookUp,
    kLockHeld,
  };
  static constexpr std::size_t kCalls = static_cast<std::size_t>(Call::kLockHeld) + 1;  // the last
  static constexpr const char* kNames[] = {
      "status",       "open directory", "open",      "create",     "write",      "read",
      "cut",          "flush",          "close",     "replace",    "sync directory",
      "remove",       "names in",       "process runs", "may add", "free space", "write back",
      "hard link",    "resolve",        "lock",      "look up",    "lock held"};
  static_assert(std::size(kNames) == kCalls, "a name for each kind of call");
  /// What survives a crash: everything (the process was killed), only what was flushed (a power
  /// cut), or of each directory its changes up to some point and of each file one or the other,
  /// by a fixed choice.
  enum class Crash { kKill, kPowerCut, kMixed };
  static constexpr unsigned kMe = 1000;  // the running user

  MemoryFileSystem() { nodes_.push_back(of(Kind::kDirectory)); }

  // --- building a tree ---
  void make_directory(const std::filesystem::path& path) { make(path, of(Kind::kDirectory)); }
  void make_file(const std::filesystem::path& path, std::string bytes, unsigned owner = kMe) {
    Node file = of(Kind::kFile);
    file.data = file.durable = std::move(bytes);
    file.owner = owner;
    make(path, file);
  }
  /// A second name of an existing file.
  void make_hard_link(const std::filesystem::path& path, const std::filesystem::path& existing) {
    Place found;
    if (place(path, false, found) || found.directory < 0) throw std::runtime_error("no directory");
    at(found.directory).names[found.name] = at(found.directory).durable_names[found.name] =
        find(existing);
  }
  void make_link(const std::filesystem::path& path, std::string target, unsigned owner = kMe) {
    Node link = of(Kind::kLink);
    link.target = std::move(target);
    link.owner = owner;
    make(path, link);
  }
  /// A device: it takes every write.
  void make_device(const std::filesystem::path& path) { make(path, of(Kind::kDevice)); }
  void set_read_only(const std::filesystem::path& path) { node_at(path).read_only = true; }
  /// Takes a name away, as if someone else removed it.
  void erase(const std::filesystem::path& path) {
    Place found;
    if (place(path, false, found) || found.node < 0) throw std::runtime_error("nothing there");
    at(found.directory).names.erase(found.name);
    at(found.directory).durable_names.erase(found.name);
  }
  void set_room(Room room) { room_ = room; }
  /// A file system that gives no file a second name (hard_link fails with EPERM).
  void without_hard_links() { hard_links_ = false; }
  void set_running(std::set<unsigned long> processes) { running_ = std::move(processes); }
  /// Another run holds the lock on every directory; the system names its process `holder`.
  void lock_held_by(std::string holder) { lock_holder_ = std::move(holder); }
  void lock_held_by_none() { lock_holder_.reset(); }

  // --- reading it back ---
  /// Every name below `path` (a regular file's bytes, "<dir>", or "-> target"), by path.
  std::map<std::string, std::string> tree(const std::filesystem::path& path) {
    std::map<std::string, std::string> found;
    collect(node_at(path), "", found);
    return found;
  }
  std::optional<std::string> bytes(const std::filesystem::path& path) {
    const int id = find(path);
    return id < 0 ? std::nullopt : std::optional<std::string>(at(id).data);
  }

  // --- failures and crashes ---
  void fail(Call call, std::size_t nth, std::error_code error) { failures_[{call, nth}] = error; }
  /// Every look-up of a path that holds `part` fails with `error`, or (no error) finds what is
  /// not there: an entry of `kind` that an open then does not find.
  void fake_look_ups(std::string part, std::error_code error,
                     FileKind kind = FileKind::kMissing) {
    faked_look_ups_.emplace_back(std::move(part), error, kind);
  }
  /// Every call from the `nth` (of all kinds, from 1) on fails; `restart` then keeps what
  /// `crash` says of the state as it was before that call.
  void crash_at(std::size_t nth, Crash crash) {
    crash_at_ = nth;
    crash_ = crash;
  }
  void restart() {
    if (crashed_) nodes_ = *crashed_;
    crashed_.reset();
    crash_at_ = 0;
    handles_.clear();
  }
  std::size_t calls(Call call) const { return counts_[static_cast<std::size_t>(call)]; }
  std::size_t all_calls() const { return all_calls_; }
  /// Files and directories held open now.
  std::size_t open_handles() const { return handles_.size(); }

  // --- the seam ---
  std::error_code open_directory(FileHandle directory, const std::filesystem::path& name,
                                 FileHandle& held) override;
  void close_directory(FileHandle held) override { handles_.erase(held); }
  std::error_code resolve(FileHandle base, const std::filesystem::path& shown_base,
                          const std::filesystem::path& name, Target& target,
                          platform::Resolution& resolution) override;
  std::error_code status_at(FileHandle directory, std::string_view name,
                            FileStatus& status) override;
  std::error_code open_at(FileHandle directory, std::string_view name, FileHandle& file,
                          FileKind& kind) override;
  std::error_code open_to_read(FileHandle directory, const std::filesystem::path& name,
                               platform::Reading reading, FileHandle& file, Entry& entry) override;
  std::error_code create_at(FileHandle directory, std::string_view name, const FileStatus& like,
                            FileHandle& file) override;
  std::error_code write(FileHandle file, std::string_view bytes,
                        std::optional<std::uint64_t> offset) override;
  std::error_code read(FileHandle file, std::span<char> buffer, std::uint64_t offset,
                       std::size_t& got) override;
  std::error_code cut(FileHandle file, std::uint64_t length) override;
  std::error_code flush(FileHandle file) override;
  std::error_code start_write_back(FileHandle file) override;
  std::error_code close(FileHandle file) override;
  std::error_code link_at(FileHandle directory, std::string_view existing,
                          std::string_view link) override;
  std::error_code rename_at(FileHandle directory, std::string_view from,
                            std::string_view to) override;
  std::error_code remove_at(FileHandle directory, std::string_view name) override;
  std::error_code sync_directory(FileHandle directory) override;
  std::error_code names_at(FileHandle directory, std::vector<std::string>& names) override;
  std::error_code may_add(FileHandle directory) override;
  std::error_code free_space(FileHandle directory, Room& room) override;
  std::error_code lock_directory(FileHandle directory, FileHandle& lock,
                                 std::string& holder) override;
  std::error_code lock_held(FileHandle directory, bool& held, std::string& holder) override;
  std::error_code process_runs(unsigned long id, bool& runs) override;
  std::error_code look_up(const std::filesystem::path& path, bool follow,
                          Entry& entry) const override;
  std::error_code link_target(const std::filesystem::path& path,
                              std::filesystem::path& target) const override;
  std::error_code real_path(const std::filesystem::path& path,
                            std::filesystem::path& real) const override;
  std::error_code names_in(const std::filesystem::path& path,
                           std::vector<std::string>& names) const override;

 private:
  enum class Kind { kFile, kDirectory, kLink, kDevice };
  struct Node {
    Kind kind = Kind::kFile;
    std::string data;                                               // a file's bytes
    std::string durable;                                            // what of them is on the disk
    std::map<std::string, int> names;                               // a directory's entries
    std::map<std::string, int> durable_names;                       // what of them is on the disk
    std::vector<std::vector<std::pair<std::string, int>>> pending;  // changes since (-1: gone)
    std::string target;                                             // a link's
    unsigned owner = kMe;
    bool read_only = false;
  };
  struct Open {
    int node;
    std::size_t position = 0;
  };
  // Where a path leads: its directory, its last name, and the node there (-1: none).
  struct Place {
    int directory = -1;
    std::string name;
    int node = -1;
  };

  static std::error_code error_of(std::errc code) { return std::make_error_code(code); }
  static Node of(Kind kind) {
    Node node;
    node.kind = kind;
    return node;
  }
  std::error_code take(Call call) const;
  std::error_code place(const std::filesystem::path& path, bool follow, Place& found,
                        int depth = 0) const;
  int find(const std::filesystem::path& path) const {
    Place found;
    return place(path, true, found) ? -1 : found.node;
  }
  Node& at(int id) { return nodes_[static_cast<std::size_t>(id)]; }
  const Node& at(int id) const { return nodes_[static_cast<std::size_t>(id)]; }
  Node& node_at(const std::filesystem::path& path) {
    const int id = find(path);
    if (id < 0) throw std::runtime_error("nothing at " + path.string());
    return at(id);
  }
  std::filesystem::path path_of_link(const Place& link) const;
  // The directory a held handle names, or -1 (EBADF) when it names none.
  int directory_of(FileHandle directory) const;
  std::filesystem::path path_of_node(int node) const;
  // The node `name` names in the held `directory` (-1: none), a link not followed.
  std::error_code at_name(FileHandle directory, std::string_view name, Place& found) const;
  FileStatus status_of(int node) const;
  void make(const std::filesystem::path& path, Node node);
  // Names of `directory` changed as one: each to a node, or gone (-1).
  void change(int directory, std::vector<std::pair<std::string, int>> names);
  void collect(const Node& directory, const std::string& prefix,
               std::map<std::string, std::string>& found) const;
  std::vector<Node> after_crash() const;
  Node* opened(FileHandle file) {
    const auto found = handles_.find(file);
    return found == handles_.end() ? nullptr : &at(found->second.node);
  }
  FileHandle new_handle(int node) {
    handles_[next_handle_] = {node};
    return next_handle_++;
  }

  std::vector<Node> nodes_;                     // node 0 is the root
  std::map<FileHandle, Open> handles_;
  FileHandle next_handle_ = 3;
  std::optional<std::string> lock_holder_;
  Room room_{1ULL << 40, 1ULL << 20};
  std::set<unsigned long> running_;
  bool hard_links_ = true;
  // Counted and failed by the const look-ups too: a count is no change the code can see.
  mutable std::array<std::size_t, kCalls> counts_{};
  mutable std::size_t all_calls_ = 0;
  std::map<std::pair<Call, std::size_t>, std::error_code> failures_;
  std::vector<std::tuple<std::string, std::error_code, FileKind>> faked_look_ups_;
  std::size_t crash_at_ = 0;
  Crash crash_ = Crash::kKill;
  mutable std::optional<std::vector<Node>> crashed_;
};

}  // namespace quorlant::testing
