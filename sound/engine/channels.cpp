// Channels: handles with serials, the choice of a channel by priority, playing, and the
// per-channel settings and queries.
#include <algorithm>
#include <cmath>

#include "sound/engine/engine_state.h"
#include "sound/engine/mixer/mixer.h"

namespace {

int32_t NewChannelHandle(SoundChannel* c) {
  if (c->index == kSoundMixBufferChannel) return kSoundMixBufferChannel;
  c->handle = uint32_t(c->index) | (uint32_t(c->serial) << 12);
  if (++c->serial > 0x7FFFF) c->serial = 1;
  return int32_t(c->handle);
}

bool Ready() {
  if (!g_sound.initialised.load() || g_sound.channels.empty()) {
    SetSoundError(kSoundErrUninitialised);
    return false;
  }
  return true;
}

bool SetFrequencyRec(SoundChannel* c, int32_t hz) {
  c->frequency = hz;
  return c->ops->setFrequency(c, hz);
}

bool SetVolumeRec(SoundChannel* c, int32_t volume) {
  c->volume = std::clamp(volume, 0, 255);
  c->absoluteVolume = false;
  if (c->mute) return true;
  return c->ops->setVolume(c, c->volume * g_sound.masterVolume / 255);
}

int32_t ClampPan(int32_t pan) { return pan == -1 ? -1 : std::clamp(pan, 0, 255); }

bool SetPanRec(SoundChannel* c, int32_t pan) {
  pan = ClampPan(pan);
  c->pan = int32_t(std::trunc(float(pan - 128) * g_sound.panSeparation)) + 128;
  return c->ops->setPan(c, c->pan);
}

// Runs op on the channel of a handle, or on every channel for kSoundAllChannels; the result is
// the last channel's.
template <typename Op>
bool ForChannels(int32_t handle, Op op) {
  if (handle == kSoundAllChannels) {
    bool result = false;
    for (int32_t i = 0; i < g_sound.channelCount; i++) result = op(&g_sound.channels[size_t(i)]);
    return result;
  }
  SoundChannel* c = GetChannelRecord(handle);
  return c ? op(c) : false;
}

}  // namespace

SoundChannel* GetChannelRecord(int32_t handle) {
  if (g_sound.channels.empty()) {
    SetSoundError(kSoundErrUninitialised);
    return nullptr;
  }
  if (handle == kSoundMixBufferChannel) return &g_sound.mixBufferChannel;
  uint32_t h = uint32_t(handle);
  int32_t index = int32_t(h & 0xFFF);
  if (index > g_sound.channelCount ||
      (index == g_sound.channelCount && !g_sound.channels[size_t(index)].spareInUse)) {
    SetSoundError(kSoundErrInvalidParam);
    return nullptr;
  }
  SoundChannel* c = &g_sound.channels[size_t(index)];
  if ((h & 0x7FFFF000u) == 0 || h == c->handle) return c;
  SetSoundError(kSoundErrInvalidParam);
  return nullptr;
}

void StopChannelRecord(SoundChannel* c) {
  if (c->ops) c->ops->stop(c);
  c->sample = nullptr;
  c->priority = 0;
}

SoundChannel* ChooseChannel(int32_t requested, ChannelRange* range, SoundSample* sample,
                            int32_t priority) {
  int32_t index = -1;
  if (requested != kSoundMixBufferChannel && requested != kSoundFreeChannel) {
    if (requested < -1) {
      SetSoundError(kSoundErrInvalidParam);
      return nullptr;
    }
    index = requested & 0xFFF;
    if (index >= g_sound.channelCount) {
      SetSoundError(kSoundErrInvalidParam);
      return nullptr;
    }
  }
  if (!Ready()) return nullptr;
  if (index >= 0 && sample) {
    bool hardwareIndex = index >= g_sound.softwareChannels;
    if ((sample->driverBuffer != nullptr) != hardwareIndex) {
      SetSoundError(kSoundErrChannelAlloc);
      return nullptr;
    }
  }
  SoundChannel* chosen = nullptr;
  if (requested == kSoundFreeChannel) {
    priority = std::clamp(priority, 0, 255);
    int32_t best = 256;
    SoundChannel* candidate = nullptr;
    int32_t count = range->last - range->first + 1;
    int32_t at = range->cursor;
    int32_t afterCandidate = at;
    for (int32_t k = 0; k < count; k++) {
      SoundChannel* c = &g_sound.channels[size_t(at)];
      at = at >= range->last ? range->first : at + 1;
      range->cursor = at;
      if (c->reserved) continue;
      if (!c->ops->isPlaying(c)) {
        chosen = c;
        break;
      }
      if (c->priority < best) {
        best = c->priority;
        candidate = c;
        afterCandidate = at;
      }
    }
    if (!chosen) {
      if (!candidate || candidate->priority > priority) {
        SetSoundError(kSoundErrChannelAlloc);
        return nullptr;
      }
      chosen = candidate;
      range->cursor = afterCandidate;
    }
  } else if (requested == kSoundMixBufferChannel) {
    chosen = &g_sound.mixBufferChannel;
  } else {
    chosen = &g_sound.channels[size_t(index)];
  }
  chosen->sample = sample;
  if (!chosen->ops->prepare(chosen, sample)) {
    SetSoundError(kSoundErrChannelAlloc);
    return nullptr;
  }
  if (sample) {
    chosen->priority = sample->defaultPriority;
    chosen->loopMode = sample->loopMode;
    chosen->reverbMix = 1.0f;
    SetFrequencyRec(chosen, sample->defaultFrequency);
    SetVolumeRec(chosen, sample->defaultVolume);
    SetPanRec(chosen, sample->defaultPan);
    static const float kZero[3] = {0, 0, 0};
    chosen->ops->set3DAttributes(chosen, g_sound.listener.position, kZero);
    if (sample->data) Compute3DChannelMix(chosen);
  }
  return chosen;
}

