#pragma once
// The signals that end a run as closing its window does.
#include <signal.h>

// Every signal whose default action ends the process, but SIGKILL (it cannot be caught), the
// faults (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS and SIGABRT: nothing can go on after
// them) and SIGXFSZ (ignored, so a write past the file-size limit fails as a write does). Among
// them SIGPIPE: an output whose reader went away.
bool IsStopSignal(int signal);
// Adds the stop signals to set: the signals whose handlers may end the process, so one is
// blocked while another's handler runs. Safe in a signal handler.
void AddStopSignals(sigset_t& set);
