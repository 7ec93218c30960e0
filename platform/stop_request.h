#pragma once
// The stop request that long work checks: set by a stop signal (from its handler), read from any
// thread. Kept apart from the event queue, so file reading and the sound engine need no more.

// True once a stop signal has come while they are caught (until the catching is released) and
// while a program runs: long work (a big load, a read, a wait) gives up on it. Pumps nothing,
// costs atomic loads, and may be called from any thread.
bool StopSignalReceived();
// Marks the time a program runs. Outside it (the environment's editor, which may go on after
// a close it was asked for) work is not given up.
void EventsProgramRunning(bool running);
// Sets or clears the request; safe in a signal handler.
void SetStopAsked(bool asked);
