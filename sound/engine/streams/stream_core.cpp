// Stream records, playing and stopping, the stream thread and the time unit.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

#include "sound/engine/drivers/driver.h"
#include "sound/engine/streams/stream_internal.h"

StreamsState g_streams;

namespace {

bool Check(SoundStream* s) {
  if (s) return true;
  SetSoundError(kSoundErrInvalidParam);
  return false;
}

void Unlink(SoundStream* s) {
  auto& list = g_streams.playing;
  list.erase(std::remove(list.begin(), list.end(), s), list.end());
}

bool Listed(SoundStream* s) {
  const auto& list = g_streams.playing;
  return std::find(list.begin(), list.end(), s) != list.end();
}

// Refills one half of the stream's sample and runs the stream's DSP units over it.
void Refill(SoundStream* s) {
  const uint32_t half_bytes = SampleByteSize(s->sample) / 2;
  void *p1 = nullptr, *p2 = nullptr;
  uint32_t l1 = 0, l2 = 0;
  if (!SoundSampleLock(s->sample, (int32_t)(s->half * half_bytes), half_bytes, &p1, &p2, &l1, &l2)) return;
  if (s->end_countdown >= 0) {
    std::memset(p1, 0, l1);
  } else if (!s->fill(s, p1, (int32_t)l1, s->fill_user)) {
    s->end_countdown = g_sound.bufferSetting + s->sample_ms + 20;
  }
  void* input = p1;
  const int32_t frames = (int32_t)(l1 / SampleFrameBytes(s->sample));
  for (SoundDspUnit* u : s->dsp)
    if (u->active && u->callback) {
      input = u->callback(p1, input, frames, u->userData);
      if (!input) input = p1;
    }
  if (input != p1) std::memmove(p1, input, l1);
  SoundSampleUnlock(s->sample, p1, p2, l1, l2);
  s->half ^= 1;
}

// The engine's time unit: play time and cue sync points of every playing stream, per mix block.
void* TimeUnit(void*, void* input, int32_t, void*) {
  struct Sync {
    SoundStream* stream;
    SoundStreamCallback callback;
    const char* name;
    uint32_t offset;
    int32_t user;
  };
  std::vector<Sync> due;
  {
    EngineLock lock;
    for (SoundStream* s : g_streams.playing) {
      if (s->paused || !s->playing || s->channel < 0) continue;
      const int32_t freq = SoundGetChannelFrequency(s->channel);
      if (freq <= 0) continue;
      s->time += (float)freq * 25.0f / (float)s->sample->defaultFrequency;
      if (s->length_ms > 0 && s->time > (float)s->length_ms)
        s->time = (s->mode & kSoundLoopNormal) ? std::fmod(s->time, (float)s->length_ms) : (float)s->length_ms;
      s->itime = std::max(0, (int32_t)s->time);
      if (s->cues.count <= 0) continue;
      const uint64_t pos = (uint64_t)freq * (uint64_t)s->itime / 1000;
      const int32_t last = s->cues.count - 1;
      if (s->cue_cursor > last && pos < s->cues.entries[last].offset) s->cue_cursor = 0;
      while (s->cue_cursor <= last && s->cues.entries[s->cue_cursor].offset <= pos) {
        const SoundCue& c = s->cues.entries[s->cue_cursor++];
        if (s->sync_callback) due.push_back({s, s->sync_callback, c.label, c.offset, s->sync_user});
      }
    }
  }
  for (const Sync& d : due) d.callback(d.stream, (void*)d.name, (int32_t)d.offset, d.user);
  return input;
}

void ThreadBody(SoundWorker* worker) {
  for (;;) {
    StreamPoll(10);
    if (!worker->Sleep(10)) break;
  }
}

// The refill thread starts with the first stream played (a run that plays none needs it not),
// where the driver is not pumped by the run loop instead.
std::mutex g_refillThreadLock;

void StartRefillThread() {
  std::lock_guard<std::mutex> hold(g_refillThreadLock);
  if (g_sound.driver && !g_sound.driver->pumped && !g_streams.stopping && !g_streams.worker.Running())
    g_streams.worker.Start(ThreadBody, 1);
}


void FreeStream(SoundStream* s) {
  SoundFileClose(s->file);
  if (s->codec) WavCodecClose(s->codec);
  delete s->decoder;
  for (SoundDspUnit* u : s->dsp) delete u;
  if (s->sample) SoundSampleFree(s->sample);
  EngineLock lock;
  WaitMixerIdle();
  delete s;
}

}  // namespace

