#include "sound/engine/songs.h"

#include <algorithm>
#include <new>

#include "sound/engine/engine_state.h"
#include "sound/engine/files/sound_file.h"
#include "sound/engine/mixer/mixer.h"

namespace {

SoundSong g_playing;  // list head of the playing songs
bool g_listReady = false;

SoundSong& Head() {
  if (!g_listReady) {
    g_playing.next = g_playing.prev = &g_playing;
    g_listReady = true;
  }
  return g_playing;
}

bool Bad(const void* song) {
  if (song) return false;
  SetSoundError(kSoundErrInvalidParam);
  return true;
}

SoundSong* Load(const void* source, uint8_t kind, uint32_t length) {
  SoundSong* song = SongCreate();
  if (!song) return nullptr;
  SoundFile* file = source ? SoundFileOpen(source, kind, length) : nullptr;
  if (!file) {
    delete song;
    SetSoundError(kSoundErrFileOpen);
    return nullptr;
  }
  // No module format is recognised.
  SoundFileClose(file);
  delete song;
  SetSoundError(kSoundErrFileFormat);
  return nullptr;
}

void Unlink(SoundSong* song) {
  if (!song->next) return;
  song->prev->next = song->next;
  song->next->prev = song->prev;
  song->next = song->prev = nullptr;
}

}  // namespace

int32_t SongSamplesPerTick(int32_t mixRate, int32_t tempo) {
  tempo = std::max(tempo, 1);
  return int32_t(double(mixRate) * (1000.0 / (double(tempo) * 2 / 5)) / 1000.0);
}

SoundSong* SongCreate() {
  SoundSong* song = new (std::nothrow) SoundSong();
  if (!song) SetSoundError(kSoundErrMemory);
  return song;
}

SoundSong* SongLoadFile(const char* name) { return Load(name, kSoundFileDisk, 0); }

SoundSong* SongLoadMemory(const void* memory, int32_t length) {
  return Load(memory, kSoundFileMemory, uint32_t(std::max(length, 0)));
}

bool SongFree(SoundSong* song) {
  if (Bad(song)) return false;
  SongStop(song);
  for (size_t k = 0; k < song->samples.size(); ++k)
    if (k < song->sampleOwned.size() && song->sampleOwned[k] && song->samples[k]) SoundSampleFree(song->samples[k]);
  delete song;
  return true;
}

bool SongPlay(SoundSong* song) {
  if (Bad(song)) return false;
  SongStop(song);
  WaitMixerIdle();
  song->paused = false;
  song->speed = song->defaultSpeed;
  song->tempo = song->defaultTempo;
  song->order = song->row = song->tick = 0;
  for (auto& ring : song->rings) std::fill(std::begin(ring), std::end(ring), SongEvent{});
  std::fill(std::begin(song->ringCursor), std::end(song->ringCursor), 0);
  song->samplesPerTick = SongSamplesPerTick(g_sound.mixRate, song->tempo);
  song->channelsAllocated = true;
  SoundSong& head = Head();
  song->next = head.next;
  song->prev = &head;
  head.next->prev = song;
  head.next = song;
  song->playing = true;
  song->mixTimeMs = 0;
  return true;
}

bool SongStop(SoundSong* song) {
  if (Bad(song)) return false;
  WaitMixerIdle();
  Unlink(song);
  song->playing = false;
  song->channelsAllocated = false;
  return true;
}

void SongStopAll() {
  SoundSong& head = Head();
  while (head.next != &head) SongStop(head.next);
}

void SongRetimeAll() {
  SoundSong& head = Head();
  for (SoundSong* s = head.next; s != &head; s = s->next) s->samplesPerTick = SongSamplesPerTick(g_sound.mixRate, s->tempo);
}

bool SongSetTempo(SoundSong* song, int32_t tempo) {
  if (Bad(song)) return false;
  song->tempo = std::max(tempo, 1);
  song->samplesPerTick = SongSamplesPerTick(g_sound.mixRate, song->tempo);
  return true;
}

bool SongSetOrderCallback(SoundSong* song, SongCallback callback, int32_t step) {
  if (Bad(song)) return false;
  if (step < 0) {
    SetSoundError(kSoundErrInvalidParam);
    return false;
  }
  song->orderCallback = callback;
  song->orderStep = step;
  return true;
}

bool SongSetRowCallback(SoundSong* song, SongCallback callback, int32_t step) {
  if (Bad(song)) return false;
  if (step < 0) {
    SetSoundError(kSoundErrInvalidParam);
    return false;
  }
  song->rowCallback = callback;
  song->rowStep = step;
  return true;
}

bool SongSetOrder(SoundSong* song, int32_t order) {
  if (Bad(song)) return false;
  WaitMixerIdle();
  song->order = std::clamp(order, 0, std::max(int32_t(song->orders.size()) - 1, 0));
  song->row = song->tick = 0;
  return true;
}

bool SongSetMasterVolume(SoundSong* song, int32_t volume) {
  if (Bad(song)) return false;
  song->masterVolume = std::clamp(volume, 0, 256);
  return true;
}

bool SongGetFinished(const SoundSong* song) {
  if (!song) return false;
  if (song->type == 4) return (song->flags & 0x100) != 0;
  if (song->type == 3) return (song->flags & 0x2) != 0;
  return false;
}

int32_t SongGetTempo(const SoundSong* song) { return song ? song->tempo : -1; }

bool SongRecordEvent(SoundSong* song, int32_t ring, int32_t value) {
  if (Bad(song) || ring < 0 || ring > 3) return false;
  bool take = false;
  switch (ring) {
    case 0: take = song->orderCallback && (song->orderStep == 0 || value % song->orderStep == 0); break;
    case 1: take = song->rowCallback && (song->rowStep == 0 || value % song->rowStep == 0); break;
    case 2: take = song->looping != 0; break;
    default: take = song->markerCallback != nullptr; break;
  }
  if (!take) return false;
  SongEvent& e = song->rings[ring][song->ringCursor[ring]];
  e.dueMs = int32_t(song->mixTimeMs + g_sound.bufferSetting - 25);
  e.value = value;
  song->ringCursor[ring] = (song->ringCursor[ring] + 1) % 256;
  return true;
}

int32_t FinetuneToRate(int32_t finetune) {
  static const int32_t kRates[16] = {8363, 8413, 8463, 8529, 8581, 8651, 8723, 8757,
                                     7895, 7941, 7985, 8046, 8107, 8169, 8232, 8280};
  return finetune >= 1 && finetune <= 15 ? kRates[finetune] : 8363;
}
