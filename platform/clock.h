#pragma once
#include <cstdint>

// Millisecond clock. TimeMs wraps at 2^32 like the system tick counter; callers compare
// unsigned differences. A virtual clock replaces real time for tests and --clock virtual:
// it only moves when told to.
uint32_t TimeMs();
// The same clock in microseconds (TimeMs() is its value / 1000, wrapped to 32 bits).
uint64_t TimeUs();
void SleepMs(uint32_t ms);

void ClockUseVirtual(bool on, uint32_t startMs = 0);
bool ClockIsVirtual();
// Virtual clock: advance by microseconds (the interpreter's per-command step) or milliseconds.
void ClockAdvanceMicros(uint32_t us);
void ClockAdvanceMs(uint32_t ms);
// Waits until TimeMs() - since >= ms (unsigned): on the real clock it sleeps until just before
// then and spins the last millisecond, so frames are paced to the millisecond without taking a
// whole core; the virtual clock jumps there at once. Returns the time reached.
uint32_t ClockWaitElapsed(uint32_t since, uint32_t ms);
