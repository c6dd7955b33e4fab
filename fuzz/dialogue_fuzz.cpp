// Drives a whole run from arbitrary bytes as the console input, in a fresh working directory
// with an event directory each time. Any status other than 0, 1 or 2 is a failure.

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <string_view>

#include "recordio/record_format.h"
#include "program.h"

namespace {

namespace fs = std::filesystem;

// Each event writes several files, and the first answer may ask for two billion of them: inputs
// asking for more than this many events are passed over so that one input stays quick.
constexpr std::int32_t kMostEvents = 100;

// Never destroyed, so the exit handler that removes it can still name it.
const fs::path& scratch_root() {
  static const fs::path* const root = [] {
    std::string pattern = (fs::temp_directory_path() / "quorlant-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    return new fs::path(pattern);
  }();
  static const bool removed_at_exit = std::atexit([] {
                                        std::error_code ignored;
                                        fs::remove_all(*root, ignored);
                                      }) == 0;
  (void)removed_at_exit;
  return *root;
}

// The number of events as the first free-form read takes it: blank lines are passed over, and
// the value ends at a blank, a comma or the end of the line.
bool asks_for_too_many_events(std::string_view input) {
  while (!input.empty()) {
    const std::size_t end = input.find('\n');
    std::string_view line = input.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::size_t begin = line.find_first_not_of(" \t");
    if (begin != std::string_view::npos) {
      line.remove_prefix(begin);
      line = line.substr(0, line.find_first_of(" \t,"));
      const auto events = quorlant::recordio::parse_integer(line);
      return events && *events > kMostEvents;
    }
    if (end == std::string_view::npos) break;
    input.remove_prefix(end + 1);
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  if (asks_for_too_many_events(input)) return -1;  // not kept in the corpus either

  const fs::path directory = scratch_root() / "run";
  fs::remove_all(directory);
  fs::create_directories(directory / "event");

  std::istringstream in{std::string(input)};
  std::ostringstream out;
  std::ostringstream err;
  quorlant::platform::SystemFileSystem files;
  const int status = quorlant::main_program({}, in, out, err, files, directory);
  if (status != 0 && status != 1 && status != 2) std::abort();
  return 0;
}
