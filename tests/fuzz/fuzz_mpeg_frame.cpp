// Feeds arbitrary bytes to one decoder as a run of frames, with no search and no checks of
// its own, so every header the decoder accepts reaches layer II or layer III decoding.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "sound/engine/mpeg/mpeg_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::unique_ptr<MpegDecoder> dec(new MpegDecoder);
  MpegDecoderReset(dec.get());
  int16_t out[kMpegMaxFrameOutput / 2];
  size_t pos = 0;
  while (pos + 4 <= size) {
    int body = 0;
    if (!MpegParseHeader(dec.get(), data + pos, nullptr, nullptr, &body)) {
      pos++;
      continue;
    }
    int bytes = 0;
    MpegDecodeFrame(dec.get(), data + pos, size - pos, out, &bytes);
    pos += 4;  // overlapping frames give the reservoir and the history odd states too
  }
  return 0;
}
