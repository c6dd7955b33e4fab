#pragma once

namespace quorlant::recordio {

/// Readies the process for a run: a standard stream it was started without gets the null device
/// (so no file the run opens takes its place), a closed pipe on standard output or a file-size
/// limit becomes a failed write rather than a silent death, and an interrupt removes a
/// half-written replacement file. Throws a Failure that ends the program, before anything else,
/// when this cannot be done or standard output was closed.
void prepare_process();

}  // namespace quorlant::recordio
