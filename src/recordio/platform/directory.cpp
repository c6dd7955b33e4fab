// What both systems do alike through the standard library.
#include "recordio/platform/platform.h"

namespace quorlant::recordio::platform {

std::error_code SystemFileSystem::names_in(const std::filesystem::path& path,
                                           std::vector<std::string>& names) const {
  std::error_code error;
  names.clear();
  for (std::filesystem::directory_iterator it(path, error), end; !error && it != end;
       it.increment(error)) {
    names.push_back(it->path().filename().string());
  }
  return error;
}

const LookUps& system_look_ups() {
  static const SystemFileSystem files;
  return files;
}

std::error_code SystemFileSystem::list(const std::filesystem::path& directory,
                                       std::vector<std::string>& names) {
  return names_in(directory, names);
}

}  // namespace quorlant::recordio::platform
