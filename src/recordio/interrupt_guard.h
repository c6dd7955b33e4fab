#pragma once

namespace quorlant::recordio {

/// Installs handlers for SIGINT, SIGTERM and SIGHUP that remove the temporary file in flight
/// (if any) and then end the process through the same signal, so its status still says so.
void install_interrupt_cleanup();

/// Names the temporary file to remove on an interrupt; nullptr when none is in flight.
/// The path is copied into static storage that the handler can read safely.
void set_file_in_flight(const char* path);

}  // namespace quorlant::recordio