SoundStream* StreamCreate(SoundStreamFill fill, int32_t bytes, uint32_t mode, int32_t frequency, void* user) {
  ApiEnter();
  mode = NormaliseMode(mode);
  if (frequency < 1) frequency = 1;
  int32_t frames = bytes / ((mode & kSound16Bits) ? 2 : 1) / ((mode & kSoundStereo) ? 2 : 1);
  if (!fill || frames < 1) {
    SetSoundError(kSoundErrInvalidParam);
    return nullptr;
  }
  const bool stereo = (mode & kSoundStereo) != 0;
  SoundSample* sample = SoundSampleAlloc(kSoundUnlisted, 2 * frames, (mode | kSoundOwnBuffer) & ~kSoundLoopOff & ~kSoundLoopBidi,
                                         frequency, 255, stereo ? -1 : 128, 255);
  if (!sample) return nullptr;
  sample->name = "Streamer Sample";
  sample->usedByStream = true;
  SoundSampleSetLoopMode(sample, kSoundLoopNormal);
  SoundSampleSetLoopPoints(sample, 0, 2 * frames - 1);
  SoundStream* s = new SoundStream;
  s->sample = sample;
  s->fill = fill;
  s->fill_user = user;
  s->mode = mode;
  s->frequency = frequency;
  s->out_frame = SampleFrameBytes(sample);
  s->sample_ms = (int32_t)((int64_t)frames * 2000 / frequency);
  return s;
}

SoundStream* StreamOpen(const void* source, uint32_t mode, int32_t length) {
  ApiEnter();
  mode = NormaliseMode(mode) | kSoundOwnBuffer;
  if (!source) {
    SetSoundError(kSoundErrInvalidParam);
    return nullptr;
  }
  const bool memory = (mode & kSoundMemory) != 0;
  // Network sources are not part of this system.
  if (!memory && !(mode & kSoundRaw) && std::strncmp((const char*)source, "http://", 7) == 0) {
    SetSoundError(kSoundErrFileFormat);
    return nullptr;
  }
  SoundFile* file = OpenSoundSource(source, mode, length);
  if (!file) {
    SetSoundError(kSoundErrFileOpen);
    return nullptr;
  }
  SoundStream tmp;
  tmp.file = file;
  int32_t frequency = 44100;
  uint32_t out_mode = mode;
  SoundFilesBeginLoad();
  WavSource wav;
  MpegSource mpeg;
  if (mode & kSoundRaw) {
    const int64_t size = SoundFileSize(file);
    tmp.reader = StreamReader::Pcm;
    tmp.data_length = (uint32_t)std::max<int64_t>(size, 0);
    tmp.bytes_per_frame = ((mode & kSound16Bits) ? 2 : 1) * ((mode & kSoundStereo) ? 2 : 1);
  } else if (OpenWavFormat(file, &wav, nullptr, &tmp.cues)) {
    // WAV before MPEG: PCM data must not be taken for a run of MPEG frame headers.
    tmp.reader = StreamReader::Pcm;
    tmp.codec = wav.codec;
    tmp.data_start = wav.data_offset;
    tmp.data_length = wav.source_length;
    tmp.bytes_per_frame = wav.codec ? WavCodecBlock(wav.codec) : wav.block_align ? wav.block_align : 1;
    tmp.ratio = wav.source_length ? (float)wav.converted_length / (float)wav.source_length : 1.0f;
    frequency = wav.frequency;
    out_mode = (mode & ~kSoundModeFormatBits) | wav.mode;
    if (wav.codec) {
      uint32_t chunk = WavCodecBlock(wav.codec);
      while (chunk < 2048) chunk *= 2;
      tmp.source.resize(chunk);
      tmp.decoded.resize(WavCodecSize(wav.codec, chunk) + 16);
    }
  } else if (ProbeSoundFile(file, mode, &mpeg, (mode & kSoundMpegAccurate) ? &tmp.frames : nullptr,
                            tmp.cues.count ? nullptr : &tmp.cues)) {
    tmp.reader = StreamReader::Mpeg;
    tmp.decoder = mpeg.decoder;
    MpegDecoderRestart(tmp.decoder);
    tmp.data_start = mpeg.data_offset;
    tmp.data_length = mpeg.data_length;
    tmp.length_ms = (int32_t)mpeg.length_ms;
    tmp.decoded.resize(kMpegMaxFrameOutput);
    tmp.frame_output = mpeg.frame_output;
    frequency = mpeg.frequency;
    out_mode = (mode & ~kSoundModeFormatBits) | mpeg.mode;
  } else {
    if (SoundFiles().unsupported.empty() && SoundFiles().damage.empty()) SoundFilesNameOtherKind(file);
    SoundFileClose(file);
    SetSoundError(SoundFiles().damage.empty() ? kSoundErrFileFormat : kSoundErrFileBad);
    return nullptr;
  }
  const uint32_t out_frame = ((out_mode & kSound16Bits) ? 2 : 1) * ((out_mode & kSoundStereo) ? 2 : 1);
  const int32_t block = frequency * 100 / 1000 * (int32_t)out_frame;
  SoundStream* s = StreamCreate(tmp.reader == StreamReader::Mpeg ? StreamReadMpeg : StreamReadPcm, block,
                                out_mode & ~kSoundUnsigned, frequency, nullptr);
  if (!s) {
    SoundFileClose(file);
    if (tmp.codec) WavCodecClose(tmp.codec);
    delete tmp.decoder;
    return nullptr;
  }
  SoundSample* sample = s->sample;
  *s = std::move(tmp);
  s->sample = sample;
  s->fill = s->reader == StreamReader::Mpeg ? StreamReadMpeg : StreamReadPcm;
  s->mode = out_mode;
  s->frequency = frequency;
  s->out_frame = out_frame;
  s->sample_ms = (int32_t)((int64_t)SoundSampleGetLength(sample) * 1000 / frequency);
  sample->name = memory ? std::string("Memory file") : std::string((const char*)source).substr(0, 255);
  if (s->length_ms == 0 && frequency > 0) {
    const double out_bytes = s->data_length * (double)s->ratio;
    s->length_ms = (int32_t)(out_bytes / out_frame / frequency * 1000.0);
  }
  return s;
}

