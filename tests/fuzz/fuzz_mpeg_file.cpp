// Reads arbitrary bytes as an MPEG audio file: the probe (tags, RIFF wrapping, header search,
// frame count) and the whole-file load. A load that succeeds gave at least one whole sample
// that a frame decoded; one refused as damaged said what is wrong.
#include <cstddef>
#include <cstdint>

#include "sound/engine/files/sound_loaders.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 16)) return 0;
  SoundFile* f = SoundFileOpen(data, kSoundFileMemory, (uint32_t)size);
  MpegSource src;
  MpegFrameTable frames;
  if (ProbeSoundFile(f, kSoundModeExactMpeg, &src, &frames, nullptr)) {
    if (src.frequency <= 0 || src.frame_output == 0) __builtin_trap();
    FreeSampleMpegDecoder(&src);
  }
  SoundFilesBeginLoad();
  SoundFilePcm pcm;
  const bool ok = DecodeMpegFileToPcm(f, 0, &pcm);
  if (ok && (pcm.Samples() < 1 || pcm.frequency <= 0)) __builtin_trap();
  if (!ok && SoundFiles().last_error == 11 && SoundFiles().damage.empty()) __builtin_trap();
  SoundFileClose(f);
  return 0;
}
