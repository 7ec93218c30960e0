// The engine mutex, the mixer's busy flag, the last error, worker threads and the engine clock.
#include <pthread.h>
#include <sched.h>

#include <chrono>

#include "sound/engine/engine_state.h"
#include "sound/engine/mixer/mixer.h"

namespace {
std::mutex g_engineMutex;
std::condition_variable g_idleCv;
thread_local int t_lockDepth = 0;
std::atomic<std::thread::id> g_owner{};
const auto g_epoch = std::chrono::steady_clock::now();
}  // namespace

EngineLock::EngineLock() {
  if (t_lockDepth++ == 0) g_engineMutex.lock();
}

EngineLock::~EngineLock() {
  if (--t_lockDepth == 0) g_engineMutex.unlock();
}

EngineUnlock::EngineUnlock() : depth(t_lockDepth) {
  if (depth > 0) {
    t_lockDepth = 0;
    g_engineMutex.unlock();
  }
}

EngineUnlock::~EngineUnlock() {
  if (depth > 0) {
    g_engineMutex.lock();
    t_lockDepth = depth;
  }
}

void WaitMixerIdle() {
  if (IsMixerThread() || t_lockDepth == 0) return;
  std::unique_lock<std::mutex> lock(g_engineMutex, std::adopt_lock);
  g_idleCv.wait(lock, [] { return !g_mixer.busy.load(); });
  lock.release();
}

void SetMixerBusy(bool busy) {
  g_mixer.busy.store(busy);
  if (!busy) g_idleCv.notify_all();
}

bool MixerBusy() { return g_mixer.busy.load(); }

bool IsOwnerThread() { return std::this_thread::get_id() == g_owner.load(); }

void SetOwnerThread() { g_owner.store(std::this_thread::get_id()); }

void ApiEnter() {
  if (IsOwnerThread()) g_sound.lastError.store(kSoundOk);
}

void ApiClearError() { g_sound.lastError.store(kSoundOk); }

void SetSoundError(int32_t code) { g_sound.lastError.store(code); }

namespace {
std::atomic<bool> g_sizeLimit{false};
}  // namespace

void NoteSizeLimit() { g_sizeLimit.store(true); }
void ClearSizeLimitNote() { g_sizeLimit.store(false); }
bool SoundErrorWasSizeLimit() { return g_sizeLimit.load(); }

uint64_t SoundClockMicros() {
  auto d = std::chrono::steady_clock::now() - g_epoch;
  return uint64_t(std::chrono::duration_cast<std::chrono::microseconds>(d).count());
}

float UpdateCpuMeter(SoundCpuMeter* m, float k) {
  uint64_t now = SoundClockMicros();
  m->workEnd = now;
  m->periodEnd = now;
  float period = float(m->periodEnd - m->periodStart);
  m->period = k * m->period + period;
  float scaled = (1 - k) * m->period;
  float work = float(m->workEnd - m->workStart);
  if (scaled > 0) m->usage = k * m->usage + work / scaled * 100.0f;
  m->periodStart = now;
  return (1 - k) * m->usage;
}

// ---- worker threads ----

bool SoundWorker::Start(void (*body)(SoundWorker*), int level) {
  stop_.store(false);
  try {
    thread_ = std::thread([this, body] { body(this); });
  } catch (...) {
    return false;
  }
  // Real-time scheduling where the system allows it; silently normal otherwise.
  if (level >= 1) {
    sched_param param{};
    param.sched_priority = level >= 2 ? 10 : 5;
    pthread_setschedparam(thread_.native_handle(), SCHED_RR, &param);
  }
  return true;
}

void SoundWorker::RequestStop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_.store(true);
  }
  cv_.notify_all();
}

void SoundWorker::Join() {
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

bool SoundWorker::Sleep(uint32_t ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  return !cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stop_.load(); });
}
