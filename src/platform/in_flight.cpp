#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/platform.h"

namespace quorlant::platform {

namespace {

// The hook is process-wide by nature; what it cleans belongs to the run that opened a scope.
std::atomic<InFlightFiles*> current{nullptr};

}  // namespace

std::optional<std::size_t> InFlightFiles::add(const std::filesystem::path& path) {
  const auto& native = path.native();
  if (native.size() >= kPathLength) return std::nullopt;
  for (std::size_t i = 0; i < kSlots; ++i) {
    Slot& slot = slots_[i];
    if (slot.state.load() != kFree) continue;
    std::copy(native.begin(), native.end(), slot.path);
    slot.path[native.size()] = 0;
    slot.state.store(kHeld);  // published only once the path is complete
    // An interrupt that began before it could see this slot is ending the process: the file is
    // not made, and the run waits for the end.
    if (removing_.load()) {
      slot.state.store(kFree);
      for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    return i;
  }
  return std::nullopt;
}

void InFlightFiles::made(std::size_t slot) {
  slots_[slot].state.store(kInFlight);
}

bool InFlightFiles::hold(std::size_t slot) {
  int expected = kInFlight;
  return slots_[slot].state.compare_exchange_strong(expected, kHeld);
}

void InFlightFiles::release(std::size_t slot) {
  slots_[slot].state.store(kFree);
}

InFlightFiles* files_in_flight() noexcept {
  return current.load();
}

InterruptScope::InterruptScope(InFlightFiles& files) : previous_(current.exchange(&files)) {}

InterruptScope::~InterruptScope() {
  current.store(previous_);
}

}  // namespace quorlant::platform
