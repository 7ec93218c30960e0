// Reads arbitrary bytes as a stream source held in memory and plays a few blocks of it on the
// manual-clock output: the stream readers' WAV, converter and MPEG paths, positions and loops.
// A stream that opens has data to read.
#include <cstddef>
#include <cstdint>

#include "sound/engine/drivers/driver_manual.h"
#include "sound/engine/sound_engine.h"
#include "sound/engine/streams/streams.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool started = [] {
    ManualDriverInstall(true);
    return SoundInit(22050, 4, 0);
  }();
  if (!started || size < 2 || size > (1u << 16)) return 0;
  const uint32_t mode = (data[0] & 1 ? kSoundLoopNormal : 0) | (data[0] & 2 ? kSoundMpegAccurate : 0);
  SoundStream* s = StreamOpen(data + 1, mode | kSoundMemory, (int32_t)(size - 1));
  if (!s) return 0;
  if (StreamGetLength(s) <= 0) __builtin_trap();
  if (data[0] & 4) StreamSetPosition(s, (uint32_t)(size / 3));
  if (data[0] & 8) StreamSetTime(s, 50);
  if (StreamPlay(-1, s) >= 0)
    for (int i = 0; i < 12; i++) ManualDriverAdvance(551);
  StreamClose(s);
  ManualDriverClearOutput();
  return 0;
}
