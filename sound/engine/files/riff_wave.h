#pragma once
// The RIFF chunk walk of WAV files: format block, data chunk, cues with their labels, loops.
#include <cstdint>
#include <vector>

#include "sound/engine/files/sound_file.h"

struct SoundCue {
  uint32_t offset;  // in samples
  char label[256];
};
struct SoundCueList {
  int32_t count = 0;
  std::vector<SoundCue> entries;
};
struct SoundLoopPoints {
  int32_t start = 0, end = 0;
};

// The standard wave format header at the start of a format block.
struct WaveFormatInfo {
  uint16_t tag, channels;
  uint32_t rate, bytes_per_second;
  uint16_t block_align, bits, extra_size;
};
constexpr uint16_t kWaveFormatPcm = 1, kWaveFormatMsAdpcm = 2, kWaveFormatFloat = 3, kWaveFormatALaw = 6,
                   kWaveFormatMuLaw = 7, kWaveFormatImaAdpcm = 0x11, kWaveFormatExtensible = 0xFFFE;
WaveFormatInfo WaveFormatFrom(const std::vector<uint8_t>& block);

inline uint16_t ReadLe16(const uint8_t* p) { return (uint16_t)(p[0] | p[1] << 8); }
inline uint32_t ReadLe32(const uint8_t* p) {
  return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

// Walks the chunks of a RIFF or RF64 file (whose "ds64" chunk gives the sizes too large for
// 32 bits). `format` (when given) receives the "fmt " chunk, at least 18 bytes.
// Sizes are checked against their chunk and the file; a data chunk running past the end of
// the file is cut to the bytes present, and one whose size a streaming writer never filled in
// (0 past the RIFF's end, or all bits set) runs to the end of the file. Fails (error 10) for a
// file that is not RIFF, for a RIFF of another form without a format chunk when one was asked
// for, and for MIDI in a RIFF wrapper (saying so). When the format is asked for, a WAVE file
// without a format chunk, with one shorter than its fields or without a data chunk is damage
// (error 11, saying which); else a missing data chunk fails without an error. A walk that
// fails leaves `format` empty.
bool ParseRiffWave(SoundFile* file, std::vector<uint8_t>* format, int64_t* data_offset, uint32_t* data_length,
                   SoundCueList* cues, SoundLoopPoints* loop);
