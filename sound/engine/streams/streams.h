#pragma once
// Streams: long sounds played without loading them whole. A stream owns a looping sample of
// two halves on a reserved channel; the stream thread refills the half not being heard from a
// reader of a raw PCM, WAV or MPEG audio file, or from the caller's fill procedure.
#include <cstdint>

#include "sound/engine/sound_engine.h"

struct SoundStream;

// (stream, destination, bytes, user data) -> false when the data has ended.
using SoundStreamFill = bool (*)(SoundStream* stream, void* dest, int32_t bytes, void* user);
// End: (stream, null, 0, user value); sync: (stream, cue name, cue offset in samples, user value).
using SoundStreamCallback = bool (*)(SoundStream* stream, void* buffer, int32_t length, int32_t user);

SoundStream* StreamCreate(SoundStreamFill fill, int32_t bytes, uint32_t mode, int32_t frequency, void* user);
// A named file, or a memory block of `length` bytes when mode has kSoundMemory.
SoundStream* StreamOpen(const void* source, uint32_t mode, int32_t length);
SoundStream* StreamOpenRaw(const char* name, uint32_t mode, int32_t length);
int32_t StreamPlay(int32_t channel, SoundStream* stream);
int32_t StreamPlayWithAttributes(int32_t channel, SoundStream* stream, int32_t frequency, int32_t volume,
                                 int32_t pan, const float* position, const float* velocity);
bool StreamStop(SoundStream* stream);
bool StreamClose(SoundStream* stream);
bool StreamSetEndCallback(SoundStream* stream, SoundStreamCallback callback, int32_t user);
bool StreamSetSyncCallback(SoundStream* stream, SoundStreamCallback callback, int32_t user);
bool StreamSetPaused(SoundStream* stream, bool paused);
bool StreamSetPosition(SoundStream* stream, uint32_t position);
bool StreamSetTime(SoundStream* stream, int32_t milliseconds);
int32_t StreamGetPosition(SoundStream* stream);
int32_t StreamGetTime(SoundStream* stream);
int32_t StreamGetLength(SoundStream* stream);
int32_t StreamGetLengthMs(SoundStream* stream);
SoundSample* StreamGetSample(SoundStream* stream);
SoundDspUnit* StreamAddDsp(SoundStream* stream, SoundDspCallback callback, int32_t priority, void* user);

// Engine life cycle: SoundInit starts the time unit and (for outputs with their own clock) the
// stream thread; SoundClose stops both and every playing stream.
void StreamsStart();
void StreamStopAll();
// One pass of the stream thread over the playing streams, `elapsed_ms` after the last one
// (outputs pumped by the caller run it as their clock moves).
void StreamPoll(int32_t elapsed_ms);
