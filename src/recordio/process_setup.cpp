#include "recordio/process_setup.h"

#include "recordio/platform/platform.h"

namespace quorlant::recordio {

bool prepare_process() {
  const bool output_open = platform::prepare_standard_streams();
  platform::install_interrupt_hook();
  return output_open;
}

bool standard_input_is_terminal() {
  return platform::standard_input_is_terminal();
}

}  // namespace quorlant::recordio
