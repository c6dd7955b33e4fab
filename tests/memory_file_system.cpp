#include "memory_file_system.h"

#include <algorithm>

namespace quorlant::testing {

namespace {

// The names of a path, its root left out: "/w/event/x.evt" is w, event, x.evt.
std::vector<std::string> names_of(const std::filesystem::path& path) {
  std::vector<std::string> names;
  for (const auto& part : path.lexically_normal()) {
    const std::string name = part.string();
    if (name.empty() || name == "/" || name == "\\" || name == "." || name.ends_with(':')) continue;
    if (name == "..") {
      if (!names.empty()) names.pop_back();
      continue;
    }
    names.push_back(name);
  }
  return names;
}

}  // namespace

std::error_code MemoryFileSystem::take(Call call) const {
  const std::size_t nth = ++counts_[static_cast<std::size_t>(call)];
  ++all_calls_;
  if (crash_at_ != 0 && all_calls_ >= crash_at_) {
    if (!crashed_) crashed_ = after_crash();
    return error_of(std::errc::io_error);
  }
  const auto found = failures_.find({call, nth});
  return found == failures_.end() ? std::error_code() : found->second;
}

// Each name in turn from the root; a link on the way is followed when its owner is this user,
// and so is the last one with `follow`.
std::error_code MemoryFileSystem::place(const std::filesystem::path& path, bool follow,
                                        Place& found, int depth) const {
  if (depth > 40) return error_of(std::errc::too_many_symbolic_link_levels);
  const std::vector<std::string> names = names_of(path);
  found = {};
  if (names.empty()) {
    found.node = 0;
    return {};
  }
  int directory = 0;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const Node& here = at(directory);
    if (here.kind != Kind::kDirectory) return error_of(std::errc::not_a_directory);
    const auto entry = here.names.find(names[i]);
    const bool last = i + 1 == names.size();
    if (last) found = {directory, names[i], entry == here.names.end() ? -1 : entry->second};
    if (entry == here.names.end()) {
      return last ? std::error_code() : error_of(std::errc::no_such_file_or_directory);
    }
    const Node& next = at(entry->second);
    if (next.kind == Kind::kLink && (!last || follow)) {
      if (next.owner != kMe) return error_of(std::errc::permission_denied);
      std::filesystem::path through;
      for (std::size_t j = 0; j < i; ++j) through /= names[j];
      Place target;
      const std::filesystem::path text(next.target);
      const std::error_code error =
          place(text.is_absolute() ? text : std::filesystem::path("/") / through / text, true,
                target, depth + 1);
      if (error) return error;
      if (last) {
        found = target;
        return {};
      }
      if (target.node < 0) return error_of(std::errc::no_such_file_or_directory);
      directory = target.node;
      continue;
    }
    directory = entry->second;
  }
  return {};
}

void MemoryFileSystem::make(const std::filesystem::path& path, Node node) {
  Place found;
  if (place(path, false, found) || found.directory < 0) {
    throw std::runtime_error("no directory for " + path.string());
  }
  nodes_.push_back(std::move(node));
  const int id = static_cast<int>(nodes_.size()) - 1;
  at(found.directory).names[found.name] = id;
  at(found.directory).durable_names[found.name] = id;
}

void MemoryFileSystem::collect(const Node& directory, const std::string& prefix,
                               std::map<std::string, std::string>& found) const {
  for (const auto& [name, id] : directory.names) {
    const Node& node = at(id);
    const std::string path = prefix + name;
    switch (node.kind) {
      case Kind::kDirectory:
        found[path] = "<dir>";
        collect(node, path + "/", found);
        break;
      case Kind::kLink: found[path] = "-> " + node.target; break;
      case Kind::kDevice: found[path] = "<device>"; break;
      case Kind::kFile: found[path] = node.data; break;
    }
  }
}

void MemoryFileSystem::change(int directory, std::vector<std::pair<std::string, int>> names) {
  Node& node = at(directory);
  for (const auto& [name, id] : names) {
    if (id < 0) {
      node.names.erase(name);
    } else {
      node.names[name] = id;
    }
  }
  node.pending.push_back(std::move(names));
}

