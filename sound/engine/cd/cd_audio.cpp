#include "sound/engine/cd/cd_audio.h"

#include <algorithm>
#include <utility>

namespace {

struct CdState {
  int32_t device = -1;  // never opened: there is no drive
  int32_t currentTrack = 0;
  int32_t trackCount = 0;
  int8_t playMode = kCdNextTrack;
  bool paused = false;
  uint16_t shuffle[256] = {};
  int32_t cursor = 0, shuffleStart = 0;
  uint32_t random = 0;
};

CdState g_cd;

// The C runtime's generator of the system the order was first made on, so it never changes.
int32_t NextRandom() {
  g_cd.random = g_cd.random * 214013u + 2531011u;
  return int32_t((g_cd.random >> 16) & 0x7FFF);
}

bool Opened() { return g_cd.device != -1 || CdInit(); }

}  // namespace

bool CdInit() {
  // No CD audio device exists on this system.
  return false;
}

bool CdClose() {
  g_cd.device = -1;
  return true;
}

bool CdPlay(int32_t) { return Opened(); }

bool CdStop() {
  if (!Opened()) return false;
  g_cd.paused = false;
  return true;
}

bool CdSetPaused(bool paused) {
  if (!Opened()) return false;
  g_cd.paused = paused;
  return true;
}

void CdSetPlayMode(int8_t mode) { g_cd.playMode = mode; }
int8_t CdGetPlayMode() { return g_cd.playMode; }

int32_t CdGetVolume() { return Opened() ? 0 : -1; }

bool CdOpenDoor() { return Opened(); }
int32_t CdGetNumTracks() { return Opened() ? g_cd.trackCount : 0; }
int32_t CdGetTrackLength(int32_t) { return 0; }
int32_t CdGetTrackTime() { return 0; }

// The position query fails without a drive, so no watcher is armed.
int32_t CdStartPlayWatch() { return 0; }

void CdReset() {
  g_cd = CdState{};
  CdShuffleTracks();
}

int32_t CdLengthMs(uint32_t packed) { return int32_t(packed & 0xFF) * 60000 + int32_t((packed >> 8) & 0xFF) * 1000; }

int32_t CdPositionMs(uint32_t packed, int32_t trackLengthMs) {
  if (packed <= 512) return 0;
  const int32_t ms = int32_t((packed >> 8) & 0xFF) * 60000 + int32_t((packed >> 16) & 0xFF) * 1000 +
                     int32_t((packed >> 24) & 0xFF) * 1000 / 74;
  return std::clamp(ms, 0, std::max(trackLengthMs, 0));
}

void CdShuffleTracks() {
  g_cd.random = 0;
  for (int i = 0; i < 256; ++i) g_cd.shuffle[i] = uint16_t(i + 1);
  for (int i = 0; i < 256; ++i) std::swap(g_cd.shuffle[i], g_cd.shuffle[NextRandom() % 256]);
  g_cd.cursor = 0;
}

const uint16_t* CdShuffleTable() { return g_cd.shuffle; }

int32_t CdNextShuffledTrack(int32_t count) {
  if (count <= 0) return 0;
  do {
    g_cd.cursor = (g_cd.cursor + 1) % 256;
    if (g_cd.cursor == g_cd.shuffleStart) CdShuffleTracks();
  } while (g_cd.shuffle[g_cd.cursor] > count);
  return g_cd.shuffle[g_cd.cursor];
}
