#pragma once

#include <filesystem>
#include <istream>
#include <ostream>
#include <span>
#include <string_view>

namespace quorlant::run {

/// The whole program: handles --help and --version, rejects any other argument with a usage
/// error (status 2), and otherwise runs the dialogue on the given console in `working_directory`.
int main_program(std::span<const std::string_view> arguments, std::istream& in, std::ostream& out,
                 std::ostream& err, const std::filesystem::path& working_directory);

}  // namespace quorlant::run