// A power cut keeps of each directory the names last synced and of each file the bytes last
// flushed. A mixed one keeps of each directory its changes since then up to some point (a
// rename whole or not at all), and of each file either its bytes flushed or all it had.
std::vector<MemoryFileSystem::Node> MemoryFileSystem::after_crash() const {
  std::vector<Node> kept = nodes_;
  if (crash_ == Crash::kKill) return kept;
  std::size_t choice = 0;
  for (Node& node : kept) {
    if (crash_ == Crash::kPowerCut || ++choice % 2 == 0) node.data = node.durable;
    if (node.kind != Kind::kDirectory) continue;
    node.names = node.durable_names;
    const std::size_t kept_changes =
        crash_ == Crash::kPowerCut ? 0 : (choice * 7) % (node.pending.size() + 1);
    for (std::size_t i = 0; i < kept_changes; ++i) {
      for (const auto& [name, id] : node.pending[i]) {
        if (id < 0) {
          node.names.erase(name);
        } else {
          node.names[name] = id;
        }
      }
    }
  }
  for (Node& node : kept) {
    node.durable = node.data;
    node.durable_names = node.names;
    node.pending.clear();
  }
  return kept;
}

std::filesystem::path MemoryFileSystem::path_of_link(const Place& where) const {
  // The path of a node, found by walking the tree from the root.
  std::function<bool(int, std::filesystem::path&)> walk = [&](int directory,
                                                              std::filesystem::path& path) {
    if (directory == where.directory) {
      path /= where.name;
      return true;
    }
    for (const auto& [name, id] : at(directory).names) {
      if (at(id).kind != Kind::kDirectory) continue;
      path /= name;
      if (walk(id, path)) return true;
      path = path.parent_path();
    }
    return false;
  };
  std::filesystem::path path = "/";
  walk(0, path);
  return path;
}

std::error_code MemoryFileSystem::write(FileHandle file, std::string_view bytes,
                                        std::optional<std::uint64_t> offset) {
  if (const auto error = take(Call::kWrite)) return error;
  Node* node = opened(file);
  if (node == nullptr) return error_of(std::errc::bad_file_descriptor);
  if (node->kind == Kind::kDevice) return {};
  std::size_t& position = handles_[file].position;
  const std::size_t at = offset ? static_cast<std::size_t>(*offset) : position;
  if (node->data.size() < at + bytes.size()) node->data.resize(at + bytes.size(), '\0');
  node->data.replace(at, bytes.size(), bytes);
  position = at + bytes.size();
  return {};
}

std::error_code MemoryFileSystem::read(FileHandle file, std::span<char> buffer,
                                       std::uint64_t offset, std::size_t& got) {
  got = 0;
  if (const auto error = take(Call::kRead)) return error;
  const Node* node = opened(file);
  if (node == nullptr) return error_of(std::errc::bad_file_descriptor);
  if (offset < node->data.size()) {
    got = std::min(buffer.size(), node->data.size() - static_cast<std::size_t>(offset));
    std::memcpy(buffer.data(), node->data.data() + offset, got);
  }
  return {};
}

std::error_code MemoryFileSystem::cut(FileHandle file, std::uint64_t length) {
  if (const auto error = take(Call::kCut)) return error;
  Node* node = opened(file);
  if (node == nullptr) return error_of(std::errc::bad_file_descriptor);
  node->data.resize(static_cast<std::size_t>(length), '\0');
  return {};
}

std::error_code MemoryFileSystem::flush(FileHandle file) {
  if (const auto error = take(Call::kFlush)) return error;
  Node* node = opened(file);
  if (node == nullptr) return error_of(std::errc::bad_file_descriptor);
  node->durable = node->data;
  return {};
}

std::error_code MemoryFileSystem::start_write_back(FileHandle file) {
  if (const auto error = take(Call::kWriteBack)) return error;
  return opened(file) == nullptr ? error_of(std::errc::bad_file_descriptor) : std::error_code();
}

std::error_code MemoryFileSystem::close(FileHandle file) {
  const std::error_code error = take(Call::kClose);
  const bool known = handles_.erase(file) == 1;
  if (error) return error;
  return known ? std::error_code() : error_of(std::errc::bad_file_descriptor);
}

std::error_code MemoryFileSystem::process_runs(unsigned long id, bool& runs) {
  if (const auto error = take(Call::kProcessRuns)) return error;
  runs = running_.contains(id);
  return {};
}

