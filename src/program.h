#pragma once

#include <filesystem>
#include <istream>
#include <ostream>
#include <span>
#include <string_view>

#include "platform/platform.h"

namespace quorlant {

/// The whole program: `quorlant check ...` checks a series; anything else is a run (see
/// run::main_program). Returns the exit status.
int main_program(std::span<const std::string_view> arguments, std::istream& in, std::ostream& out,
                 std::ostream& err, platform::FileSystem& files,
                 const std::filesystem::path& working_directory, bool input_is_terminal = false);

}  // namespace quorlant
