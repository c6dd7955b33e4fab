#pragma once

// Whose console window the program runs in. console_owner_posix.cpp and
// console_owner_windows.cpp implement it; the build picks one.
namespace quorlant::platform {

/// How many processes share this process's console: 1 when the window is the program's own (a
/// double-click in Explorer opened it), more when a shell started the program, 0 without a
/// console. POSIX has no such window: always 0.
unsigned processes_on_console();

}  // namespace quorlant::platform
