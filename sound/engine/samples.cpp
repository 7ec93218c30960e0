// Samples: creation in the numbered table or unlisted, defaults, loop settings and padding,
// locking and freeing.
#include <cstring>
#include <new>

#include "sound/engine/drivers/driver.h"
#include "sound/engine/engine_state.h"
#include "sound/engine/mixer/mixer.h"

uint32_t NormaliseMode(uint32_t mode) {
  if (mode & kSound2D) mode &= ~kSoundHardware3D;
  if (mode & kSound16Bits) mode &= ~kSound8Bits;
  if (mode & kSoundStereo) mode &= ~kSoundMono;
  return mode;
}

uint32_t SampleFrameBytes(const SoundSample* s) {
  return (s->bits == 16 ? 2u : 1u) * (s->layout == kSoundStereo ? 2u : 1u);
}

uint32_t SampleByteSize(const SoundSample* s) { return s->length * SampleFrameBytes(s); }

// The frame just after the loop holds a copy of the frame the interpolation must reach there:
// the loop's first frame (normal), its last (bidirectional) or silence (no loop). The value it
// replaced is kept, so the data comes back when the loop changes.
void RefreshLoopPadding(SoundSample* s) {
  if (!s->data) return;
  uint32_t fb = SampleFrameBytes(s);
  uint64_t padFrame = uint64_t(s->loopStart) + s->loopLength;
  if (padFrame > s->length || s->loopLength == 0) return;
  uint8_t* pad = s->data + padFrame * fb;  // the spare bytes cover the frame after the last one
  if (s->hasSavedPad) std::memcpy(pad, &s->savedPad, fb);
  if (s->loopMode != kSoundLoopNormal && s->loopMode != kSoundLoopBidi) {
    s->hasSavedPad = false;
    // Inside the data the restored frame stays; after the last frame the spare one is silence.
    if (padFrame == s->length) std::memset(pad, 0, fb);
    return;
  }
  s->savedPad = 0;
  std::memcpy(&s->savedPad, pad, fb);
  s->hasSavedPad = true;
  uint64_t from = s->loopMode == kSoundLoopNormal ? s->loopStart : padFrame - 1;
  std::memcpy(pad, s->data + from * fb, fb);
}

// Puts the data the padding replaced back (before the data is read or written from outside).
static void DropLoopPadding(SoundSample* s) {
  if (!s->data || !s->hasSavedPad) return;
  uint64_t padFrame = uint64_t(s->loopStart) + s->loopLength;
  if (padFrame <= s->length) std::memcpy(s->data + padFrame * SampleFrameBytes(s), &s->savedPad,
                                         SampleFrameBytes(s));
  s->hasSavedPad = false;
}

SoundSample* SoundSampleCreate(int32_t index, uint32_t mode) {
  mode = NormaliseMode(mode);
  SoundSample* s = nullptr;
  if (index == kSoundUnlisted) {
    s = new (std::nothrow) SoundSample();
    if (!s) {
      SetSoundError(kSoundErrMemory);
      return nullptr;
    }
  } else {
    if (g_sound.samples.empty() || index < -1) {
      SetSoundError(index < -1 ? kSoundErrInvalidParam : kSoundErrUninitialised);
      return nullptr;
    }
    if (index == kSoundFreeSample) {
      index = 0;
      while (size_t(index) < g_sound.samples.size() && g_sound.samples[size_t(index)]) index++;
    }
    if (index >= (1 << 24)) {
      SetSoundError(kSoundErrInvalidParam);
      return nullptr;
    }
    while (size_t(index) >= g_sound.samples.size()) {
      g_sound.samples.resize(g_sound.samples.size() + 256, nullptr);
    }
    if (g_sound.samples[size_t(index)]) SoundSampleFree(g_sound.samples[size_t(index)]);
    s = new (std::nothrow) SoundSample();
    if (!s) {
      SetSoundError(kSoundErrMemory);
      return nullptr;
    }
    g_sound.samples[size_t(index)] = s;
  }
  s->index = index;
  s->softwareOnly = (mode & kSound2D) != 0;
  s->playOwnBuffer = (mode & kSoundOwnBuffer) != 0;
  if ((mode & kSoundHardware3D) && g_sound.driver) {
    g_sound.driver->installSampleOps(s);
  } else {
    s->ops = SoftwareSampleOps();
  }
  return s;
}

