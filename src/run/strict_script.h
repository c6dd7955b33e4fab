#pragma once

#include <string>

#include "recordio/console.h"

namespace quorlant::run {

/// Reads a whole answer script from `console` (each line bounded) and checks each line against
/// the question the dialogue will ask it for, one answer a line, the two pauses included, and
/// nothing after them. Returns the script, which the run then reads as the dialogue would. A
/// line refused throws recordio::Failure (status 2) naming the line, the answer and the reason;
/// the end of the input throws it as the dialogue reports it.
std::string read_strict_script(recordio::Console& console);

}  // namespace quorlant::run
