#include "platform/clock.h"

#include <chrono>
#include <thread>

namespace {
bool g_virtual = false;
uint64_t g_virtualMicros = 0;
const auto g_epoch = std::chrono::steady_clock::now();
}  // namespace

uint32_t TimeMs() {
  if (g_virtual) return static_cast<uint32_t>(g_virtualMicros / 1000);
  auto d = std::chrono::steady_clock::now() - g_epoch;
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
}

uint64_t TimeUs() {
  if (g_virtual) return g_virtualMicros;
  auto d = std::chrono::steady_clock::now() - g_epoch;
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(d).count());
}

void SleepMs(uint32_t ms) {
  if (g_virtual) {
    ClockAdvanceMs(ms);
    return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void ClockUseVirtual(bool on, uint32_t startMs) {
  g_virtual = on;
  g_virtualMicros = uint64_t(startMs) * 1000;
}

bool ClockIsVirtual() { return g_virtual; }
void ClockAdvanceMicros(uint32_t us) { g_virtualMicros += us; }
void ClockAdvanceMs(uint32_t ms) { g_virtualMicros += uint64_t(ms) * 1000; }

uint32_t ClockWaitElapsed(uint32_t since, uint32_t ms) {
  uint32_t now = TimeMs();
  if (g_virtual) {
    uint32_t elapsed = now - since;
    if (elapsed < ms) ClockAdvanceMs(ms - elapsed);
    return TimeMs();
  }
  // Sleep until shortly before the time is due (a sleep can end late by a scheduler tick),
  // then spin the rest so the wait still ends on the millisecond.
  constexpr uint64_t kSpinUs = 1000;
  while (now - since < ms) {
    const uint64_t nowUs = TimeUs();
    const uint64_t leftUs = uint64_t(ms - (uint32_t(nowUs / 1000) - since)) * 1000 - nowUs % 1000;
    if (uint32_t(nowUs / 1000) - since < ms && leftUs > kSpinUs)
      std::this_thread::sleep_for(std::chrono::microseconds(leftUs - kSpinUs));
    now = TimeMs();
  }
  return now;
}