// ---- play ----

int32_t SoundPlayOnChannel(SoundDspUnit* unit, int32_t channel, SoundSample* sample, bool paused) {
  ApiEnter();
  EngineLock lock;
  if (!Ready()) return -1;
  if (!sample) {
    SetSoundError(kSoundErrInvalidParam);
    return -1;
  }
  if (unit) {
    unit->callback = g_mixer.channelUnit->callback;
    unit->userData = unit;
  } else {
    unit = g_mixer.channelUnit;
  }
  auto playOne = [&](int32_t target) -> int32_t {
    ChannelRange* range = sample->driverBuffer ? &g_sound.hardwareRange : &g_sound.softwareRange;
    SoundChannel* c = ChooseChannel(target, range, sample, sample->defaultPriority);
    if (!c) return -1;
    c->paused = true;
    if (!c->ops->start(unit, c, sample)) {
      SetSoundError(kSoundErrPlay);
      return -1;
    }
    c->ops->setPaused(c, paused);
    c->paused = paused;
    return NewChannelHandle(c);
  };
  if (channel != kSoundAllChannels) return playOne(channel);
  int32_t result = -1;
  for (int32_t i = 0; i < g_sound.channelCount; i++) result = playOne(i);
  return result;
}

int32_t SoundPlay(int32_t channel, SoundSample* sample) {
  return SoundPlayOnChannel(nullptr, channel, sample, false);
}

int32_t SoundPlayWithAttributes(int32_t channel, SoundSample* sample, int32_t frequency,
                                int32_t volume, int32_t pan, const float* position,
                                const float* velocity) {
  EngineLock lock;
  int32_t handle = SoundPlayOnChannel(nullptr, channel, sample, true);
  if (handle == -1) return -1;
  if (frequency >= 0) SoundSetChannelFrequency(handle, frequency);
  if (volume >= 0) SoundSetChannelVolume(handle, volume);
  if (pan >= 0) SoundSetChannelPan(handle, pan);
  if (position || velocity) {
    SoundSetChannel3DAttributes(handle, position, velocity);
    SoundChannel* c = GetChannelRecord(handle);
    if (c && c->index >= 0 && c->index < g_sound.softwareChannels && c->sample && c->sample->data) {
      Compute3DChannelMix(c);
    }
  }
  SoundSetChannelPaused(handle, false);
  return handle;
}

int32_t SoundPlayWithFrequency(int32_t channel, SoundSample* sample, int32_t frequency,
                               int32_t volume, int32_t pan) {
  EngineLock lock;
  int32_t handle = SoundPlayOnChannel(nullptr, channel, sample, true);
  if (handle == -1) return -1;
  SoundSetChannelFrequency(handle, frequency);
  SoundSetChannelVolume(handle, volume);
  SoundSetChannelPan(handle, pan);
  SoundSetChannelPaused(handle, false);
  return handle;
}

// ---- stop and settings ----

bool SoundStopChannel(int32_t channel) {
  ApiEnter();
  EngineLock lock;
  if (!Ready()) return false;
  return ForChannels(channel, [](SoundChannel* c) {
    StopChannelRecord(c);
    return true;
  });
}

bool SoundStopAllChannels() { return SoundStopChannel(kSoundAllChannels); }

bool SoundSetChannelFrequency(int32_t channel, int32_t hz) {
  ApiEnter();
  EngineLock lock;
  return ForChannels(channel, [hz](SoundChannel* c) { return SetFrequencyRec(c, hz); });
}

bool SoundSetChannelVolume(int32_t channel, int32_t volume) {
  ApiEnter();
  EngineLock lock;
  return ForChannels(channel, [volume](SoundChannel* c) { return SetVolumeRec(c, volume); });
}

bool SoundSetChannelVolumeAbsolute(int32_t channel, int32_t volume) {
  ApiEnter();
  EngineLock lock;
  return ForChannels(channel, [volume](SoundChannel* c) {
    c->volume = std::clamp(volume, 0, 255);
    c->absoluteVolume = true;
    return c->ops->setVolume(c, c->volume);
  });
}

bool SoundSetChannelPan(int32_t channel, int32_t pan) {
  ApiEnter();
  EngineLock lock;
  return ForChannels(channel, [pan](SoundChannel* c) { return SetPanRec(c, pan); });
}

