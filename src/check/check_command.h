#pragma once

#include <filesystem>
#include <ostream>
#include <span>
#include <string_view>

namespace quorlant::check {

/// `quorlant check [--chart | --json] [FILE...]`: reads the event files of a series (those in
/// the list of events to follow, or FILE...) and reports which of the data files they name are
/// there. Writes nothing but the report on `out`. Returns 0 when no kind of file has a gap, 1
/// when some have, and 2, after one line per failure on `err`, when the check cannot be made
/// for every event file.
int main_check(std::span<const std::string_view> arguments, std::ostream& out, std::ostream& err,
               const std::filesystem::path& working_directory);

}  // namespace quorlant::check
