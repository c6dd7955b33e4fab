#include <chrono>

#include "process/process.h"

namespace quorlant::testing {

Collector::Collector(std::function<std::size_t(char*, std::size_t)> read)
    : thread_([this, read = std::move(read)] {
        char buffer[4096];
        for (std::size_t n; (n = read(buffer, sizeof buffer)) > 0;) {
          const std::lock_guard lock(mutex_);
          text_.append(buffer, n);
          changed_.notify_all();
        }
        const std::lock_guard lock(mutex_);
        ended_ = true;
        changed_.notify_all();
      }) {}

Collector::~Collector() {
  if (thread_.joinable()) thread_.join();
}

bool Collector::wait_for(std::string_view text) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::seconds(10), [&] {
    return ended_ || text_.find(text) != std::string::npos;
  }) && text_.find(text) != std::string::npos;
}

std::string Collector::finish() {
  if (thread_.joinable()) thread_.join();
  return text_;
}

Process run_process(const ProcessOptions& options) {
  Child child(options);
  return child.finish();
}

}  // namespace quorlant::testing
