#pragma once

#include <filesystem>
#include <istream>
#include <ostream>
#include <span>
#include <string_view>

#include "platform/platform.h"

namespace quorlant::run {

/// A run in `working_directory` of `files`: --help and --version; the answer options, checked
/// before anything is touched (a value that cannot be used throws a Failure of status 2),
/// feeding the run in place of the dialogue; or the dialogue on `in` and `out`, where an answer
/// that fails its check is asked again when `input_is_terminal`, and a --strict script is read
/// and checked whole before the run starts. A failure that ends the run is thrown, as a
/// recordio::Failure, for the top of the program to report; `err` takes the run's warnings.
int main_program(std::span<const std::string_view> arguments, std::istream& in, std::ostream& out,
                 std::ostream& err, platform::FileSystem& files,
                 const std::filesystem::path& working_directory, bool input_is_terminal = false);

}  // namespace quorlant::run
