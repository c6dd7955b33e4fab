#pragma once

#include <filesystem>
#include <ostream>
#include <span>
#include <string_view>

#include "platform/platform.h"

namespace quorlant::check {

/// `quorlant check`, called as shared::kCheckCommand says: reads the event files of a series
/// (those in the list of events to follow, or those named) and reports which of the data files
/// they name are there. Writes nothing but the report on `out`. Returns 0 when
/// no kind of file has a gap, 1 when some have or when not one data file exists, and 2, after
/// one line per failure on `err`, when the check is incomplete: an event file could not be
/// checked or a file could not be looked at. `files` answers every question about files. A
/// check that cannot be made at all (a usage error, a series that a run left half put in place,
/// standard output that takes nothing) throws a recordio::Failure of status 2 instead.
int main_check(std::span<const std::string_view> arguments, std::ostream& out, std::ostream& err,
               const std::filesystem::path& working_directory, platform::FileSystem& files);

}  // namespace quorlant::check
