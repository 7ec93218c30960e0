// Recording: the input device captures into a half-second ring; a record thread looks at its
// position every 5 ms and copies each new stretch into the target sample, once through it or
// round and round.
#include <algorithm>
#include <cstring>

#include "sound/engine/drivers/driver.h"
#include "sound/engine/engine_state.h"

namespace {

struct RecordState {
  int32_t device = -1;
  std::atomic<bool> active{false};
  SoundWorker worker;
  std::atomic<int64_t> position{0};
  uint32_t bufferLength = 0;  // frames of the capture ring
  bool loop = false;
  SoundSample* target = nullptr;
  int64_t last = 0;
};

RecordState g_record;

// Copies a run of bytes from up to two source pieces into up to two destination pieces.
void CopyPieces(void* const src[2], const uint32_t srcLen[2], void* const dst[2],
                const uint32_t dstLen[2]) {
  int si = 0, di = 0;
  uint32_t so = 0, dof = 0;
  while (si < 2 && di < 2) {
    if (so >= srcLen[si]) {
      si++;
      so = 0;
      continue;
    }
    if (dof >= dstLen[di] || !dst[di]) {
      di++;
      dof = 0;
      continue;
    }
    uint32_t n = std::min(srcLen[si] - so, dstLen[di] - dof);
    uint8_t* d = static_cast<uint8_t*>(dst[di]) + dof;
    if (src[si]) {
      std::memcpy(d, static_cast<const uint8_t*>(src[si]) + so, n);
    } else {
      std::memset(d, 0, n);
    }
    so += n;
    dof += n;
  }
}

// Copies n frames from capture frame f into the target at the recording position.
void RecordCopyBlock(int64_t n, int64_t f) {
  SoundSample* t = g_record.target;
  const uint32_t fs = SampleFrameBytes(t);
  int64_t position = g_record.position.load();
  if (!g_record.loop) n = std::min<int64_t>(n, int64_t(t->length) - position);
  if (n <= 0) {
    g_record.active.store(false);
    return;
  }
  void* src[2] = {nullptr, nullptr};
  void* dst[2] = {nullptr, nullptr};
  uint32_t srcLen[2] = {0, 0}, dstLen[2] = {0, 0};
  const SoundOutputDriver* drv = g_sound.driver;
  if (!drv->recordLock(uint32_t(f * fs), uint32_t(n * fs), &src[0], &src[1], &srcLen[0],
                       &srcLen[1])) {
    return;
  }
  if (!SoundSampleLock(t, int32_t(position * fs), uint32_t(n * fs), &dst[0], &dst[1], &dstLen[0],
                       &dstLen[1])) {
    drv->recordUnlock(src[0], src[1], srcLen[0], srcLen[1]);
    return;
  }
  CopyPieces(src, srcLen, dst, dstLen);
  drv->recordUnlock(src[0], src[1], srcLen[0], srcLen[1]);
  SoundSampleUnlock(t, dst[0], dst[1], dstLen[0], dstLen[1]);
  position += dstLen[0] / fs;
  if (dstLen[1] == 0 && position < int64_t(t->length)) {
    g_record.position.store(position);
    return;
  }
  if (g_record.loop) {
    // The rest went to the sample's start: go on after it.
    g_record.position.store(position + dstLen[1] / fs - int64_t(t->length));
  } else {
    g_record.position.store(std::min<int64_t>(position, t->length));
    g_record.active.store(false);
  }
}

void RecordThreadBody(SoundWorker* worker) {
  while (!worker->StopRequested() && g_record.active.load()) {
    RecordPoll();
    if (!worker->Sleep(5)) break;
  }
}

bool Ready() {
  if (!g_sound.initialised.load() || !g_sound.driver) {
    SetSoundError(kSoundErrUninitialised);
    return false;
  }
  return true;
}

void EnumerateRecordDevices() {
  g_sound.recordDeviceNames.clear();
  g_sound.driver->recordEnumerate();
}

}  // namespace

