// Frame headers, frame decoding and the bit reader.
#include <cstring>

#include "sound/engine/mpeg/mpeg_decoder.h"
#include "sound/engine/mpeg/mpeg_internal.h"

namespace {

const int kFrequencies[9] = {44100, 48000, 32000, 22050, 24000, 16000, 11025, 12000, 8000};

// kbit/s by [lsf][layer II, layer III][bitrate index]
const int kBitrates[2][2][16] = {
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
    {{0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}},
};

// Layer II allocation table: low frequencies use their own; MPEG-1 picks by bitrate per channel.
int Layer2Table(const MpegFrameHeader& h) {
  if (h.lsf) return 4;
  int per_channel = kBitrates[0][0][h.bitrate_index] / h.channels;
  if (per_channel < 56) return h.sampling_index == 2 ? 3 : 2;
  if (per_channel <= 80) return 0;
  return h.sampling_index == 1 ? 0 : 1;
}

}  // namespace

void MpegDecoderReset(MpegDecoder* dec) {
  std::memset(dec, 0, sizeof(*dec));
  dec->previous_size = -1;
}

void MpegDecoderRestart(MpegDecoder* dec) {
  int locked = dec->locked_layer, exact = dec->exact_length;
  MpegDecoderReset(dec);
  dec->locked_layer = locked;
  dec->exact_length = exact;
}

bool MpegParseHeader(MpegDecoder* dec, const uint8_t* b, int* frequency, int* channels, int* body_size) {
  MpegDecoderInit();
  uint32_t h = (uint32_t)b[0] << 24 | (uint32_t)b[1] << 16 | (uint32_t)b[2] << 8 | b[3];
  dec->header_word = h;
  if ((h >> 24) != 0xFF) return false;
  MpegFrameHeader f{};
  if (h & (1u << 20)) {
    f.lsf = (h & (1u << 19)) ? 0 : 1;
    f.mpeg25 = 0;
  } else {
    f.lsf = 1;
    f.mpeg25 = 1;
  }
  f.layer = 4 - (int)((h >> 17) & 3);
  if (f.layer != 2 && f.layer != 3) return false;
  if (dec->locked_layer && dec->locked_layer != f.layer) return false;
  int index = (h >> 10) & 3;
  if (index == 3) return false;
  f.sampling_index = f.mpeg25 ? index + 6 : index + 3 * f.lsf;
  f.crc = (h & (1u << 16)) ? 0 : 1;
  f.bitrate_index = (h >> 12) & 15;
  f.padding = (h >> 9) & 1;
  f.extension = (h >> 8) & 1;
  f.mode = (h >> 6) & 3;
  f.mode_extension = (h >> 4) & 3;
  f.copyright = (h >> 3) & 1;
  f.original = (h >> 2) & 1;
  f.emphasis = h & 3;
  f.channels = f.mode == 3 ? 1 : 2;
  if (f.bitrate_index == 0) return false;  // free format
  int freq = kFrequencies[f.sampling_index];
  int table = 0;
  if (f.layer == 2) {
    table = f.bitrate_index == 15 ? 0 : Layer2Table(f);
    f.subband_limit = MpegTab().l2_tables[table].subband_limit;
    f.joint_bound = f.mode == 1 ? f.mode_extension * 4 + 4 : f.subband_limit;
    if (f.joint_bound > f.subband_limit) f.joint_bound = f.subband_limit;
    f.body_size = kBitrates[f.lsf][0][f.bitrate_index] * 144000 / freq + f.padding - 4;
  } else {
    f.body_size = kBitrates[f.lsf][1][f.bitrate_index] * 144000 / (freq << f.lsf) + f.padding - 4;
  }
  if (f.body_size < 16) return false;  // also bitrate index 15, whose rate is 0
  dec->header = f;
  dec->layer2_table = table;
  dec->pending_size = f.body_size;
  if (frequency) *frequency = freq;
  if (channels) *channels = f.channels;
  if (body_size) *body_size = f.body_size;
  return true;
}

bool MpegDecodeFrame(MpegDecoder* dec, const uint8_t* frame, size_t length, int16_t* out, int* bytes_written) {
  if (bytes_written) *bytes_written = 0;
  if (length < 4) return false;
  if (dec->pending_size == 0 && !MpegParseHeader(dec, frame, nullptr, nullptr, nullptr)) return false;
  const MpegFrameHeader h = dec->header;
  if ((size_t)h.body_size + 4 > length) {
    dec->pending_size = 0;
    return false;
  }
  int written = 0;
  const uint8_t* body = frame + 4;
  bool ok;
  if (h.layer == 2) {
    std::memcpy(dec->bits + kMpegCarry, body, h.body_size);
    std::memset(dec->bits + kMpegCarry + h.body_size, 0, 8);
    dec->byte_ptr = dec->bits + kMpegCarry;
    dec->bit_pos = 0;
    if (h.crc) MpegGetBits(dec, 16);  // the check word is not verified
    ok = MpegDecodeLayer2(dec, h, out, &written);
  } else {
    ok = MpegDecodeLayer3(dec, h, body, out, &written);
  }
  if (!dec->locked_layer) dec->locked_layer = h.layer;
  dec->previous_size = h.body_size;
  dec->pending_size = 0;
  if (bytes_written) *bytes_written = written;
  (void)ok;  // a frame that stopped part-way still counts as decoded
  return true;
}

uint32_t MpegGetBits(MpegDecoder* dec, int n) {
  if (n == 0) return 0;
  return MpegGetBitsFast(dec, n);
}

uint32_t MpegGetBitsFast(MpegDecoder* dec, int n) {
  const uint8_t* p = dec->byte_ptr;
  if (p < dec->bits || p + 3 > dec->bits + sizeof(dec->bits)) return 0;  // past the buffer: silence
  uint32_t window = (uint32_t)p[0] << 16 | (uint32_t)p[1] << 8 | p[2];
  uint32_t v = ((window << dec->bit_pos) & 0xFFFFFF) >> (24 - n);
  int pos = dec->bit_pos + n;
  dec->byte_ptr += pos >> 3;
  dec->bit_pos = pos & 7;
  return v;
}
