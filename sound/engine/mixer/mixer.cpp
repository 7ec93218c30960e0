// The software mixer: sizes, the mixer thread that keeps the ring filled behind the output's
// play position, the four system DSP units, and the software channel operations.
#include "sound/engine/mixer/mixer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "sound/engine/drivers/driver.h"

MixerState g_mixer;

// ---- channel lists ----

void ChannelUnlink(SoundChannel* c) {
  c->prev->next = c->next;
  c->next->prev = c->prev;
  c->next = c->prev = c;
}

void ChannelAppend(ChannelLink* head, SoundChannel* c) {
  c->prev = head->prev;
  c->next = head;
  head->prev->next = c;
  head->prev = c;
}

static void EmptyList(ChannelLink* head) {
  while (head->next != head) ChannelUnlink(static_cast<SoundChannel*>(head->next));
}

// ---- sizes and start-up ----

int32_t MixerBlockLength(int32_t rate) { return (rate * 25 / 1000 + 3) & ~3; }

int32_t MixerRingLength(int32_t rate, int32_t bufferSetting) {
  int32_t block = MixerBlockLength(rate);
  return block * std::max(bufferSetting / 25, 2);
}

bool IsMixerThread() { return std::this_thread::get_id() == g_mixer.mixerThread.load(); }

namespace {

void* ClearUnit(void* block, void* input, int32_t length, void*) {
  MixClear(static_cast<int16_t*>(block), length);
  return input;
}

void* ChannelMixUnit(void*, void* input, int32_t length, void* user) {
  SoundDspUnit* unit = static_cast<SoundDspUnit*>(user);
  if (unit->channels.next != &unit->channels) {
    MixChannelList(static_cast<int16_t*>(input), &unit->channels, length);
  }
  return input;
}

// Streams mix themselves into their own channels' units; this unit keeps its place in the
// chain for them.
void* StreamUnit(void*, void* input, int32_t, void*) { return input; }

void* WriteOutUnit(void*, void* input, int32_t length, void*) {
  SoundSample* mb = g_sound.mixBuffer;
  void *p1, *p2;
  uint32_t l1, l2;
  if (mb && mb->ops->lock(mb, g_mixer.writePosition, uint32_t(length) * 4, &p1, &p2, &l1, &l2)) {
    const int16_t* src = static_cast<const int16_t*>(input);
    MixConvert(static_cast<int16_t*>(p1), src, int32_t(l1 / 4));
    if (p2) MixConvert(static_cast<int16_t*>(p2), src + 2 * (l1 / 4), int32_t(l2 / 4));
    mb->ops->unlock(mb, p1, p2, l1, l2);
  }
  g_mixer.mixedChannels = 0;
  return input;
}

bool IsEngineCallback(SoundDspCallback cb) {
  return cb == ClearUnit || cb == ChannelMixUnit || cb == StreamUnit || cb == WriteOutUnit;
}

SoundDspUnit* SystemUnit(SoundDspCallback cb, int32_t priority, bool selfData) {
  SoundDspUnit* u = new SoundDspUnit();
  u->callback = cb;
  u->userData = selfData ? u : nullptr;
  DspInsertUnit(u, priority);
  u->active = true;
  return u;
}

void MixerThreadBody(SoundWorker* worker) {
  {
    EngineLock lock;
    g_mixer.mixerThread.store(std::this_thread::get_id());
  }
  while (!worker->StopRequested()) {
    g_mixer.meter.workStart = SoundClockMicros();
    MixerFill();
    {
      EngineLock lock;
      g_mixer.cpuUsage = UpdateCpuMeter(&g_mixer.meter, 0.9f);
    }
    if (!worker->Sleep(10)) break;
  }
}

}  // namespace

bool MixerInit(int32_t rate) {
  MixerStopThread();
  g_mixer.blockLength = MixerBlockLength(rate);
  g_mixer.ringLength = MixerRingLength(rate, g_sound.bufferSetting);
  g_mixer.rampLength = std::max(rate * 128 / 44100, 1);
  // Every mixer type mixes with the integer loops; the type only stays for the query.
  g_mixer.mixerType = g_sound.mixerType == 4 ? 7 : g_sound.mixerType;
  size_t bytes = size_t(g_mixer.ringLength) * 4 + 256;
  g_mixer.mixBufferAlloc = std::calloc(bytes, 1);
  if (!g_mixer.mixBufferAlloc) {
    SetSoundError(kSoundErrMemory);
    return false;
  }
  uintptr_t aligned = (reinterpret_cast<uintptr_t>(g_mixer.mixBufferAlloc) + 15) & ~uintptr_t(15);
  g_mixer.mixBuffer = reinterpret_cast<int16_t*>(aligned);
  g_mixer.chain.next = g_mixer.chain.prev = &g_mixer.chain;
  g_mixer.clearUnit = SystemUnit(ClearUnit, 0, false);
  g_mixer.channelUnit = SystemUnit(ChannelMixUnit, 100, true);
  g_mixer.streamUnit = SystemUnit(StreamUnit, 200, false);
  g_mixer.writeUnit = SystemUnit(WriteOutUnit, 1000, false);
  g_mixer.idle.next = g_mixer.idle.prev = &g_mixer.idle;
  g_mixer.blockCursor = 0;
  g_mixer.mixedChannels = 0;
  g_mixer.cpuUsage = 0;
  g_mixer.meter = {};
  g_mixer.running = true;
  return true;
}

