// What both systems do alike through the standard library.
#include <cerrno>

#include "platform/platform.h"

namespace quorlant::platform {

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

namespace {

class NotRegularCategory final : public std::error_category {
 public:
  const char* name() const noexcept override { return "quorlant.file"; }
  std::string message(int) const override {
    return "not a regular file (a pipe or a socket); never written";
  }
};

}  // namespace

std::error_code not_regular_file_error() {
  static const NotRegularCategory category;
  return {1, category};
}

void forget_last_error() {
  errno = 0;
}

bool reader_gone() {
  return errno == EPIPE;
}

}  // namespace quorlant::platform
