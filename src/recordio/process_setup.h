#pragma once

namespace quorlant::recordio {

/// Readies the process for a run: a standard stream it was started without gets the null device
/// (so no file the run opens takes its place), a closed pipe on standard output becomes a failed
/// write rather than a silent death, and an interrupt removes a half-written replacement file.
/// Returns false when standard output was closed: the run cannot show its questions.
bool prepare_process();

/// Whether the answers are typed at a terminal (a console on Windows), not read from a file.
bool standard_input_is_terminal();

}  // namespace quorlant::recordio
