#include "recordio/interrupt_guard.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

namespace quorlant::recordio {

namespace {

char in_flight_path[4096];
std::atomic<bool> in_flight{false};

extern "C" void remove_in_flight_and_reraise(int signal_number) {
  if (in_flight.load()) unlink(in_flight_path);  // async-signal-safe
  struct sigaction default_action {};
  default_action.sa_handler = SIG_DFL;
  sigemptyset(&default_action.sa_mask);
  sigaction(signal_number, &default_action, nullptr);
  raise(signal_number);
}

}  // namespace

void install_interrupt_cleanup() {
  struct sigaction action {};
  action.sa_handler = remove_in_flight_and_reraise;
  sigemptyset(&action.sa_mask);
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal_number, &action, nullptr);
}

void set_file_in_flight(const char* path) {
  in_flight.store(false);
  if (path == nullptr || std::strlen(path) >= sizeof in_flight_path) return;
  std::strcpy(in_flight_path, path);
  in_flight.store(true);
}

}  // namespace quorlant::recordio
