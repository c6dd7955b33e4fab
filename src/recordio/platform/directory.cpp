// What both systems do alike through the standard library.
#include "recordio/platform/platform.h"

namespace quorlant::recordio::platform {

std::error_code SystemFileSystem::list(const std::filesystem::path& directory,
                                       std::vector<std::string>& names) {
  names.clear();
  std::error_code error;
  std::filesystem::directory_iterator entry(directory, error);
  for (; !error && entry != std::filesystem::directory_iterator(); entry.increment(error)) {
    names.push_back(entry->path().filename().string());
  }
  return error;
}

}  // namespace quorlant::recordio::platform
