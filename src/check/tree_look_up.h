#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <vector>

#include "platform/look_up.h"

namespace quorlant::check {

/// What a look-up found: a file with something in it, an empty one, nothing, or no answer.
enum class Presence { kPresent, kEmpty, kMissing, kNotLooked };

/// A name of the tree, resolved.
struct Found {
  Presence presence = Presence::kMissing;
  platform::FileKind kind = platform::FileKind::kMissing;  // links followed
  std::filesystem::path path;  // where the name leads; for kNotLooked, the path that failed
  std::error_code error;       // for kNotLooked
};

/// Looks up names of files as the program writes them (a backslash or a slash between the
/// parts) below the working directory, following links as long as they stay below it.
class TreeLookUp {
 public:
  TreeLookUp(std::filesystem::path base, const platform::LookUps& look_ups);

  /// What `name` leads to. Throws Failure when it leads outside the working directory once
  /// resolved: an absolute name, a drive letter, a `..` too many, or a link out of the tree.
  /// Only a regular file is present; a directory, a pipe or a device is there but counts as
  /// missing, with its kind.
  Found find(std::string_view name) const;
  /// What `name` leads to wherever that is, links followed: for files the user names.
  Found find_anywhere(std::string_view name) const;

  const std::filesystem::path& base() const { return base_; }
  const platform::LookUps& look_ups() const { return look_ups_; }
  /// What `path` is, without following a link; a directory is asked about once.
  std::error_code look_up(const std::filesystem::path& path,
                          platform::Entry& entry) const;
  /// The working directory as an absolute path without links, asked once.
  std::error_code real_base(std::filesystem::path& real) const;

  /// Where a directory part of a name led, links followed: the parts below the base.
  struct Directory {
    std::vector<std::string> parts;
    platform::Entry entry;
    bool missing = false;
    int links = 0;
  };
  /// The directory parts of names walked before, by the text of the name up to its last part:
  /// the files of a series share a few, however long the way to them.
  std::unordered_map<std::string, Directory>& walked() const { return walked_; }

 private:
  std::filesystem::path base_;
  const platform::LookUps& look_ups_;
  mutable std::filesystem::path real_base_;
  mutable std::unordered_map<std::filesystem::path::string_type, platform::Entry>
      directories_;
  mutable std::unordered_map<std::string, Directory> walked_;
};

/// "\"NAME\" lies outside the working directory; not followed".
std::string outside(std::string_view name);

}  // namespace quorlant::check
