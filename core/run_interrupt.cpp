#include "core/run_interrupt.h"

#include <csignal>

namespace {

// Written by the handler, read by the driver between steps: the one kind of
// object a handler may write.
volatile std::sig_atomic_t noted_signal = 0;

extern "C" void note_signal(int sig) { noted_signal = sig; }

}  // namespace

void install_interrupt_handlers() {
  struct sigaction action = {};
  action.sa_handler = note_signal;
  sigemptyset(&action.sa_mask);
  // A run stuck in one long step can still be stopped by a second signal.
  action.sa_flags = SA_RESETHAND;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

int interrupt_signal() { return noted_signal; }

void note_interrupt(int sig) { noted_signal = sig; }

void clear_interrupt() { noted_signal = 0; }

int interrupt_exit_status() { return noted_signal ? 128 + noted_signal : 0; }

const char* interrupt_name() {
  switch (noted_signal) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    default: return "signal";
  }
}
