#pragma once
// The software mixer: a ring of 25 ms blocks of 16-bit stereo frames, mixed block by block by
// the DSP unit chain just behind the output's play position, and written into the primary mix
// buffer that the output plays.
#include <cstdint>

#include "sound/engine/engine_state.h"

struct MixerState {
  int32_t blockLength = 0;   // frames
  int32_t ringLength = 0;    // frames
  int32_t rampLength = 128;  // frames
  int32_t mixerType = 7;
  int16_t* mixBuffer = nullptr;  // ring of stereo frames, 16-byte aligned
  void* mixBufferAlloc = nullptr;
  int32_t blockCursor = 0;
  int32_t mixedChannels = 0;
  int64_t writePosition = 0;     // bytes into the primary mix buffer
  float cpuUsage = 0;
  SoundCpuMeter meter;
  ChannelLink idle;              // software channels not playing
  SoundDspUnit chain;            // head of the DSP chain
  SoundDspUnit* clearUnit = nullptr;
  SoundDspUnit* channelUnit = nullptr;
  SoundDspUnit* streamUnit = nullptr;
  SoundDspUnit* writeUnit = nullptr;
  std::vector<SoundDspUnit*> pendingFree;
  SoundWorker worker;
  std::atomic<bool> busy{false};
  std::atomic<std::thread::id> mixerThread{};
  bool running = false;
};

extern MixerState g_mixer;

int32_t MixerBlockLength(int32_t rate);
int32_t MixerRingLength(int32_t rate, int32_t bufferSetting);
bool MixerInit(int32_t rate);
void MixerStartThread();
void MixerStopThread();
// Mixes every ring block that the output has played since the last call (the mixer thread's
// work, also run directly by a pumped output).
void MixerFill();
void MixerRunDsp(int32_t blockStart, int32_t length);
bool IsMixerThread();

// The channel lists.
void ChannelUnlink(SoundChannel* c);
void ChannelAppend(ChannelLink* head, SoundChannel* c);

// The mixing routines (mix_loop.cpp): mix a channel list into frames, clear, convert.
void MixChannelList(int16_t* dest, ChannelLink* list, int32_t frames);
void MixChannel(int16_t* dest, SoundChannel* c, int32_t frames);
void MixClear(int16_t* frames, int32_t count);
// The vector loops are used where the processor has them, up to the given width in bits (256:
// AVX2, 128: SSSE3); 0 leaves every frame to the frame loops.
void MixSetVectorLoops(int widestBits);
void MixConvert(int16_t* dest, const int16_t* source, int32_t count);
// Step of a channel for a frequency: 32-bit whole part, fraction's top 16 bits in a u32.
void MixSetStep(SoundChannel* c, int32_t hz, int32_t rate);
void MixSetGains(SoundChannel* c);
