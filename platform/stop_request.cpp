#include "platform/stop_request.h"

#include <atomic>

namespace {

// Lock-free, so a signal handler may set it.
std::atomic<bool> g_stopAsked{false};
std::atomic<bool> g_programRunning{false};
static_assert(std::atomic<bool>::is_always_lock_free);

}  // namespace

bool StopSignalReceived() {
  return g_stopAsked.load(std::memory_order_relaxed) && g_programRunning.load(std::memory_order_relaxed);
}

void EventsProgramRunning(bool running) { g_programRunning.store(running); }

void SetStopAsked(bool asked) { g_stopAsked.store(asked); }
