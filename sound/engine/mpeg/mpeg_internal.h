#pragma once
// Tables and helpers shared by the decoder's files; not for use outside sound/engine/mpeg.
#include <cstdint>

#include "sound/engine/mpeg/mpeg_decoder.h"

// Huffman lookup: a primary table indexed by the next kHuffPrimaryBits bits; an entry either
// holds a value and its code length or points to a subtable for longer codes.
constexpr int kHuffPrimaryBits = 8;
struct MpegHuffEntry {
  uint16_t value;   // (x << 4 | y) or the count1 quadruple; subtable offset when sub_bits > 0
  uint8_t length;   // bits consumed (within this level)
  uint8_t sub_bits; // 0 for a leaf
};
struct MpegHuffTable {
  const MpegHuffEntry* entries;  // primary table, then the subtables
  int linbits;
};

struct MpegLayer2Quant {
  int bits;       // bits of one code (a grouped code holds three samples)
  int levels;     // 3, 5, 7, 9, 15, 31, ...
  bool grouped;
  float step;     // 2 / levels
};

struct MpegLayer2Table {
  int subband_limit;
  uint8_t nbal[32];
  int8_t quant[32][16];  // allocation value -> quantiser index, -1 for none
};

struct MpegLsfScaleInfo {
  uint8_t slen[4];
  uint8_t partition;  // row of the partition table (0..5)
  uint8_t preflag;
};

struct MpegTables {
  float window[512];        // synthesis window, output scale included
  float dct_cos[5][16];     // 1 / (2 cos(pi (2k+1) / (64 >> level)))
  // The window by age of the slot (0 newest) and output value, each with the sign of the
  // transform value it multiplies, which is taken from row synth_row[age & 1][output].
  float synth_window[16][32];
  uint8_t synth_row[2][32];
  // layer II
  float l2_scale[64];
  MpegLayer2Quant l2_quant[17];
  MpegLayer2Table l2_tables[5];  // 27, 30, 8, 12 subbands (MPEG-1), 30 (low frequencies)
  // layer III
  float pow43[8207];
  float gain[512];          // 2^(q / 4) for q = -448..63, index q + 448
  float cs[8], ca[8];
  float short_window[12];
  // Long blocks' inverse transform with the window of block types 0..3 (2 unused) taken in:
  // [type][input line][output of 36, rows padded to whole vectors].
  float imdct_long[4][18][40];
  float imdct12[12][6];     // 12-point inverse transform
  float is_ratio[2][7][2];  // MPEG-1 intensity (left, right) per position; [1] scaled by sqrt 2
  float is_lsf[2][2][32][2];// [ms][scale bit][position] (left, right)
  MpegLsfScaleInfo lsf_scale[2][512];  // [intensity right channel][scale-factor compression]
  MpegHuffTable huff[32];
  MpegHuffTable count1[2];
};

extern MpegTables g_mpeg_tables;
inline const MpegTables& MpegTab() { return g_mpeg_tables; }

constexpr int kGainBias = 448;

// The inner loops have a variant built for AVX2 with FMA, chosen once at run time where the processor
// has it (a plain call, so sanitizers and every loader handle it).
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define VK_MPEG_AVX2 __attribute__((target("avx2,fma")))
#define VK_MPEG_INLINE inline __attribute__((always_inline))
extern const bool g_mpeg_avx2;
#else
#define VK_MPEG_INLINE inline
#endif

extern const int16_t kMpegLongBands[9][23];
extern const int16_t kMpegShortBands[9][14];
extern const uint8_t kMpegPretab[22];
extern const uint8_t kMpegLsfPartitions[6][3][4];

// Fast bit reader over a zero-padded buffer; reads past `cap` give zeros.
struct MpegBits {
  const uint8_t* data;
  uint32_t pos;  // in bits
  uint32_t cap;  // bytes that may be loaded from (buffer size - 8)

  inline uint64_t Load(uint32_t byte) const {
    if (byte >= cap) return 0;
    const uint8_t* p = data + byte;
    return (uint64_t)p[0] << 56 | (uint64_t)p[1] << 48 | (uint64_t)p[2] << 40 | (uint64_t)p[3] << 32 |
           (uint64_t)p[4] << 24 | (uint64_t)p[5] << 16 | (uint64_t)p[6] << 8 | (uint64_t)p[7];
  }
  // The next 32 bits, most significant first, without consuming them.
  inline uint32_t Peek32() const { return (uint32_t)((Load(pos >> 3) << (pos & 7)) >> 32); }
  inline uint32_t Get(int n) {
    if (n == 0) return 0;
    uint32_t v = Peek32() >> (32 - n);
    pos += n;
    return v;
  }
  inline uint32_t Get1() { return Get(1); }
};
