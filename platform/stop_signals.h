#pragma once
// The signals that end a run as closing its window does.
#include <signal.h>

// Every signal whose default action ends the process, but SIGKILL (it cannot be caught), the
// faults (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS and SIGABRT: nothing can go on after
// them). Among them SIGPIPE and SIGXFSZ, each only where another process sent it: the one the
// kernel raises for this process's own write (into a pipe whose reader went away, past the
// file-size limit) is left to the writer, which sees the write fail.
bool IsStopSignal(int signal);
// Adds the stop signals to set: the signals whose handlers may end the process, so one is
// blocked while another's handler runs. Safe in a signal handler.
void AddStopSignals(sigset_t& set);