std::error_code MemoryFileSystem::look_up(const std::filesystem::path& path, bool follow,
                                          Entry& entry) const {
  entry = {};
  if (const auto error = take(Call::kLookUp)) return error;
  for (const auto& [part, error, kind] : faked_look_ups_) {
    if (path.generic_string().find(part) == std::string::npos) continue;
    entry = {kind, 1};
    return error;
  }
  Place found;
  const std::error_code error = place(path, follow, found);
  if (error == std::errc::no_such_file_or_directory) return {};
  if (error || found.node < 0) return error;
  const FileStatus status = status_of(found.node);
  entry = {status.kind, at(found.node).data.size(), status.own};
  return {};
}

std::error_code MemoryFileSystem::link_target(const std::filesystem::path& path,
                                              std::filesystem::path& target) const {
  Place found;
  if (const auto error = place(path, false, found)) return error;
  if (found.node < 0 || at(found.node).kind != Kind::kLink)
    return error_of(std::errc::invalid_argument);
  target = at(found.node).target;
  return {};
}

std::error_code MemoryFileSystem::real_path(const std::filesystem::path& path,
                                            std::filesystem::path& real) const {
  Place found;
  if (const auto error = place(path, true, found)) return error;
  if (found.node < 0) return error_of(std::errc::no_such_file_or_directory);
  real = path_of_link(found);
  return {};
}

std::error_code MemoryFileSystem::names_in(const std::filesystem::path& path,
                                           std::vector<std::string>& names) const {
  names.clear();
  if (const auto error = take(Call::kNamesIn)) return error;
  Place found;
  if (const auto error = place(path, true, found)) return error;
  if (found.node < 0) return error_of(std::errc::no_such_file_or_directory);
  if (at(found.node).kind != Kind::kDirectory) return error_of(std::errc::not_a_directory);
  for (const auto& [name, id] : at(found.node).names) names.push_back(name);
  return {};
}

int MemoryFileSystem::directory_of(FileHandle directory) const {
  const auto found = handles_.find(directory);
  if (found == handles_.end() || at(found->second.node).kind != Kind::kDirectory) return -1;
  return found->second.node;
}

std::filesystem::path MemoryFileSystem::path_of_node(int node) const {
  if (node == 0) return "/";
  for (std::size_t directory = 0; directory < nodes_.size(); ++directory) {
    for (const auto& [name, id] : nodes_[directory].names) {
      if (id == node && nodes_[directory].kind == Kind::kDirectory)
        return path_of_link({static_cast<int>(directory), name, id});
    }
  }
  return "/";
}

std::error_code MemoryFileSystem::at_name(FileHandle directory, std::string_view name,
                                          Place& found) const {
  found = {directory_of(directory), std::string(name), -1};
  if (found.directory < 0) return error_of(std::errc::bad_file_descriptor);
  const auto entry = at(found.directory).names.find(found.name);
  if (entry != at(found.directory).names.end()) found.node = entry->second;
  return {};
}

MemoryFileSystem::FileStatus MemoryFileSystem::status_of(int node) const {
  FileStatus status;
  if (node < 0) return status;
  const Node& here = at(node);
  status.kind = here.kind == Kind::kDirectory ? FileKind::kDirectory
                : here.kind == Kind::kLink    ? FileKind::kLink
                : here.kind == Kind::kDevice  ? FileKind::kOther
                                              : FileKind::kRegular;
  status.permissions = 0644;
  status.id = {0, static_cast<std::uint64_t>(node)};
  status.own = here.owner == kMe;
  status.links = 0;
  for (const Node& directory : nodes_) {
    for (const auto& [name, id] : directory.names) status.links += id == node;
  }
  if (here.read_only) status.write_error = error_of(std::errc::permission_denied);
  if (here.kind == Kind::kDirectory) status.write_error = error_of(std::errc::is_a_directory);
  return status;
}

std::error_code MemoryFileSystem::open_directory(FileHandle directory,
                                                 const std::filesystem::path& name,
                                                 FileHandle& held) {
  held = platform::kNoFile;
  if (const auto error = take(Call::kOpenDirectory)) return error;
  Place found;
  if (directory == platform::kNoFile) {
    if (const auto error = place(name, false, found)) return error;
  } else if (const auto error = at_name(directory, name.string(), found)) {
    return error;
  }
  if (found.node < 0) return error_of(std::errc::no_such_file_or_directory);
  if (at(found.node).kind == Kind::kLink) return error_of(std::errc::too_many_symbolic_link_levels);
  if (at(found.node).kind != Kind::kDirectory) return error_of(std::errc::not_a_directory);
  held = new_handle(found.node);
  return {};
}

