#pragma once
// CD audio on the engine side. This system has no CD device: every entry point that needs the
// drive finds none and answers as for a missing drive; the play mode, the shuffle order and the
// time arithmetic are kept.
#include <cstdint>

enum CdPlayMode : int8_t { kCdNextTrack = 0, kCdStop = 1, kCdRepeat = 2, kCdRandom = 3 };

bool CdInit();
bool CdClose();
bool CdPlay(int32_t track);
bool CdStop();
bool CdSetPaused(bool paused);
void CdSetPlayMode(int8_t mode);
int8_t CdGetPlayMode();
int32_t CdGetVolume();
bool CdOpenDoor();
int32_t CdGetNumTracks();
int32_t CdGetTrackLength(int32_t track);
int32_t CdGetTrackTime();
// Milliseconds left of the current track that a play-end watcher would wait (0: none armed).
int32_t CdStartPlayWatch();
void CdReset();

// The arithmetic of the drive's replies. A position packs track, minutes, seconds and frames
// into bytes 0 to 3; a track length packs minutes and seconds into bytes 0 and 1.
int32_t CdLengthMs(uint32_t packedLength);
// Time into a track of the given length (a reply not above 512 counts as none: 0).
int32_t CdPositionMs(uint32_t packedPosition, int32_t trackLengthMs);
// The shuffle order: a permutation of 1..256, the same on every run.
void CdShuffleTracks();
const uint16_t* CdShuffleTable();
// The track random play takes after the current one on a disc of `count` tracks (0: none).
int32_t CdNextShuffledTrack(int32_t count);