static uint32_t ClearHardwareWithout(uint32_t mode) {
  mode = NormaliseMode(mode);
  if (!g_sound.hardwareMixing) mode &= ~kSoundHardware3D;
  return mode;
}

static void ApplyModeBits(SoundSample* s, uint32_t mode) {
  s->loopMode = (mode & kSoundLoopBidi)     ? kSoundLoopBidi
                : (mode & kSoundLoopNormal) ? kSoundLoopNormal
                                            : kSoundLoopOff;
  s->bits = (mode & kSound16Bits) ? 16 : 8;
  s->layout = (mode & kSoundStereo) ? kSoundStereo : kSoundMono;
  s->hardware3D = (mode & kSoundHardware3D) != 0;
}

SoundSample* SoundSampleAlloc(int32_t index, int32_t length, uint32_t mode, int32_t frequency,
                              int32_t volume, int32_t pan, int32_t priority) {
  ApiEnter();
  EngineLock lock;
  if (length < 1) {
    SetSoundError(kSoundErrInvalidParam);
    return nullptr;
  }
  mode = ClearHardwareWithout(mode);
  SoundSample* s = SoundSampleCreate(index, mode);
  if (!s) return nullptr;
  ApplyModeBits(s, mode);
  s->length = uint32_t(length);
  s->loopStart = 0;
  s->loopLength = s->length;
  s->defaultFrequency = frequency;
  s->defaultVolume = volume;
  s->defaultPan = pan;
  s->defaultPriority = priority;
  s->codecHandle = nullptr;
  s->usedByStream = false;
  if (!s->ops->alloc(s)) {
    SoundSampleFree(s);
    return nullptr;
  }
  return s;
}

bool SoundSampleUpload(SoundSample* s, const void* data, uint32_t mode, uint32_t sourceBytes) {
  ApiEnter();
  EngineLock lock;
  mode = NormaliseMode(mode);
  if (!s || !data || (sourceBytes == 0 && (mode & (kSoundPacked | kSoundPacked2)))) {
    SetSoundError(kSoundErrInvalidParam);
    return false;
  }
  if (sourceBytes == 0) sourceBytes = UINT32_MAX;
  return s->ops->upload(s, data, sourceBytes, mode);
}

void SoundSampleFree(SoundSample* s) {
  if (!s) return;
  EngineLock lock;
  ForgetRecordTarget(s);
  // Stop every channel playing it; the mixer reads channels only under the lock, so once they
  // are stopped nothing reaches the sample any more.
  for (SoundChannel& c : g_sound.channels) {
    if (c.sample == s) StopChannelRecord(&c);
  }
  if (s->ops && s->ops->free) s->ops->free(s);
  if (s->index >= 0 && size_t(s->index) < g_sound.samples.size() &&
      g_sound.samples[size_t(s->index)] == s) {
    g_sound.samples[size_t(s->index)] = nullptr;
  }
  delete s;
}

bool SoundSampleLock(SoundSample* s, int32_t offset, uint32_t length, void** p1, void** p2,
                     uint32_t* l1, uint32_t* l2) {
  ApiEnter();
  EngineLock lock;
  if (!s || !p1 || !p2 || !l1 || !l2 || offset < 0 || uint32_t(offset) > SampleByteSize(s)) {
    if (p1) *p1 = nullptr;
    if (p2) *p2 = nullptr;
    if (l1) *l1 = 0;
    if (l2) *l2 = 0;
    SetSoundError(kSoundErrInvalidParam);
    return false;
  }
  if (s->ops == SoftwareSampleOps()) DropLoopPadding(s);
  return s->ops->lock(s, offset, length, p1, p2, l1, l2);
}

bool SoundSampleUnlock(SoundSample* s, void* p1, void* p2, uint32_t l1, uint32_t l2) {
  ApiEnter();
  EngineLock lock;
  if (!s) {
    SetSoundError(kSoundErrInvalidParam);
    return false;
  }
  return s->ops->unlock(s, p1, p2, l1, l2);
}