// Part by part from the held `base`: a link of another user's stops the walk there; a missing
// directory on the way is an error, a missing last part is not.
std::error_code MemoryFileSystem::resolve(FileHandle base, const std::filesystem::path& shown_base,
                                          const std::filesystem::path& name, Target& target,
                                          platform::Resolution& resolution) {
  target = {};
  resolution = {};
  if (const auto error = take(Call::kResolve)) return error;
  const int from = directory_of(base);
  if (from < 0) return error_of(std::errc::bad_file_descriptor);
  const std::filesystem::path base_path = path_of_node(from);
  std::filesystem::path walked = base_path;
  std::filesystem::path shown = shown_base;
  for (const auto& part : name) {
    walked /= part;
    shown /= part;
    Place found;
    if (place(walked, false, found) || found.node < 0) break;
    const Node& node = at(found.node);
    if (node.kind == Kind::kLink && node.owner != kMe) {
      resolution.link = shown;
      resolution.link_owner = std::to_string(node.owner);
      return platform::foreign_link_error();
    }
  }
  Place found;
  if (const auto error = place(base_path / name, true, found)) return error;
  if (found.directory < 0) return error_of(std::errc::no_such_file_or_directory);
  target.directory = found.directory == from ? base : new_handle(found.directory);
  target.directory_id = {0, static_cast<std::uint64_t>(found.directory)};
  target.name = found.name;
  target.status = status_of(found.node);
  return {};
}

std::error_code MemoryFileSystem::status_at(FileHandle directory, std::string_view name,
                                            FileStatus& status) {
  status = {};
  if (const auto error = take(Call::kStatus)) return error;
  Place found;
  if (const auto error = at_name(directory, name, found)) return error;
  status = status_of(found.node);
  return {};
}

std::error_code MemoryFileSystem::open_at(FileHandle directory, std::string_view name,
                                          FileHandle& file, FileKind& kind) {
  file = platform::kNoFile;
  if (const auto error = take(Call::kOpen)) return error;
  Place found;
  if (const auto error = at_name(directory, name, found)) return error;
  if (found.node < 0) {
    nodes_.push_back({});
    found.node = static_cast<int>(nodes_.size()) - 1;
    change(found.directory, {{found.name, found.node}});
  }
  const Node& node = at(found.node);
  if (node.kind == Kind::kLink) return error_of(std::errc::too_many_symbolic_link_levels);
  if (node.kind == Kind::kDirectory) return error_of(std::errc::is_a_directory);
  if (node.read_only) return error_of(std::errc::permission_denied);
  kind = node.kind == Kind::kDevice ? FileKind::kOther : FileKind::kRegular;
  file = new_handle(found.node);
  return {};
}

std::error_code MemoryFileSystem::open_to_read(FileHandle directory,
                                               const std::filesystem::path& name,
                                               platform::Reading reading, FileHandle& file,
                                               Entry& entry) {
  file = platform::kNoFile;
  entry = {};
  if (const auto error = take(Call::kOpen)) return error;
  const bool plain = reading == platform::Reading::kPlain;
  Place found;
  const std::error_code error = directory == platform::kNoFile
                                    ? place(name, !plain, found)
                                    : at_name(directory, name.string(), found);
  if (plain && (error == std::errc::no_such_file_or_directory || (!error && found.node < 0)))
    return {};
  if (error) return error;
  if (found.node < 0) return error_of(std::errc::no_such_file_or_directory);
  const FileStatus status = status_of(found.node);
  if (!plain && status.kind == FileKind::kDirectory) return error_of(std::errc::is_a_directory);
  entry = {status.kind, at(found.node).data.size(), status.own};
  if (!plain || entry.kind == FileKind::kRegular) file = new_handle(found.node);
  return {};
}

