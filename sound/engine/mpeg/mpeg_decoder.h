#pragma once
#include <cstddef>
#include <cstdint>

// MPEG audio layer II and III decoder (MPEG-1, MPEG-2 low sampling frequencies, MPEG 2.5)
// producing signed 16-bit PCM, channels interleaved, one frame per call.

// Largest frame body the header check accepts: layer II at 160 kbit/s and 8000 Hz.
constexpr int kMpegMaxBody = 144000 * 160 / 8000 + 1 - 4;
// Main data carried over from earlier frames for the layer III bit reservoir.
constexpr int kMpegCarry = 512;
// Room after the body so that bit reads running past it stay inside the buffer.
constexpr int kMpegSlack = 2304;
// Largest output of one frame in bytes (1152 samples, two channels).
constexpr int kMpegMaxFrameOutput = 1152 * 2 * 2;
// Synthesis input: per channel 32 subband rows of up to 36 time slots, padded to whole vectors.
constexpr int kMpegSlotStride = 40;
// Synthesis history: the transforms of the last 15 slots, then room for one call's slots.
constexpr int kMpegSynthPast = 15;
constexpr int kMpegSynthRow = kMpegSynthPast + kMpegSlotStride + 1;

struct MpegFrameHeader {
  int32_t channels;        // 1 or 2
  int32_t joint_bound;     // layer II: first subband coded jointly
  int32_t subband_limit;   // layer II: subbands of the allocation table
  int32_t lsf;             // 1 for MPEG-2 and MPEG 2.5
  int32_t mpeg25;
  int32_t layer;           // 2 or 3
  int32_t crc;             // a 16-bit check word follows the header
  int32_t bitrate_index;
  int32_t sampling_index;  // 0..8: 44100 48000 32000 22050 24000 16000 11025 12000 8000
  int32_t padding;
  int32_t extension;
  int32_t mode;            // 0 stereo, 1 joint stereo, 2 dual channel, 3 single channel
  int32_t mode_extension;
  int32_t copyright;
  int32_t original;
  int32_t emphasis;
  int32_t body_size;       // frame length - 4
};

// One decoding context. Zero-filled before use (MpegDecoderReset does it), then kept
// between frames for the reservoir, the hybrid filter's overlap and the synthesis history.
struct MpegDecoder {
  int32_t pending_size;   // body size of a header parsed for the next frame; 0 = none
  int32_t previous_size;  // body size of the last decoded frame; -1 = none
  MpegFrameHeader header;
  uint32_t header_word;
  int32_t layer2_table;   // allocation table chosen by the last layer II header
  // Bit-stream buffer: up to kMpegCarry bytes of earlier main data end at kMpegCarry,
  // the current frame's data follows.
  uint8_t bits[kMpegCarry + kMpegMaxBody + kMpegSlack];
  int32_t carried;        // valid bytes of earlier main data before kMpegCarry
  // Bit reader.
  const uint8_t* byte_ptr;
  int32_t bit_pos;
  // Polyphase synthesis history: per channel the 32-point transforms, one row per output
  // value, time running along the row; the last kMpegSynthPast slots are kept between calls.
  float synth[2][32][kMpegSynthRow];
  // Layer III hybrid filter: second halves of the last granule's transforms.
  float overlap[2][576];
  int32_t exact_length;   // decoded bytes of the whole file when counted, else 0
  int32_t locked_layer;   // layer of the first accepted header; 0 until then
};

// Builds the engine-wide tables (once; safe to call from several threads).
void MpegDecoderInit();

// Zero-fills the decoder and marks it as having no previous frame.
void MpegDecoderReset(MpegDecoder* dec);
// Clears what one stream left behind (reservoir, overlap, history) but keeps the locked layer.
void MpegDecoderRestart(MpegDecoder* dec);

// Checks 4 header bytes; fills the header fields and the pending frame size.
bool MpegParseHeader(MpegDecoder* dec, const uint8_t* header, int* frequency, int* channels, int* body_size);
// Decodes the frame at `frame` (header included, `length` bytes available) into `out`
// (room for kMpegMaxFrameOutput bytes). A frame longer than `length` is not decoded.
bool MpegDecodeFrame(MpegDecoder* dec, const uint8_t* frame, size_t length, int16_t* out, int* bytes_written);

// Bit reader over the current frame.
uint32_t MpegGetBits(MpegDecoder* dec, int n);
uint32_t MpegGetBitsFast(MpegDecoder* dec, int n);

bool MpegDecodeLayer2(MpegDecoder* dec, const MpegFrameHeader& h, int16_t* out, int* bytes_written);
bool MpegDecodeLayer3(MpegDecoder* dec, const MpegFrameHeader& h, const uint8_t* body, int16_t* out,
                      int* bytes_written);

// Runs the synthesis filter on `slots` (at most 36) time slots of 32 subband samples per channel,
// in[(ch * 32 + subband) * kMpegSlotStride + slot]; writes 32 samples per slot and channel,
// interleaved by `channels` (1 or 2), into out.
void MpegSynthesize(MpegDecoder* dec, const float* in, int slots, int channels, int16_t* out);
