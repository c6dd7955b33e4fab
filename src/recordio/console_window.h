#pragma once

#include <istream>
#include <ostream>

namespace quorlant::recordio {

/// Keeps a console window that is the program's own (a double-click in Explorer opened it, so
/// it closes when the program ends) open until Enter is pressed, so that the run's last lines
/// can be read: shows "Press Enter to close this window." and reads one line. A program started
/// from a shell or a script, or whose input is not the console, never waits. Returns whether it
/// waited; `processes_on_console` counts the processes on the console (main hands it the
/// system's count, platform::processes_on_console).
bool hold_own_window(std::istream& in, std::ostream& out, bool input_is_terminal,
                     unsigned (*processes_on_console)());

}  // namespace quorlant::recordio
