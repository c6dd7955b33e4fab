#include "recordio/process_setup.h"

#include "platform/platform.h"
#include "recordio/failure.h"

namespace quorlant::recordio {

void prepare_process() {
  bool output_closed = false;
  if (const std::error_code error = platform::prepare_standard_streams(output_closed))
    throw Failure("cannot prepare the standard streams: " + platform::message_of(error));
  if (output_closed)
    throw Failure("standard output is closed, so the run cannot show its questions");
  if (const std::error_code error = platform::install_interrupt_hook())
    throw Failure("cannot install the interrupt handler: " + platform::message_of(error));
}

}  // namespace quorlant::recordio