SoundStream* StreamOpenRaw(const char* name, uint32_t mode, int32_t length) {
  return StreamOpen(name, mode | kSoundRaw, length);
}

int32_t StreamPlay(int32_t channel, SoundStream* s) {
  return StreamPlayWithAttributes(channel, s, -1, -1, -1, nullptr, nullptr);
}

int32_t StreamPlayWithAttributes(int32_t channel, SoundStream* s, int32_t frequency, int32_t volume, int32_t pan,
                                 const float* position, const float* velocity) {
  ApiEnter();
  if (!Check(s)) return -1;
  if (!g_sound.initialised.load() || g_streams.stopping) {
    SetSoundError(kSoundErrUninitialised);
    return -1;
  }
  std::lock_guard<std::recursive_mutex> refill(g_streams.refill);
  if (s->playing) {
    if (!SoundIsChannelPlaying(s->channel) && s->channel >= 0) SoundSetChannelPaused(s->channel, false);
    return s->channel;
  }
  void *p1, *p2;
  uint32_t l1, l2;
  if (SoundSampleLock(s->sample, 0, SampleByteSize(s->sample), &p1, &p2, &l1, &l2)) {
    std::memset(p1, 0, l1);
    if (p2) std::memset(p2, 0, l2);
    SoundSampleUnlock(s->sample, p1, p2, l1, l2);
  }
  s->decoded_fill = s->decoded_read = 0;
  s->ended = false;
  s->end_countdown = -1;
  s->playing = true;
  s->cpu = 0;
  s->time = 0;
  s->itime = 0;
  s->cue_cursor = 0;
  s->half = 0;
  Refill(s);
  Refill(s);
  {
    EngineLock lock;
    g_streams.playing.push_back(s);
  }
  StartRefillThread();
  const int32_t handle =
      SoundPlayWithAttributes(channel, s->sample, frequency, volume, pan, position, velocity);
  if (handle == -1) {
    StreamStop(s);
    SetSoundError(kSoundErrPlay);
    return -1;
  }
  SoundSetChannelReserved(handle, true);
  if (s->paused) SoundSetChannelPaused(handle, true);
  EngineLock lock;
  s->channel = handle;
  return handle;
}

bool StreamStop(SoundStream* s) {
  ApiEnter();
  if (!Check(s)) return false;
  bool was_playing;
  {
    std::lock_guard<std::recursive_mutex> refill(g_streams.refill);
    EngineLock lock;
    if (s->channel >= 0) {
      SoundSetChannelReserved(s->channel, false);
      SoundStopChannel(s->channel);
    }
    s->channel = -1;
    Unlink(s);
    was_playing = s->playing;
    s->playing = false;
  }
  if (was_playing && s->end_callback) s->end_callback(s, nullptr, 0, s->end_user);
  return true;
}

bool StreamClose(SoundStream* s) {
  ApiEnter();
  if (!Check(s)) return false;
  StreamStop(s);
  FreeStream(s);
  return true;
}

bool StreamSetEndCallback(SoundStream* s, SoundStreamCallback callback, int32_t user) {
  if (!Check(s)) return false;
  EngineLock lock;
  s->end_callback = callback;
  s->end_user = user;
  return true;
}