void MixerStartThread() {
  g_mixer.worker.Start(MixerThreadBody, 2);
}

void MixerStopThread() {
  g_mixer.worker.RequestStop();
  g_mixer.worker.Join();
  EngineLock lock;
  WaitMixerIdle();
  g_mixer.mixerThread.store(std::thread::id());
  if (!g_mixer.running) return;
  EmptyList(&g_mixer.idle);
  DspFreeAllUnits();
  g_mixer.clearUnit = g_mixer.channelUnit = g_mixer.streamUnit = g_mixer.writeUnit = nullptr;
  std::free(g_mixer.mixBufferAlloc);
  g_mixer.mixBufferAlloc = nullptr;
  g_mixer.mixBuffer = nullptr;
  g_mixer.running = false;
}

void MixerFill() {
  EngineLock lock;
  SoundChannel& mc = g_sound.mixBufferChannel;
  if (!g_mixer.running || !mc.sample || !mc.ops) return;
  const int32_t blocks = g_mixer.ringLength / g_mixer.blockLength;
  int64_t position = mc.ops->getPlayPosition(&mc);
  int32_t play = int32_t((position % g_mixer.ringLength) / g_mixer.blockLength);
  int32_t target = play == 0 ? blocks - 1 : play - 1;
  while (g_mixer.blockCursor != play && g_mixer.running) {
    if (g_mixer.blockCursor > target && (target != 0 || g_mixer.blockCursor == 1)) break;
    MixerRunDsp(g_mixer.blockCursor * g_mixer.blockLength, g_mixer.blockLength);
    g_mixer.blockCursor = (g_mixer.blockCursor + 1) % blocks;
  }
}

void MixerRunDsp(int32_t blockStart, int32_t length) {
  EngineLock lock;
  if (!g_sound.mixBufferChannel.sample || !g_mixer.mixBuffer) return;
  SetMixerBusy(true);
  g_mixer.writePosition = int64_t(blockStart) * 4;
  void* block = g_mixer.mixBuffer + 2 * int64_t(blockStart);
  void* input = block;
  // Walk a copy of the chain: a callback may add or free units (frees wait for the block end).
  // The copy's room is kept from block to block: the mixer's thread allocates only when the chain
  // grows, and a block that finds no memory for it goes out as mixed, without its effects.
  static std::vector<SoundDspUnit*> spare;  // taken and given back under the engine's lock
  std::vector<SoundDspUnit*> units;
  units.swap(spare);
  units.clear();
  try {
    for (SoundDspUnit* u = g_mixer.chain.next; u != &g_mixer.chain; u = u->next) units.push_back(u);
  } catch (const std::bad_alloc&) {
    units.clear();
  }
  for (SoundDspUnit* u : units) {
    if (u->freed || !u->active || !u->callback) continue;
    SoundDspCallback cb = u->callback;
    void* user = u->userData;
    if (IsEngineCallback(cb)) {
      input = cb(block, input, length, user);
    } else {
      EngineUnlock unlocked;
      input = cb(block, input, length, user);
    }
    if (!input) input = block;
  }
  for (SoundDspUnit* u : g_mixer.pendingFree) delete u;
  g_mixer.pendingFree.clear();
  SetMixerBusy(false);
  spare.swap(units);
}

// ---- software channel operations ----

