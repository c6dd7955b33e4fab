#pragma once

#include <string>
#include <string_view>

namespace quorlant::recordio {

/// The folder that holds the event files, their list and the journal of a series.
inline constexpr std::string_view kEventFolder = "event";

/// `file` in the event folder, as a composed name gives it: "event\20150101.evt".
inline std::string in_event_folder(std::string_view file) {
  return std::string(kEventFolder).append("\\").append(file);
}

/// The file name of the event that starts on `yyyymmdd`: "20150101.evt".
inline std::string event_file_name(std::string_view yyyymmdd) {
  return std::string(yyyymmdd).append(".evt");
}

/// The list of the event files a run wrote, by its file name and as the program names it.
inline constexpr std::string_view kFollowListFile = "events_to_follow.txt";
inline const std::string kFollowList = in_event_folder(kFollowListFile);

/// Whether `file` is the file name of an event file ("20150101.evt") or of the list.
inline bool names_a_series_file(std::string_view file) {
  if (file == kFollowListFile) return true;
  return file.size() == 12 && file.substr(0, 8).find_first_not_of("0123456789") == file.npos &&
         file.substr(8) == ".evt";
}

}  // namespace quorlant::recordio