bool StreamSetSyncCallback(SoundStream* s, SoundStreamCallback callback, int32_t user) {
  if (!Check(s)) return false;
  EngineLock lock;
  s->sync_callback = callback;
  s->sync_user = user;
  return true;
}

bool StreamSetPaused(SoundStream* s, bool paused) {
  if (!Check(s)) return false;
  EngineLock lock;  // the time unit reads the flag on the mixer thread
  s->paused = paused;
  if (s->channel >= 0) SoundSetChannelPaused(s->channel, paused);
  return true;
}

bool StreamSetPosition(SoundStream* s, uint32_t position) {
  if (!Check(s)) return false;
  if (position >= s->data_length) {
    SetSoundError(kSoundErrInvalidParam);
    return false;
  }
  if (s->reader == StreamReader::Pcm) position -= position % std::max<uint32_t>(s->bytes_per_frame, 1);
  std::lock_guard<std::recursive_mutex> refill(g_streams.refill);
  s->pending_position = position;
  s->pending_time = -1;
  return true;
}

bool StreamSetTime(SoundStream* s, int32_t ms) {
  if (!Check(s)) return false;
  if (ms < 0 || ms > s->length_ms) {
    SetSoundError(kSoundErrInvalidParam);
    return false;
  }
  std::lock_guard<std::recursive_mutex> refill(g_streams.refill);
  s->pending_time = ms;
  s->pending_position = -1;
  return true;
}

int32_t StreamGetPosition(SoundStream* s) { return Check(s) ? (int32_t)s->read_pos : 0; }

int32_t StreamGetTime(SoundStream* s) {
  if (!Check(s) || !s->sample) {
    SetSoundError(kSoundErrInvalidParam);
    return 0;
  }
  EngineLock lock;
  return s->itime;
}

int32_t StreamGetLength(SoundStream* s) { return Check(s) ? (int32_t)s->data_length : 0; }
int32_t StreamGetLengthMs(SoundStream* s) { return Check(s) ? s->length_ms : 0; }
SoundSample* StreamGetSample(SoundStream* s) { return Check(s) ? s->sample : nullptr; }

SoundDspUnit* StreamAddDsp(SoundStream* s, SoundDspCallback callback, int32_t priority, void* user) {
  if (!Check(s)) return nullptr;
  SoundDspUnit* u = new SoundDspUnit();
  u->callback = callback;
  u->priority = priority;
  u->userData = user;
  u->active = true;
  std::lock_guard<std::recursive_mutex> refill(g_streams.refill);
  auto at = std::find_if(s->dsp.begin(), s->dsp.end(), [&](SoundDspUnit* o) { return o->priority > priority; });
  s->dsp.insert(at, u);
  return u;
}

void StreamsStart() {
  g_streams.stopping = false;
  g_streams.time_unit = DspCreateUnit(TimeUnit, 299, nullptr);
  if (g_streams.time_unit) DspSetActive(g_streams.time_unit, true);
}

void StreamStopAll() {
  {
    std::lock_guard<std::mutex> hold(g_refillThreadLock);
    g_streams.stopping = true;
    g_streams.worker.RequestStop();
    g_streams.worker.Join();
  }
  std::vector<SoundStream*> list;
  {
    EngineLock lock;
    list = g_streams.playing;
  }
  for (SoundStream* s : list) StreamStop(s);
  g_streams.time_unit = nullptr;  // freed with the mixer's chain
}

void StreamPoll(int32_t elapsed_ms) {
  std::vector<SoundStream*> ended;
  float total = 0;
  {
    std::lock_guard<std::recursive_mutex> refill(g_streams.refill);
    std::vector<SoundStream*> list;
    {
      EngineLock lock;
      list = g_streams.playing;
    }
    for (SoundStream* s : list) {
      if (!Listed(s)) continue;
      if (s->fill && s->channel >= 0) {
        const int64_t p = SoundGetChannelPosition(s->channel);
        const int64_t h = SoundSampleGetLength(s->sample) / 2;
        if ((p >= h && s->half == 0) || (p < h && s->half == 1)) {
          s->meter.workStart = SoundClockMicros();
          Refill(s);
          s->cpu = UpdateCpuMeter(&s->meter, 0.8f) * 0.8f;
        }
      }
      total += s->cpu;
      if (s->end_countdown >= 0) {
        s->end_countdown = std::max(0, s->end_countdown - elapsed_ms);
        if (s->end_countdown < 1) s->ended = true;
      }
      if (s->ended) ended.push_back(s);
    }
    g_sound.streamCpu.store(total);
    // Stopped under the lock: a stream closed on another thread is unlisted first, so it is
    // never stopped here after it was freed.
    for (SoundStream* s : ended) StreamStop(s);
  }
}