namespace {

bool SoftPrepare(SoundChannel*, SoundSample*) { return true; }

bool SoftStart(SoundDspUnit* unit, SoundChannel* c, SoundSample* s) {
  if (uint64_t(c->startOffset) >= uint64_t(s->loopStart) + s->loopLength) c->startOffset = 0;
  c->mixPos = c->startOffset;
  c->mixFrac = 0;
  c->direction = 1;
  c->startOffset = 0;
  c->rampCurL = c->rampCurR = 0;
  c->rampTargetL = c->rampTargetR = 0;
  c->rampIncL = c->rampIncR = 0;
  c->rampLeft = 0;
  if (!c->streamOwned && unit) {
    ChannelUnlink(c);
    ChannelAppend(&unit->channels, c);
  }
  return true;
}

bool SoftStop(SoundChannel* c) {
  c->mixPos = 0;
  c->mixFrac = 0;
  c->streamOwned = false;
  ChannelUnlink(c);
  if (g_mixer.running) ChannelAppend(&g_mixer.idle, c);
  return true;
}

bool SoftSetFrequency(SoundChannel* c, int32_t hz) {
  MixSetStep(c, hz, g_sound.mixRate);
  return true;
}

bool SoftSetVolume(SoundChannel* c, int32_t v) {
  if (c->mute) return true;
  c->mixVolume = v;
  MixSetGains(c);
  return true;
}

bool SoftSetPan(SoundChannel* c, int32_t p) {
  c->mixPan = p;
  MixSetGains(c);
  return true;
}

bool SoftSetPaused(SoundChannel*, bool) { return true; }

int64_t SoftGetPlayPosition(SoundChannel* c) { return c->mixPos; }

float SoftGetLevel(SoundChannel* c) {
  const SoundSample* s = c->sample;
  if (c->paused || c->mute || !s || !s->data) return 0.0f;
  int values = s->layout == kSoundStereo ? 4 : 2;
  int64_t first = c->mixPos * (values / 2);
  float sum = 0;
  for (int k = 0; k < values; k++) {
    int64_t i = first + k;
    // The value after the last frame is the loop padding in the spare bytes.
    float v = s->bits == 16 ? float(reinterpret_cast<const int16_t*>(s->data)[i]) / 32768.0f
                            : float(reinterpret_cast<const int8_t*>(s->data)[i]) / 128.0f;
    sum += std::fabs(v);
  }
  return sum / float(values) * float(c->mixVolume) / 255.0f;
}

bool SoftIsPlaying(SoundChannel* c) { return c->sample != nullptr; }

bool SoftSet3D(SoundChannel* c, const float* position, const float* velocity) {
  if (position) std::memcpy(c->position, position, sizeof c->position);
  if (velocity) {
    std::memcpy(c->velocity, velocity, sizeof c->velocity);
  } else {
    c->velocity[0] = c->velocity[1] = c->velocity[2] = 0;
  }
  return true;
}

bool SoftGet3D(SoundChannel* c, float* position, float* velocity) {
  if (position) std::memcpy(position, c->position, sizeof c->position);
  if (velocity) std::memcpy(velocity, c->velocity, sizeof c->velocity);
  return true;
}

bool SoftSetReverbMix(SoundChannel*, float) { return true; }

const SoundChannelOps kSoftwareChannelOps = {
    SoftPrepare,       SoftStart,     SoftStop,         SoftSetFrequency,   SoftSetVolume,
    SoftSetPan,        SoftSetPaused, SoftGetPlayPosition, SoftGetLevel,    SoftIsPlaying,
    SoftSet3D,         SoftGet3D,     SoftSetReverbMix};

}  // namespace

const SoundChannelOps* SoftwareChannelOps() { return &kSoftwareChannelOps; }

// ---- mixing a caller's data ----

bool SoundDspMixBuffers(void* destination, const void* source, int32_t length, int32_t frequency,
                        int32_t volume, int32_t pan, uint32_t mode) {
  ApiEnter();
  EngineLock lock;
  if (!g_sound.initialised.load()) {
    SetSoundError(kSoundErrUninitialised);
    return false;
  }
  if (!destination || !source || length == 0) {
    SetSoundError(kSoundErrInvalidParam);
    return false;
  }
  mode = NormaliseMode(mode) & (kSound8Bits | kSound16Bits | kSoundMono | kSoundStereo);
  bool bitsOk = (mode & (kSound8Bits | kSound16Bits)) != 0;
  bool layoutOk = (mode & (kSoundMono | kSoundStereo)) != 0;
  if (!bitsOk || !layoutOk || length < 0) return true;
  // A temporary channel over the caller's data, looping over the whole of it, with no ramp.
  // The loop padding frame is the data's own first frame, read from a copy with spare bytes.
  SoundSample s;
  s.bits = (mode & kSound16Bits) ? 16 : 8;
  s.layout = (mode & kSoundStereo) ? kSoundStereo : kSoundMono;
  s.length = uint32_t(length);
  s.loopStart = 0;
  s.loopLength = s.length;
  s.loopMode = kSoundLoopNormal;
  uint32_t fb = SampleFrameBytes(&s);
  std::vector<uint8_t> copy(size_t(length) * fb + size_t(kSampleSpareBytes));
  std::memcpy(copy.data(), source, size_t(length) * fb);
  std::memcpy(copy.data() + size_t(length) * fb, source, fb);
  s.data = copy.data();
  SoundChannel c;
  c.sample = &s;
  c.loopMode = kSoundLoopNormal;
  MixSetStep(&c, frequency, g_sound.mixRate);
  c.mixVolume = std::clamp(volume, 0, 255);
  c.mixPan = pan;
  MixSetGains(&c);
  c.rampCurL = c.leftGain * 256;
  c.rampCurR = c.rightGain * 256;
  c.rampTargetL = c.leftGain;
  c.rampTargetR = c.rightGain;
  int32_t saved = g_mixer.mixedChannels;
  MixChannel(static_cast<int16_t*>(destination), &c, length);
  g_mixer.mixedChannels = saved;
  s.data = nullptr;
  return true;
}
