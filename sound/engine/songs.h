#pragma once
// Music module songs: the record keeping of pattern-based songs. No module format is known, so
// every load fails with error 10; what remains is the list of playing songs, which the engine
// re-times at start-up and empties at close, and the song's setters and getters.
#include <cstdint>
#include <string>
#include <vector>

struct SoundSample;

using SongCallback = void (*)(struct SoundSong* song, int32_t value);

struct SongEvent {
  int32_t dueMs = -1;
  int32_t value = 0;
};

struct SoundSong {
  SoundSong* next = nullptr;
  SoundSong* prev = nullptr;
  uint8_t type = 0;
  std::string name;
  std::vector<std::vector<uint8_t>> patterns;
  std::vector<int32_t> patternRows;
  std::vector<std::vector<SoundSample*>> instruments;
  std::vector<SoundSample*> samples;
  std::vector<bool> sampleOwned;
  int32_t songChannels = 0;
  bool channelsAllocated = false;
  int32_t defaultSpeed = 6, defaultTempo = 125, speed = 6, tempo = 125;
  int32_t samplesPerTick = 0;
  std::vector<uint8_t> orders;
  int32_t order = 0, row = 0, tick = 0;
  int32_t masterVolume = 256;
  float masterSpeed = 1.0f;
  bool paused = false, playing = false;
  uint16_t flags = 0;  // finished: bit 1 for type 3 songs, bit 8 for type 4 songs
  uint32_t looping = 0;
  int32_t panSeparation[2] = {0, 0};
  SongCallback orderCallback = nullptr, rowCallback = nullptr, markerCallback = nullptr;
  int32_t orderStep = 0, rowStep = 0, markerValue = 0;
  SongEvent rings[4][256];
  int32_t ringCursor[4] = {0, 0, 0, 0};
  int64_t mixTimeMs = 0;
};

// Error codes set through the engine's last error: 9 no source, 10 no format, 12 memory, 14 bad.
SoundSong* SongLoadFile(const char* name);
SoundSong* SongLoadMemory(const void* memory, int32_t length);
// The empty song a load starts from (used by loads, and by tests of the record keeping).
SoundSong* SongCreate();
bool SongFree(SoundSong* song);
bool SongPlay(SoundSong* song);
bool SongStop(SoundSong* song);
void SongStopAll();
// Samples per tick for the current mix rate, of every playing song (at start-up).
void SongRetimeAll();
bool SongSetTempo(SoundSong* song, int32_t tempo);
bool SongSetOrderCallback(SoundSong* song, SongCallback callback, int32_t step);
bool SongSetRowCallback(SoundSong* song, SongCallback callback, int32_t step);
bool SongSetOrder(SoundSong* song, int32_t order);
bool SongSetMasterVolume(SoundSong* song, int32_t volume);
bool SongGetFinished(const SoundSong* song);
int32_t SongGetTempo(const SoundSong* song);
// Ring 0 orders, 1 rows, 2 song ends, 3 user markers; false when the ring does not take it.
bool SongRecordEvent(SoundSong* song, int32_t ring, int32_t value);
// Base rate of middle C for a finetune value.
int32_t FinetuneToRate(int32_t finetune);
// Samples per tick at a mix rate and tempo (tempo below 1 counts as 1).
int32_t SongSamplesPerTick(int32_t mixRate, int32_t tempo);