bool SoundSetChannelPanRaw(int32_t channel, int32_t pan) {
  ApiEnter();
  EngineLock lock;
  return ForChannels(channel, [pan](SoundChannel* c) {
    c->pan = ClampPan(pan);
    return c->ops->setPan(c, c->pan);
  });
}

bool SoundSetChannelSurround(int32_t channel, bool on) {
  ApiEnter();
  EngineLock lock;
  return ForChannels(channel, [on](SoundChannel* c) {
    c->surround = on;
    return true;
  });
}

bool SoundSetChannelMute(int32_t channel, bool on) {
  ApiEnter();
  EngineLock lock;
  return ForChannels(channel, [on](SoundChannel* c) {
    c->mute = on;
    return c->ops->setVolume(c, on ? 0 : c->volume);
  });
}

bool SoundSetChannelPaused(int32_t channel, bool on) {
  ApiEnter();
  EngineLock lock;
  return ForChannels(channel, [on](SoundChannel* c) {
    bool ok = c->ops->setPaused(c, on);
    c->paused = on;
    return ok;
  });
}

bool SoundSetChannelPriority(int32_t channel, uint32_t priority) {
  ApiEnter();
  EngineLock lock;
  return ForChannels(channel, [priority](SoundChannel* c) {
    c->priority = int32_t(priority);
    return true;
  });
}

bool SoundSetChannelReserved(int32_t channel, bool on) {
  ApiEnter();
  EngineLock lock;
  return ForChannels(channel, [on](SoundChannel* c) {
    c->reserved = on;
    return true;
  });
}

bool SoundSetChannel3DAttributes(int32_t channel, const float* position, const float* velocity) {
  ApiEnter();
  EngineLock lock;
  if (!Ready()) return false;
  return ForChannels(channel, [position, velocity](SoundChannel* c) {
    return c->ops->set3DAttributes(c, position, velocity);
  });
}

bool SoundGetChannel3DAttributes(int32_t channel, float* position, float* velocity) {
  ApiEnter();
  EngineLock lock;
  if (!Ready()) return false;
  SoundChannel* c = GetChannelRecord(channel);
  return c && c->ops->get3DAttributes(c, position, velocity);
}

bool SoundSetChannelReverbMix(int32_t channel, float mix) {
  ApiEnter();
  EngineLock lock;
  if (mix > 1.0f) mix = 1.0f;
  return ForChannels(channel, [mix](SoundChannel* c) {
    if (!c->ops->setReverbMix(c, mix)) return false;
    c->reverbMix = mix;
    return true;
  });
}

bool SoundGetChannelReverbMix(int32_t channel, float* mix) {
  ApiEnter();
  EngineLock lock;
  if (!Ready()) return false;
  SoundChannel* c = GetChannelRecord(channel);
  if (!c || !mix) {
    SetSoundError(kSoundErrInvalidParam);
    return false;
  }
  *mix = c->reverbMix;
  return true;
}

// ---- queries ----

namespace {
template <typename T, typename Get>
T Query(int32_t channel, Get get) {
  ApiEnter();
  EngineLock lock;
  if (!Ready()) return T{};
  SoundChannel* c = GetChannelRecord(channel);
  return c ? get(c) : T{};
}
}  // namespace

int32_t SoundGetChannelFrequency(int32_t ch) {
  return Query<int32_t>(ch, [](SoundChannel* c) { return c->frequency; });
}
int32_t SoundGetChannelVolume(int32_t ch) {
  return Query<int32_t>(ch, [](SoundChannel* c) { return c->volume; });
}
int32_t SoundGetChannelPan(int32_t ch) {
  return Query<int32_t>(ch, [](SoundChannel* c) { return c->pan; });
}
bool SoundGetChannelMute(int32_t ch) {
  return Query<bool>(ch, [](SoundChannel* c) { return c->mute; });
}
int32_t SoundGetChannelPriority(int32_t ch) {
  return Query<int32_t>(ch, [](SoundChannel* c) { return c->priority; });
}
bool SoundGetChannelPaused(int32_t ch) {
  return Query<bool>(ch, [](SoundChannel* c) { return c->paused; });
}
SoundSample* SoundGetChannelSample(int32_t ch) {
  return Query<SoundSample*>(ch, [](SoundChannel* c) { return c->sample; });
}
int64_t SoundGetChannelPosition(int32_t ch) {
  return Query<int64_t>(ch, [](SoundChannel* c) { return c->ops->getPlayPosition(c); });
}
float SoundGetChannelLevel(int32_t ch) {
  return Query<float>(ch, [](SoundChannel* c) { return c->ops->getLevel(c); });
}
bool SoundIsChannelPlaying(int32_t ch) {
  return Query<bool>(ch, [](SoundChannel* c) { return c->ops->isPlaying(c); });
}

int32_t SoundGetChannelsPlaying() {
  ApiEnter();
  EngineLock lock;
  if (!Ready()) return 0;
  int32_t n = 0;
  for (int32_t i = 0; i < g_sound.channelCount; i++) {
    SoundChannel& c = g_sound.channels[size_t(i)];
    if (c.ops->isPlaying(&c)) n++;
  }
  return n;
}
