#include "platform/stop_signals.h"

bool IsStopSignal(int signal) {
  switch (signal) {
    case SIGHUP: case SIGINT: case SIGQUIT: case SIGUSR1: case SIGUSR2: case SIGPIPE: case SIGALRM:
    case SIGTERM: case SIGSTKFLT: case SIGXCPU: case SIGXFSZ: case SIGVTALRM: case SIGPROF: case SIGIO: case SIGPWR:
      return true;
    default:
      return signal >= SIGRTMIN && signal <= SIGRTMAX;
  }
}

void AddStopSignals(sigset_t& set) {
  for (int s = 1; s < NSIG; ++s)
    if (IsStopSignal(s)) sigaddset(&set, s);
}
