// The processes attached to the console: only their count matters, so two places suffice (the
// call returns the whole count when the list is longer).
#include <windows.h>

#include "recordio/platform/console_owner.h"

namespace quorlant::recordio::platform {

unsigned processes_on_console() {
  DWORD processes[2];
  return static_cast<unsigned>(::GetConsoleProcessList(processes, 2));
}

}  // namespace quorlant::recordio::platform
