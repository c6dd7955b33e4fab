#pragma once

#include <string>
#include <string_view>

#include "recordio/series_writer.h"

namespace quorlant::eventfile {

/// The file name of the event that starts on `yyyymmdd`: "20150101.evt".
inline constexpr std::string_view kEventFileEnding = ".evt";
inline std::string event_file_name(std::string_view yyyymmdd) {
  return std::string(yyyymmdd).append(kEventFileEnding);
}

/// The list of the event files a run wrote, by its file name and as the program names it.
inline constexpr std::string_view kFollowListFile = "events_to_follow.txt";
inline const std::string kFollowList = recordio::in_event_folder(kFollowListFile);

/// The files of a series, as the series writer is told them.
inline constexpr recordio::SeriesNames kSeriesNames{kFollowListFile, kEventFileEnding};

/// Whether `file` is the file name of an event file ("20150101.evt") or of the list.
inline bool names_a_series_file(std::string_view file) {
  return kSeriesNames.holds(file);
}

}  // namespace quorlant::eventfile
