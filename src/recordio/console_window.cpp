#include "recordio/console_window.h"

#include <string>

namespace quorlant::recordio {

bool hold_own_window(std::istream& in, std::ostream& out, bool input_is_terminal,
                     unsigned (*processes_on_console)()) {
  // Redirected input would answer the wait itself, or never: the console is asked only when
  // the answers were typed in it.
  if (!input_is_terminal || processes_on_console() != 1) return false;
  out << "Press Enter to close this window.\n" << std::flush;
  in.clear();  // a run that ended on the end of its input (Ctrl Z) still waits
  std::string line;
  std::getline(in, line);
  return true;
}

}  // namespace quorlant::recordio
