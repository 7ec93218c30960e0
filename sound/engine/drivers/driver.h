#pragma once
// An output driver: one static record of operations per output. The engine calls the current
// one for devices, start and close, driver-stored samples and voices (the primary mix buffer and
// its channel), the listener, reverb values and recording.
#include <cstdint>

#include "sound/engine/engine_state.h"

struct SoundOutputDriver {
  const char* name;
  // The mixer and the record poll run on the caller's thread (a test's manual clock) instead
  // of worker threads.
  bool pumped;
  // Default buffer length in milliseconds when none was set.
  int32_t defaultBufferMs;

  void (*enumerate)();
  bool (*init)(int32_t mixRate);
  void (*close)();
  void (*installSampleOps)(SoundSample* s);
  void (*installChannelOps)(SoundChannel* c);
  void (*getCaps)(uint32_t* caps, int32_t device);
  void (*commit3D)();
  void (*setListener)(const float* position, const float* velocity, const float* forward,
                      const float* top);
  void (*setDopplerFactor)(float f);
  void (*setDistanceFactor)(float f);
  void (*setRolloffFactor)(float f);
  bool (*probeReverb)();

  void (*recordEnumerate)();
  bool (*recordInit)(int32_t device);
  bool (*recordStart)(uint32_t frames, uint8_t bits, uint8_t layout, int32_t rate);
  void (*recordStop)();
  int64_t (*recordGetPosition)();
  bool (*recordLock)(uint32_t offset, uint32_t length, void** p1, void** p2, uint32_t* l1,
                     uint32_t* l2);
  bool (*recordUnlock)(void* p1, void* p2, uint32_t l1, uint32_t l2);
};

const SoundOutputDriver* NoSoundDriver();
const SoundOutputDriver* RingDriverWave();    // output 1: 200 ms default buffer
const SoundOutputDriver* RingDriverDirect();  // output 2: 50 ms default buffer

// Operations the drivers share (the no-sound driver's).
void NoSoundGetCaps(uint32_t* caps, int32_t device);
void NoSoundCommit3D();
void NoSoundSetListener(const float*, const float*, const float*, const float*);
void NoSoundSetFactor(float);
bool NoSoundProbeReverb();
void NoSoundRecordEnumerate();
bool NoSoundRecordInit(int32_t);
bool NoSoundRecordStart(uint32_t, uint8_t, uint8_t, int32_t);
void NoSoundRecordStop();
int64_t NoSoundRecordGetPosition();
bool NoSoundRecordLock(uint32_t, uint32_t length, void** p1, void** p2, uint32_t* l1, uint32_t* l2);
bool NoSoundRecordUnlock(void*, void*, uint32_t, uint32_t);

// The software storage operations of samples, installed on samples no driver stores.
const SoundSampleOps* SoftwareSampleOps();
// The software mixer's channel operations.
const SoundChannelOps* SoftwareChannelOps();
