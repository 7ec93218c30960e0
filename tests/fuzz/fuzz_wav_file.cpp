// Reads arbitrary bytes as a WAV file: the RIFF walk with cues, labels and loops, the format
// set-up and the whole-file load through the converters. A load that succeeds gave at least one
// whole sample; one refused as damaged said what is wrong.
#include <cstddef>
#include <cstdint>

#include "sound/engine/files/sound_loaders.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 16)) return 0;
  SoundFile* f = SoundFileOpen(data, kSoundFileMemory, (uint32_t)size);
  std::vector<uint8_t> fmt;
  int64_t offset = 0;
  uint32_t length = 0;
  SoundCueList cues;
  SoundLoopPoints loop;
  ParseRiffWave(f, &fmt, &offset, &length, &cues, &loop);
  SoundFilesBeginLoad();
  SoundFilePcm pcm;
  const bool ok = DecodeWavFileToPcm(f, 0, &pcm);
  if (ok && (pcm.Samples() < 1 || pcm.frequency <= 0)) __builtin_trap();
  if (!ok && SoundFiles().last_error == 11 && SoundFiles().damage.empty()) __builtin_trap();
  SoundFileClose(f);
  return 0;
}
