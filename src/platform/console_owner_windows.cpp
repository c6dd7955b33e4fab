// The processes attached to the console: only their count matters, so two places suffice (the
// call returns the whole count when the list is longer).
#include <windows.h>

#include "platform/console_owner.h"

namespace quorlant::platform {

unsigned processes_on_console() {
  // A console without a window (a program started hidden, as a scheduler may) has nobody to
  // press Enter.
  if (::GetConsoleWindow() == nullptr) return 0;
  DWORD processes[2];
  return static_cast<unsigned>(::GetConsoleProcessList(processes, 2));
}

}  // namespace quorlant::platform
