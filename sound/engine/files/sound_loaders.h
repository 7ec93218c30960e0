#pragma once
// Format probing and whole-file loading of WAV and MPEG audio sources into 16-bit (or 8-bit)
// PCM, channels interleaved.
#include <cstdint>
#include <vector>

#include "sound/engine/files/riff_wave.h"
#include "sound/engine/files/sound_file.h"
#include "sound/engine/files/wav_codec.h"
#include "sound/engine/mpeg/mpeg_decoder.h"

// Sound mode bits read and set here.
constexpr uint32_t kSoundMode8Bits = 0x08, kSoundMode16Bits = 0x10, kSoundModeMono = 0x20,
                   kSoundModeStereo = 0x40, kSoundModeUnsigned = 0x80, kSoundModeSigned = 0x100,
                   kSoundModeMemory = 0x8000, kSoundModeRaw = 0x10000, kSoundModeExactMpeg = 0x20000;
constexpr uint32_t kSoundModeFormatBits = kSoundMode8Bits | kSoundMode16Bits | kSoundModeMono | kSoundModeStereo |
                                          kSoundModeUnsigned | kSoundModeSigned;

// What a whole-file loader hands to the sample that will hold it.
struct SoundFilePcm {
  uint32_t mode = 0;
  int32_t frequency = 0;
  std::vector<uint8_t> data;  // 8-bit signed or 16-bit signed little-endian, interleaved
  int32_t loop_start = 0, loop_end = 0;  // in samples
  bool loop_from_file = false;           // the "smpl" chunk gave the loop (loop mode normal)
  int32_t Samples() const {
    int bytes = (mode & kSoundMode16Bits ? 2 : 1) * (mode & kSoundModeStereo ? 2 : 1);
    return (int32_t)(data.size() / bytes);
  }
};

// WAV: parses the file and opens a converter when the data is not 8- or 16-bit PCM.
struct WavSource {
  uint32_t mode = 0;
  int32_t frequency = 0;
  uint32_t source_length = 0;     // bytes of the data chunk present
  uint32_t converted_length = 0;  // bytes of PCM they become
  WavCodec* codec = nullptr;      // null for plain PCM
  uint32_t block_align = 0;       // of the source
  int64_t data_offset = -1;
};
bool OpenWavFormat(SoundFile* file, WavSource* out, SoundLoopPoints* loop, SoundCueList* cues);
void CloseSampleAcm(WavSource* source);
bool DecodeWavFileToPcm(SoundFile* file, uint32_t mode, SoundFilePcm* out);

// MPEG: frame offsets of a counted file.
struct MpegFrameTable {
  uint32_t count = 0;
  std::vector<uint32_t> offsets;
};
struct MpegSource {
  uint32_t mode = 0;
  int32_t frequency = 0;
  uint32_t data_length = 0;       // bytes of MPEG data from the data offset
  uint32_t decoded_length = 0;    // PCM bytes (exact when counted, else estimated)
  MpegDecoder* decoder = nullptr; // owned: FreeSampleMpegDecoder
  uint32_t block_size = 0;        // read size of a stream
  int64_t data_offset = 0;
  uint32_t frame_output = 0;      // PCM bytes of one frame
  uint32_t length_ms = 0;
};
// Header search window from the data offset.
constexpr int kMpegSearchWindow = 256;
bool ProbeSoundFile(SoundFile* file, uint32_t mode, MpegSource* out, MpegFrameTable* frames, SoundCueList* cues);
uint32_t MpegCountFrames(SoundFile* file, uint32_t frame_output, MpegFrameTable* frames);
void FreeSampleMpegDecoder(MpegSource* source);
bool DecodeMpegFileToPcm(SoundFile* file, uint32_t mode, SoundFilePcm* out);