void RecordPoll() {
  EngineLock lock;
  if (!g_record.active.load() || !g_record.target || !g_sound.driver) return;
  int64_t p = g_sound.driver->recordGetPosition();
  if (p < 0) return;
  int64_t n = p - g_record.last;
  if (n < 0) n += g_record.bufferLength;
  if (n > 0) RecordCopyBlock(n, g_record.last);
  g_record.last = p;
}

static bool IsRecordTarget(const SoundSample* s) { return s && g_record.target == s; }

int32_t SoundRecordGetNumDrivers() {
  ApiEnter();
  EngineLock lock;
  if (!Ready()) return 0;
  EnumerateRecordDevices();
  return int32_t(g_sound.recordDeviceNames.size());
}

const char* SoundRecordGetDriverName(int32_t index) {
  ApiEnter();
  EngineLock lock;
  if (!Ready()) return nullptr;
  if (g_sound.recordDeviceNames.empty()) EnumerateRecordDevices();
  if (index < 0 || index >= int32_t(g_sound.recordDeviceNames.size())) return nullptr;
  return g_sound.recordDeviceNames[size_t(index)].c_str();
}

bool SoundRecordSetDriver(int32_t index) {
  ApiEnter();
  EngineLock lock;
  if (!Ready()) return false;
  if (g_sound.recordDeviceNames.empty()) EnumerateRecordDevices();
  if (index < 0 || index >= int32_t(g_sound.recordDeviceNames.size())) index = 0;
  g_record.device = index;
  return g_sound.driver->recordInit(index);
}

int32_t SoundRecordGetDriver() {
  ApiEnter();
  return g_record.device;
}

bool SoundRecordStop() {
  ApiEnter();
  EngineLock lock;
  g_record.active.store(false);
  g_record.worker.RequestStop();
  {
    EngineUnlock unlocked;  // the record thread may be waiting for the lock
    g_record.worker.Join();
  }
  if (g_sound.driver) g_sound.driver->recordStop();
  return true;
}

bool SoundRecordStart(SoundSample* sample, bool loop) {
  ApiEnter();
  EngineLock lock;
  if (!sample) {
    SetSoundError(kSoundErrInvalidParam);
    return false;
  }
  if (!Ready()) return false;
  if (g_record.device == -1 && !SoundRecordSetDriver(-1)) return false;
  SoundRecordStop();
  g_record.position.store(0);
  g_record.last = 0;
  g_record.bufferLength = uint32_t(std::max(sample->defaultFrequency, 2) * 500 / 1000);
  g_record.loop = loop;
  g_record.target = sample;
  g_record.active.store(true);
  if (!g_sound.driver->pumped && !g_record.worker.Start(RecordThreadBody, 1)) {
    g_record.active.store(false);
    g_record.target = nullptr;
    SetSoundError(kSoundErrMemory);
    return false;
  }
  if (!g_sound.driver->recordStart(g_record.bufferLength, sample->bits, sample->layout,
                                   sample->defaultFrequency)) {
    int32_t error = SoundGetError();
    SoundRecordStop();  // the thread must not touch a target its owner now frees
    g_record.target = nullptr;
    SetSoundError(error);
    return false;
  }
  return true;
}

int64_t SoundRecordGetPosition() {
  ApiEnter();
  return g_record.position.load();
}

// Engine close: an active recording stops, and an unlisted target is freed with it.
void CloseRecording() {
  EngineLock lock;
  bool wasActive = g_record.active.load();
  SoundRecordStop();
  SoundSample* t = g_record.target;
  g_record.target = nullptr;
  if (wasActive && t && t->index == kSoundUnlisted) SoundSampleFree(t);
}

// A target being freed stops its recording first.
void ForgetRecordTarget(const SoundSample* s) {
  if (!IsRecordTarget(s)) return;
  SoundRecordStop();
  g_record.target = nullptr;
}

void ResetRecordDevice() { g_record.device = -1; }
