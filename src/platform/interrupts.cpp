#include "platform/platform.h"

namespace quorlant::platform {

namespace {

// The hook is process-wide by nature; the deferral belongs to the run that opened a scope.
std::atomic<InterruptDeferral*> current{nullptr};

}  // namespace

InterruptDeferral* current_run() noexcept {
  return current.load();
}

InterruptScope::InterruptScope(InterruptDeferral& run) : previous_(current.exchange(&run)) {}

InterruptScope::~InterruptScope() {
  current.store(previous_);
}

}  // namespace quorlant::platform