bool SoundSampleSetLoopMode(SoundSample* s, int32_t mode) {
  ApiEnter();
  EngineLock lock;
  if (!s) {
    SetSoundError(kSoundErrInvalidParam);
    return false;
  }
  if (mode != kSoundLoopOff && mode != kSoundLoopNormal && mode != kSoundLoopBidi) return false;
  s->loopMode = uint8_t(mode);
  RefreshLoopPadding(s);
  return true;
}

bool SoundSampleSetLoopPoints(SoundSample* s, int32_t start, int32_t end) {
  ApiEnter();
  EngineLock lock;
  if (!s || start < 0 || start >= end || uint32_t(end) >= s->length) {
    SetSoundError(kSoundErrInvalidParam);
    return false;
  }
  DropLoopPadding(s);
  s->loopStart = uint32_t(start);
  s->loopLength = uint32_t(end - start + 1);
  RefreshLoopPadding(s);
  return true;
}

bool SoundSampleGetLoopPoints(SoundSample* s, int32_t* start, int32_t* end) {
  ApiEnter();
  EngineLock lock;
  if (!s) {
    SetSoundError(kSoundErrInvalidParam);
    return false;
  }
  if (start) *start = int32_t(s->loopStart);
  if (end) *end = int32_t(s->loopStart + s->loopLength - 1);
  return true;
}

bool SoundSampleSetDefaults(SoundSample* s, int32_t frequency, int32_t volume, int32_t pan,
                            int32_t priority) {
  ApiEnter();
  EngineLock lock;
  if (!s) {
    SetSoundError(kSoundErrInvalidParam);
    return false;
  }
  if (frequency > 0) s->defaultFrequency = frequency;
  if (volume > 0) s->defaultVolume = volume;
  if (pan > 0) s->defaultPan = pan;
  if (priority > 0) s->defaultPriority = priority;
  return true;
}

bool SoundSampleGetDefaults(SoundSample* s, int32_t* frequency, int32_t* volume, int32_t* pan,
                            int32_t* priority) {
  ApiEnter();
  EngineLock lock;
  if (!s) {
    SetSoundError(kSoundErrInvalidParam);
    return false;
  }
  if (frequency) *frequency = s->defaultFrequency;
  if (volume) *volume = s->defaultVolume;
  if (pan) *pan = s->defaultPan;
  if (priority) *priority = s->defaultPriority;
  return true;
}

uint32_t SoundSampleGetMode(SoundSample* s) {
  ApiEnter();
  if (!s) {
    SetSoundError(kSoundErrInvalidParam);
    return 0;
  }
  uint32_t loop = (s->loopMode == kSoundLoopOff || s->loopMode == kSoundLoopNormal ||
                   s->loopMode == kSoundLoopBidi)
                      ? s->loopMode
                      : 0;
  return loop | (s->bits == 16 ? kSound16Bits : kSound8Bits) | s->layout;
}

uint32_t SoundSampleGetLength(SoundSample* s) {
  ApiEnter();
  if (!s) {
    SetSoundError(kSoundErrInvalidParam);
    return 0;
  }
  return s->length;
}

const char* SoundSampleGetName(SoundSample* s) {
  ApiEnter();
  if (!s) {
    SetSoundError(kSoundErrInvalidParam);
    return nullptr;
  }
  return s->name.c_str();
}

bool SoundSampleSetMinMaxDistance(SoundSample* s, float minimum, float maximum) {
  ApiEnter();
  EngineLock lock;
  if (!g_sound.initialised.load()) {
    SetSoundError(kSoundErrUninitialised);
    return false;
  }
  if (!s || !(minimum >= 0) || !(maximum >= minimum)) {
    SetSoundError(kSoundErrInvalidParam);
    return false;
  }
  s->minDistance = minimum;
  s->maxDistance = maximum;
  return true;
}

SoundSample* SoundGetSample(int32_t index) {
  ApiEnter();
  EngineLock lock;
  if (!g_sound.initialised.load()) {
    SetSoundError(kSoundErrUninitialised);
    return nullptr;
  }
  if (index < 0 || size_t(index) >= g_sound.samples.size()) {
    SetSoundError(kSoundErrInvalidParam);
    return nullptr;
  }
  return g_sound.samples[size_t(index)];
}
