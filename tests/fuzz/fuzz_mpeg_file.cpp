// Reads arbitrary bytes as an MPEG audio file: the probe (tags, RIFF wrapping, header search,
// frame count) and the whole-file load.
#include <cstddef>
#include <cstdint>

#include "sound/engine/files/sound_loaders.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 16)) return 0;
  SoundFile* f = SoundFileOpen(data, kSoundFileMemory, (uint32_t)size);
  MpegSource src;
  MpegFrameTable frames;
  if (ProbeSoundFile(f, kSoundModeExactMpeg, &src, &frames, nullptr)) FreeSampleMpegDecoder(&src);
  SoundFilePcm pcm;
  DecodeMpegFileToPcm(f, 0, &pcm);
  SoundFileClose(f);
  return 0;
}
