#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/platform.h"

namespace quorlant::check {

/// What a look-up found: a file with something in it, an empty one, nothing, or no answer.
enum class Presence { kPresent, kEmpty, kMissing, kNotLooked };

/// A name of the tree, resolved.
struct Found {
  Presence presence = Presence::kMissing;
  platform::FileKind kind = platform::FileKind::kMissing;  // links followed
  std::filesystem::path path;  // where the name leads; for kNotLooked, the path that failed
  std::string reason;          // for kNotLooked: the system's words
};

/// Looks up names of files as the program writes them (a backslash or a slash between the
/// parts) below the working directory, following links as long as they stay below it.
class TreeLookUp {
 public:
  TreeLookUp(std::filesystem::path base, platform::FileSystem& files);

  /// What `name` leads to. Throws Failure when it leads outside the working directory once
  /// resolved: an absolute name, a drive letter, a `..` too many, or a link out of the tree.
  /// Only a regular file is present; a directory, a pipe or a device is there but counts as
  /// missing, with its kind.
  Found find(std::string_view name) const;
  /// What `name` leads to wherever that is, links followed: for files the user names.
  Found find_anywhere(std::string_view name) const;

  platform::FileSystem& look_ups() const { return look_ups_; }

 private:
  class Walk;
  /// Where the parts of a name walked so far led, links followed.
  struct Place {
    std::vector<std::string> parts;                            // below the base
    platform::Entry entry{platform::FileKind::kDirectory, 0};  // what `parts` lead to
    bool missing = false;                                      // a part on the way is not there
    int links = 0;                                             // followed on the way
  };

  std::filesystem::path base_;
  platform::FileSystem& look_ups_;
  mutable std::filesystem::path real_base_;  // the base without links, asked once
  // The data files of a series share a few directories: each is looked at once.
  mutable std::unordered_map<std::filesystem::path::string_type, platform::Entry> directories_;
  // The places of the directory parts of names walked before, by the text of the name up to
  // its last part: however long the way, it is walked once for the series.
  mutable std::unordered_map<std::string, Place> walked_;
};

}  // namespace quorlant::check
