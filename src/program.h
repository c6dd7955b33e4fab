#pragma once

#include <filesystem>
#include <istream>
#include <ostream>
#include <span>
#include <string_view>

#include "platform/platform.h"
#include "recordio/failure.h"

namespace quorlant {

/// Tells a failure that ends the program: its line (none for an interrupt) and its aftermath,
/// each after "`who`: " on `err`. Returns its exit status.
int report(const recordio::Failure& failure, std::string_view who, std::ostream& err);

/// The whole program: `quorlant check ...` checks a series; anything else is a run (see
/// run::main_program). Every failure that ends either is reported here. Returns the exit status.
int main_program(std::span<const std::string_view> arguments, std::istream& in, std::ostream& out,
                 std::ostream& err, platform::FileSystem& files,
                 const std::filesystem::path& working_directory, bool input_is_terminal = false);

}  // namespace quorlant
