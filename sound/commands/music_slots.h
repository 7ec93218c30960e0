#pragma once
// The program's music tracks 1..32: each a music file or a CD track opened through a command
// string under the alias "music<n>", with the marks its queries report and the per-frame poll
// that stops or restarts the current track at its end.
#include <cstdint>
#include <string>

inline constexpr int kMusicSlotCount = 33;  // slots 0..32; the commands use 1..32

struct MusicSlot {
  uint8_t loaded = 0, playing = 0, paused = 0, looping = 0;
  std::string openCommand, setCommand, playCommand;
  int32_t cdTrack = 0;
  int32_t length = 0;
  int32_t position = 0;
  int32_t repeat = 0;
  uint8_t pausedByFocus = 0;
};

struct MusicState {
  MusicSlot slots[kMusicSlotCount];
  int32_t current = 0;      // the slot last started by play or loop (0: none)
  int32_t pollCounter = 0;
  std::string reply;
};

extern MusicState g_music;

inline bool MusicNumberInRange(int32_t n) { return n >= 1 && n <= 32; }

// Music routines; true on success, false at the first command string that failed.
bool LoadMusic(int32_t n, const char* file);
bool LoadCdTrackMusic(int32_t n, int32_t track);
bool PlayMusic(int32_t n);
bool LoopMusic(int32_t n);
bool StopMusic(int32_t n);
bool PauseMusic(int32_t n);
bool ResumeMusic(int32_t n);
bool CloseMusic(int32_t n);
void PauseAllMusic();
void ResumeAllMusic();
// Music state back to a new process's: every device closed, the table cleared.
void ResetMusicState();
