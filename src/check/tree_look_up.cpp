#include "check/tree_look_up.h"

#include <deque>
#include <optional>
#include <utility>
#include <vector>

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

std::vector<std::string> parts_of(std::string_view name) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const auto end = name.find_first_of("\\/", start);
    parts.emplace_back(name.substr(start, end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
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
  Found result;
  result.presence = Presence::kNotLooked;
  result.path = std::move(path);
  result.error = error;
  return result;
}

fs::path path_below(const fs::path& base, const std::vector<std::string>& parts) {
  fs::path path = base;
  for (const auto& part : parts) path /= part;
  return path;
}

// The walk along one name: the parts resolved so far below the base, and those still to go.
class Walk {
 public:
  Walk(const TreeLookUp& tree, std::string_view name)
      : tree_(tree), base_(tree.base()), look_ups_(tree.look_ups()), name_(name) {
    for (auto& part : parts_of(name)) pending_.push_back(std::move(part));
  }

  Found run() {
    // The way to the directory is walked once for all the names that share it.
    std::string last = std::move(pending_.back());
    pending_.pop_back();
    const std::string directory(name_.substr(0, name_.size() - last.size()));
    auto& walked = tree_.walked();
    if (const auto known = walked.find(directory); known != walked.end()) {
      pending_.clear();
      done_ = known->second.parts;
      entry_ = known->second.entry;
      missing_ = known->second.missing;
      links_ = known->second.links;
    } else {
      if (auto failed = walk()) return *failed;
      walked.emplace(directory, TreeLookUp::Directory{done_, entry_, missing_, links_});
    }
    pending_.push_back(std::move(last));
    if (auto failed = walk()) return *failed;
    return found(missing_ ? Entry{} : entry_, path_below(base_, done_));
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
      if (done_.empty()) throw recordio::Failure(outside(name_));
      done_.pop_back();
      return std::nullopt;
    }
    done_.push_back(std::move(part));
    if (missing_) return std::nullopt;  // only whether the name stays inside is still to see
    if (entry_.kind != FileKind::kDirectory) {
      missing_ = true;  // a name below a file
      return std::nullopt;
    }
    const fs::path path = path_below(base_, done_);
    if (auto error = tree_.look_up(path, entry_)) return not_looked(path, error);
    if (entry_.kind == FileKind::kMissing) missing_ = true;
    if (entry_.kind != FileKind::kLink) return std::nullopt;
    return follow(path);
  }

  // Goes on from the link's target, which must lead to the working directory or below.
  std::optional<Found> follow(const fs::path& path) {
    if (++links_ > kMaxLinks) {
      return not_looked(path, std::make_error_code(std::errc::too_many_symbolic_link_levels));
    }
    fs::path target;
    if (auto error = look_ups_.link_target(path, target)) return not_looked(path, error);
    done_.pop_back();
    // Any target with a root is weighed against the working directory's real path, also those
    // Windows does not call absolute (\dir on the current drive, C:dir).
    if (target.has_root_path()) {
      fs::path real_base;
      if (auto error = tree_.real_base(real_base)) return not_looked(base_, error);
      const fs::path below = target.lexically_normal().lexically_relative(real_base);
      if (below.empty() || *below.begin() == "..") throw recordio::Failure(outside(name_));
      done_.clear();
      target = below;
    }
    // The target's parts go first, then the rest of the name, from the link's directory.
    std::vector<std::string> target_parts;
    for (const auto& element : target) target_parts.push_back(element.string());
    pending_.insert(pending_.begin(), target_parts.begin(), target_parts.end());
    entry_ = {FileKind::kDirectory, 0};
    return std::nullopt;
  }

  const TreeLookUp& tree_;
  const fs::path& base_;
  const platform::LookUps& look_ups_;
  std::string_view name_;
  std::vector<std::string> done_;
  std::deque<std::string> pending_;
  Entry entry_{FileKind::kDirectory, 0};  // what `done_` leads to
  bool missing_ = false;                   // some part on the way is not there
  int links_ = 0;
};

}  // namespace

std::string outside(std::string_view name) {
  return "\"" + std::string(name) + "\" lies outside the working directory; not followed";
}

TreeLookUp::TreeLookUp(fs::path base, const platform::LookUps& look_ups)
    : base_(std::move(base)), look_ups_(look_ups) {}

Found TreeLookUp::find(std::string_view name) const {
  if (rooted(name)) throw recordio::Failure(outside(name));
  return Walk(*this, name).run();
}

std::error_code TreeLookUp::look_up(const fs::path& path, Entry& entry) const {
  // The data files of a series share a few directories: each is looked at once.
  if (const auto known = directories_.find(path.native()); known != directories_.end()) {
    entry = known->second;
    return {};
  }
  if (auto error = look_ups_.look_up(path, false, entry)) return error;
  if (entry.kind == FileKind::kDirectory) directories_.emplace(path.native(), entry);
  return {};
}

std::error_code TreeLookUp::real_base(fs::path& real) const {
  if (real_base_.empty()) {
    if (auto error = look_ups_.real_path(base_, real_base_)) return error;
  }
  real = real_base_;
  return {};
}

Found TreeLookUp::find_anywhere(std::string_view name) const {
  fs::path path = recordio::native_path(base_, name);
  Entry entry;
  if (auto error = look_ups_.look_up(path, true, entry)) return not_looked(path, error);
  return found(entry, std::move(path));
}

}  // namespace quorlant::check