std::error_code MemoryFileSystem::create_at(FileHandle directory, std::string_view name,
                                            const FileStatus&, FileHandle& file) {
  file = platform::kNoFile;
  if (const auto error = take(Call::kCreate)) return error;
  Place found;
  if (const auto error = at_name(directory, name, found)) return error;
  if (found.node >= 0) return error_of(std::errc::file_exists);
  nodes_.push_back({});
  found.node = static_cast<int>(nodes_.size()) - 1;
  change(found.directory, {{found.name, found.node}});
  file = new_handle(found.node);
  return {};
}

std::error_code MemoryFileSystem::link_at(FileHandle directory, std::string_view existing,
                                          std::string_view link) {
  if (const auto error = take(Call::kHardLink)) return error;
  if (!hard_links_) return error_of(std::errc::operation_not_permitted);
  Place from;
  Place to;
  if (const auto error = at_name(directory, existing, from)) return error;
  if (const auto error = at_name(directory, link, to)) return error;
  if (from.node < 0) return error_of(std::errc::no_such_file_or_directory);
  if (to.node >= 0) return error_of(std::errc::file_exists);
  if (at(from.node).kind != Kind::kFile) return error_of(std::errc::operation_not_permitted);
  change(to.directory, {{to.name, from.node}});
  return {};
}

std::error_code MemoryFileSystem::rename_at(FileHandle directory, std::string_view from,
                                            std::string_view to) {
  if (const auto error = take(Call::kReplace)) return error;
  Place source;
  Place target;
  if (const auto error = at_name(directory, from, source)) return error;
  if (const auto error = at_name(directory, to, target)) return error;
  if (source.node < 0) return error_of(std::errc::no_such_file_or_directory);
  if (target.node >= 0 && at(target.node).kind == Kind::kDirectory)
    return error_of(std::errc::is_a_directory);
  // Two names of one file: nothing happens, and both stay.
  if (source.node == target.node) return {};
  // A rename is one change: after a crash the file has the one name or the other.
  change(target.directory, {{target.name, source.node}, {source.name, -1}});
  return {};
}

std::error_code MemoryFileSystem::remove_at(FileHandle directory, std::string_view name) {
  if (const auto error = take(Call::kRemove)) return error;
  Place found;
  if (const auto error = at_name(directory, name, found)) return error;
  if (found.node < 0) return {};
  if (at(found.node).kind == Kind::kDirectory) return error_of(std::errc::is_a_directory);
  change(found.directory, {{found.name, -1}});
  return {};
}

std::error_code MemoryFileSystem::sync_directory(FileHandle directory) {
  if (const auto error = take(Call::kSyncDirectory)) return error;
  const int node = directory_of(directory);
  if (node < 0) return error_of(std::errc::bad_file_descriptor);
  at(node).durable_names = at(node).names;
  at(node).pending.clear();
  return {};
}

std::error_code MemoryFileSystem::names_at(FileHandle directory, std::vector<std::string>& names) {
  names.clear();
  if (const auto error = take(Call::kNamesIn)) return error;
  const int node = directory_of(directory);
  if (node < 0) return error_of(std::errc::bad_file_descriptor);
  for (const auto& [name, id] : at(node).names) names.push_back(name);
  return {};
}

std::error_code MemoryFileSystem::may_add(FileHandle directory) {
  if (const auto error = take(Call::kMayWrite)) return error;
  const int node = directory_of(directory);
  if (node < 0) return error_of(std::errc::bad_file_descriptor);
  return at(node).read_only ? error_of(std::errc::permission_denied) : std::error_code();
}

std::error_code MemoryFileSystem::free_space(FileHandle, Room& room) {
  if (const auto error = take(Call::kFreeSpace)) return error;
  room = room_;
  return {};
}

std::error_code MemoryFileSystem::lock_directory(FileHandle directory, FileHandle&,
                                                 std::string& holder) {
  if (const auto error = take(Call::kLock)) return error;
  if (lock_holder_) {
    holder = *lock_holder_;
    return error_of(std::errc::resource_unavailable_try_again);
  }
  return directory_of(directory) < 0 ? error_of(std::errc::bad_file_descriptor)
                                     : std::error_code();
}

std::error_code MemoryFileSystem::lock_held(FileHandle, bool& held, std::string& holder) {
  if (const auto error = take(Call::kLockHeld)) return error;
  held = lock_holder_.has_value();
  holder = lock_holder_.value_or("");
  return {};
}

}  // namespace quorlant::testing
