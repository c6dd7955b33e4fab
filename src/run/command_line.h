#pragma once

#include <filesystem>
#include <istream>
#include <ostream>
#include <span>
#include <string_view>

#include "platform/platform.h"

namespace quorlant::run {

/// The whole program in `working_directory` of `files`: --help and --version; the answer
/// options, checked before anything is touched (a value that cannot be used is one line on
/// `err`, status 2), feeding the run in place of the dialogue; or the dialogue on `in` and
/// `out`, where an answer that fails its check is asked again when `input_is_terminal`, and a
/// --strict script is read and checked whole before the run starts.
int main_program(std::span<const std::string_view> arguments, std::istream& in, std::ostream& out,
                 std::ostream& err, platform::FileSystem& files,
                 const std::filesystem::path& working_directory, bool input_is_terminal = false);

}  // namespace quorlant::run
