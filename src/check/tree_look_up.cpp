#include "check/tree_look_up.h"

#include <deque>
#include <optional>
#include <system_error>
#include <utility>

#include "platform/platform.h"
#include "recordio/failure.h"
#include "recordio/units.h"

namespace quorlant::check {

namespace {

namespace fs = std::filesystem;
using platform::Entry;
using platform::FileKind;

// As many links on one name as the systems themselves follow before they give up.
constexpr int kMaxLinks = 40;

// A name that does not start where the working directory is: rooted, or with a drive letter
// (C:x is relative to the current directory of drive C) or a stream of a file after a colon.
bool rooted(std::string_view name) {
  return name.starts_with('\\') || name.starts_with('/') || name.find(':') != name.npos;
}

recordio::Failure outside(std::string_view name) {
  return recordio::Failure("\"" + std::string(name) +
                           "\" lies outside the working directory; not followed");
}

Found found(const Entry& entry, fs::path path) {
  Found result;
  result.kind = entry.kind;
  result.path = std::move(path);
  if (entry.kind == FileKind::kRegular) {
    result.presence = entry.size == 0 ? Presence::kEmpty : Presence::kPresent;
  }
  return result;
}

Found not_looked(fs::path path, std::error_code error) {
  return {Presence::kNotLooked, FileKind::kMissing, std::move(path), platform::message_of(error)};
}

fs::path path_below(const fs::path& base, const std::vector<std::string>& parts) {
  fs::path path = base;
  for (const auto& part : parts) path /= part;
  return path;
}

}  // namespace

// The walk along one name: the place its parts have led so far, and the parts still to go.
class TreeLookUp::Walk {
 public:
  Walk(const TreeLookUp& tree, std::string_view name) : tree_(tree), name_(name) {
    std::size_t start = 0;
    for (std::size_t end = 0; end != name.npos; start = end + 1) {
      end = name.find_first_of("\\/", start);
      pending_.emplace_back(name.substr(start, end - start));
    }
  }

  Found run() {
    // The way to the directory is walked once for all the names that share it.
    std::string last = std::move(pending_.back());
    pending_.pop_back();
    const std::string directory(name_.substr(0, name_.size() - last.size()));
    if (const auto known = tree_.walked_.find(directory); known != tree_.walked_.end()) {
      pending_.clear();
      at_ = known->second;
    } else {
      if (auto failed = walk()) return *failed;
      tree_.walked_.emplace(directory, at_);
    }
    pending_.push_back(std::move(last));
    if (auto failed = walk()) return *failed;
    return found(at_.missing ? Entry{} : at_.entry, path_below(tree_.base_, at_.parts));
  }

 private:
  std::optional<Found> walk() {
    while (!pending_.empty()) {
      std::string part = std::move(pending_.front());
      pending_.pop_front();
      if (auto failed = step(std::move(part))) return failed;
    }
    return std::nullopt;
  }

  // One part of the way; a Found when a look-up fails.
  std::optional<Found> step(std::string part) {
    if (part.empty() || part == ".") return std::nullopt;
    if (part == "..") {
      // Climbing is followed as the system follows it: from where the links have led.
      if (at_.parts.empty()) throw outside(name_);
      at_.parts.pop_back();
      return std::nullopt;
    }
    at_.parts.push_back(std::move(part));
    if (at_.missing) return std::nullopt;  // only whether the name stays inside is still to see
    if (at_.entry.kind != FileKind::kDirectory) {
      at_.missing = true;  // a name below a file
      return std::nullopt;
    }
    const fs::path path = path_below(tree_.base_, at_.parts);
    if (auto error = look_up(path)) return not_looked(path, error);
    if (at_.entry.kind == FileKind::kMissing) at_.missing = true;
    if (at_.entry.kind != FileKind::kLink) return std::nullopt;
    return follow(path);
  }

  // What `path` is into the place, a link not followed.
  std::error_code look_up(const fs::path& path) {
    if (const auto known = tree_.directories_.find(path.native());
        known != tree_.directories_.end()) {
      at_.entry = known->second;
      return {};
    }
    if (auto error = tree_.look_ups_.look_up(path, false, at_.entry)) return error;
    if (at_.entry.kind == FileKind::kDirectory)
      tree_.directories_.emplace(path.native(), at_.entry);
    return {};
  }

  // Goes on from the link's target, which must lead to the working directory or below.
  std::optional<Found> follow(const fs::path& path) {
    if (++at_.links > kMaxLinks) {
      return not_looked(path, std::make_error_code(std::errc::too_many_symbolic_link_levels));
    }
    fs::path target;
    if (auto error = tree_.look_ups_.link_target(path, target)) return not_looked(path, error);
    at_.parts.pop_back();
    // Any target with a root is weighed against the working directory's real path, also those
    // Windows does not call absolute (\dir on the current drive, C:dir).
    if (target.has_root_path()) {
      if (auto error = real_base()) return not_looked(tree_.base_, error);
      target = target.lexically_normal().lexically_relative(tree_.real_base_);
      if (target.empty() || *target.begin() == "..") throw outside(name_);
      at_.parts.clear();
    }
    // The target's parts go first, then the rest of the name, from the link's directory.
    std::vector<std::string> target_parts;
    for (const auto& element : target) target_parts.push_back(element.string());
    pending_.insert(pending_.begin(), target_parts.begin(), target_parts.end());
    at_.entry = {FileKind::kDirectory, 0};
    return std::nullopt;
  }

  std::error_code real_base() const {
    if (!tree_.real_base_.empty()) return {};
    return tree_.look_ups_.real_path(tree_.base_, tree_.real_base_);
  }

  const TreeLookUp& tree_;
  std::string_view name_;
  Place at_;
  std::deque<std::string> pending_;
};

TreeLookUp::TreeLookUp(fs::path base, platform::FileSystem& files)
    : base_(std::move(base)), look_ups_(files) {}

Found TreeLookUp::find(std::string_view name) const {
  if (rooted(name)) throw outside(name);
  return Walk(*this, name).run();
}

Found TreeLookUp::find_anywhere(std::string_view name) const {
  fs::path path = recordio::native_path(base_, name);
  Entry entry;
  if (auto error = look_ups_.look_up(path, true, entry)) return not_looked(path, error);
  return found(entry, std::move(path));
}

}  // namespace quorlant::check
