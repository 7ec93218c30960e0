// Engine-wide decoder tables, built once.
#include <cmath>
#include <mutex>
#include <vector>

#include "sound/engine/mpeg/mpeg_huffman_data.h"
#include "sound/engine/mpeg/mpeg_internal.h"

namespace {

std::once_flag g_once;
std::vector<MpegHuffEntry> g_huff_storage[34];

// Synthesis window coefficients D[0..256] scaled by 65536, with the sign of 64..127 taken off
// (the prototype filter's shape); the rest follows by symmetry.
const int32_t kWindowHalf[257] = {
    0,      -1,     -1,     -1,     -1,     -1,     -1,     -2,     -2,     -2,     -2,     -3,     -3,
    -4,     -4,     -5,     -5,     -6,     -7,     -7,     -8,     -9,     -10,    -11,    -13,    -14,
    -16,    -17,    -19,    -21,    -24,    -26,    -29,    -31,    -35,    -38,    -41,    -45,    -49,
    -53,    -58,    -63,    -68,    -73,    -79,    -85,    -91,    -97,    -104,   -111,   -117,   -125,
    -132,   -139,   -147,   -154,   -161,   -169,   -176,   -183,   -190,   -196,   -202,   -208,   -213,
    -218,   -222,   -225,   -227,   -228,   -228,   -227,   -224,   -221,   -215,   -208,   -200,   -189,
    -177,   -163,   -146,   -127,   -106,   -83,    -57,    -29,    2,      36,     72,     111,    153,
    197,    244,    294,    347,    401,    459,    519,    581,    645,    711,    779,    848,    919,
    991,    1064,   1137,   1210,   1283,   1356,   1428,   1498,   1567,   1634,   1698,   1759,   1817,
    1870,   1919,   1962,   2001,   2032,   2057,   2075,   2085,   2087,   2080,   2063,   2037,   2000,
    1952,   1893,   1822,   1739,   1644,   1535,   1414,   1280,   1131,   970,    794,    605,    402,
    185,    -45,    -288,   -545,   -814,   -1095,  -1388,  -1692,  -2006,  -2330,  -2663,  -3004,  -3351,
    -3705,  -4063,  -4425,  -4788,  -5153,  -5517,  -5879,  -6237,  -6589,  -6935,  -7271,  -7597,  -7910,
    -8209,  -8491,  -8755,  -8998,  -9219,  -9416,  -9585,  -9727,  -9838,  -9916,  -9959,  -9966,  -9935,
    -9863,  -9750,  -9592,  -9389,  -9139,  -8840,  -8492,  -8092,  -7640,  -7134,  6574,   5959,   5288,
    4561,   3776,   2935,   2037,   1082,   70,     -998,   -2122,  -3300,  -4533,  -5818,  -7154,  -8540,
    -9975,  -11455, -12980, -14548, -16155, -17799, -19478, -21189, -22929, -24694, -26482, -28289, -30112,
    -31947, -33791, -35640, -37489, -39336, -41176, -43006, -44821, -46617, -48390, -50137, -51853, -53534,
    -55178, -56778, -58333, -59838, -61289, -62684, -64019, -65290, -66494, -67629, -68692, -69679, -70590,
    -71420, -72169, -72835, -73415, -73908, -74313, -74630, -74856, -74992, 75038};

void BuildLayer2() {
  MpegTables& t = g_mpeg_tables;
  for (int i = 0; i < 63; i++) t.l2_scale[i] = (float)std::pow(2.0, (3 - i) / 3.0);
  t.l2_scale[63] = 0;
  const int levels[17] = {3, 5, 7, 9, 15, 31, 63, 127, 255, 511, 1023, 2047, 4095, 8191, 16383, 32767, 65535};
  for (int q = 0; q < 17; q++) {
    MpegLayer2Quant& c = t.l2_quant[q];
    c.levels = levels[q];
    c.grouped = levels[q] == 3 || levels[q] == 5 || levels[q] == 9;
    c.bits = levels[q] == 3 ? 5 : levels[q] == 5 ? 7 : levels[q] == 9 ? 10 : (int)std::lround(std::log2(levels[q] + 1.0));
    c.step = (float)(2.0 / levels[q]);
  }
  auto q_of = [&](int lv) {
    for (int q = 0; q < 17; q++)
      if (levels[q] == lv) return q;
    return -1;
  };
  struct Range {
    int first, last, nbal;
    int lv[16];
  };
  auto fill = [&](MpegLayer2Table& tab, int limit, std::initializer_list<Range> ranges) {
    tab.subband_limit = limit;
    for (auto& row : tab.quant)
      for (auto& v : row) v = -1;
    for (const Range& r : ranges)
      for (int sb = r.first; sb <= r.last; sb++) {
        tab.nbal[sb] = (uint8_t)r.nbal;
        for (int a = 1; a < (1 << r.nbal); a++) tab.quant[sb][a] = (int8_t)q_of(r.lv[a]);
      }
  };
  const Range hi0 = {0, 2, 4, {0, 3, 7, 15, 31, 63, 127, 255, 511, 1023, 2047, 4095, 8191, 16383, 32767, 65535}};
  const Range hi1 = {3, 10, 4, {0, 3, 5, 7, 9, 15, 31, 63, 127, 255, 511, 1023, 2047, 4095, 8191, 65535}};
  const Range mid = {11, 22, 3, {0, 3, 5, 7, 9, 15, 31, 65535}};
  fill(t.l2_tables[0], 27, {hi0, hi1, mid, {23, 26, 2, {0, 3, 5, 65535}}});
  fill(t.l2_tables[1], 30, {hi0, hi1, mid, {23, 29, 2, {0, 3, 5, 65535}}});
  const Range low0 = {0, 1, 4, {0, 3, 5, 9, 15, 31, 63, 127, 255, 511, 1023, 2047, 4095, 8191, 16383, 32767}};
  fill(t.l2_tables[2], 8, {low0, {2, 7, 3, {0, 3, 5, 9, 15, 31, 63, 127}}});
  fill(t.l2_tables[3], 12, {low0, {2, 11, 3, {0, 3, 5, 9, 15, 31, 63, 127}}});
  fill(t.l2_tables[4], 30,
       {{0, 3, 4, {0, 3, 5, 7, 9, 15, 31, 63, 127, 255, 511, 1023, 2047, 4095, 8191, 16383}},
        {4, 10, 3, {0, 3, 5, 9, 15, 31, 63, 127}},
        {11, 29, 2, {0, 3, 5, 9}}});
}

void BuildHuffman(int slot, const MpegHuffmanSource& src, int count, MpegHuffTable& out) {
  std::vector<MpegHuffEntry>& e = g_huff_storage[slot];
  e.assign(1 << kHuffPrimaryBits, MpegHuffEntry{0, 0, 0});
  const int P = kHuffPrimaryBits;
  // Longest code below each primary prefix decides that prefix's subtable size.
  std::vector<int> longest(1 << P, 0);
  for (int i = 0; i < count; i++) {
    int len = src.lengths[i];
    if (len > P) {
      int prefix = src.codes[i] >> (len - P);
      longest[prefix] = std::max(longest[prefix], len - P);
    }
  }
  for (int p = 0; p < (1 << P); p++)
    if (longest[p]) {
      e[p].value = (uint16_t)e.size();
      e[p].sub_bits = (uint8_t)longest[p];
      e.resize(e.size() + (1u << longest[p]), MpegHuffEntry{0, 0, 0});
    }
  for (int i = 0; i < count; i++) {
    int len = src.lengths[i];
    uint32_t code = src.codes[i];
    uint16_t value = src.size ? (uint16_t)((i / src.size) << 4 | (i % src.size)) : (uint16_t)i;
    if (len <= P) {
      int first = code << (P - len), n = 1 << (P - len);
      for (int k = 0; k < n; k++) e[first + k] = MpegHuffEntry{value, (uint8_t)len, 0};
    } else {
      int prefix = code >> (len - P);
      int sb = e[prefix].sub_bits, rest = len - P;
      int low = code & ((1 << rest) - 1);
      int first = e[prefix].value + (low << (sb - rest)), n = 1 << (sb - rest);
      for (int k = 0; k < n; k++) e[first + k] = MpegHuffEntry{value, (uint8_t)rest, 0};
    }
  }
  out.entries = e.data();
  out.linbits = src.linbits;
}

void BuildLayer3() {
  MpegTables& t = g_mpeg_tables;
  for (int i = 0; i < 8207; i++) t.pow43[i] = (float)std::pow((double)i, 4.0 / 3.0);
  for (int i = 0; i < 512; i++) t.gain[i] = (float)std::pow(2.0, (i - kGainBias) / 4.0);
  const double c[8] = {-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037};
  for (int i = 0; i < 8; i++) {
    double s = std::sqrt(1.0 + c[i] * c[i]);
    t.cs[i] = (float)(1.0 / s);
    t.ca[i] = (float)(c[i] / s);
  }
  const double pi = M_PI;
  double window[4][36] = {};
  for (int i = 0; i < 36; i++) {
    double normal = std::sin(pi / 36 * (i + 0.5));
    window[0][i] = normal;
    window[1][i] = i < 18 ? normal : i < 24 ? 1.0 : i < 30 ? std::sin(pi / 12 * (i - 18 + 0.5)) : 0.0;
    window[3][i] = i < 6 ? 0.0 : i < 12 ? std::sin(pi / 12 * (i - 6 + 0.5)) : i < 18 ? 1.0 : normal;
  }
  for (int i = 0; i < 12; i++) t.short_window[i] = (float)std::sin(pi / 12 * (i + 0.5));
  // Output i of 36 is +-y[n] of the 18-point DCT-IV y[n] = sum_k x[k] cos(pi/18 (n+1/2)(k+1/2)):
  // y[i + 9] for i < 9, -y[26 - i] for i < 27, -y[i - 27] after.
  for (int type = 0; type < 4; type++)
    for (int k = 0; k < 18; k++)
      for (int i = 0; i < 40; i++) {
        double v = 0;
        if (i < 36) {
          const int n = i < 9 ? i + 9 : i < 27 ? 26 - i : i - 27;
          v = (i < 9 ? 1 : -1) * std::cos(pi / 18 * (n + 0.5) * (k + 0.5)) * window[type][i];
        }
        t.imdct_long[type][k][i] = (float)v;
      }
  for (int i = 0; i < 12; i++)
    for (int k = 0; k < 6; k++) t.imdct12[i][k] = (float)std::cos(pi / 24 * (2 * i + 1 + 6) * (2 * k + 1));
  for (int ms = 0; ms < 2; ms++) {
    double m = ms ? std::sqrt(2.0) : 1.0;
    for (int p = 0; p < 7; p++) {
      double kl, kr;
      if (p == 6) {
        kl = 1;
        kr = 0;
      } else {
        double r = std::tan(p * pi / 12);
        kl = r / (1 + r);
        kr = 1 / (1 + r);
      }
      t.is_ratio[ms][p][0] = (float)(kl * m);
      t.is_ratio[ms][p][1] = (float)(kr * m);
    }
    for (int s = 0; s < 2; s++) {
      double io = s ? std::pow(2.0, -0.5) : std::pow(2.0, -0.25);
      for (int p = 0; p < 32; p++) {
        double kl = 1, kr = 1;
        if (p & 1) kl = std::pow(io, (p + 1) / 2);
        else if (p) kr = std::pow(io, p / 2);
        t.is_lsf[ms][s][p][0] = (float)(kl * m);
        t.is_lsf[ms][s][p][1] = (float)(kr * m);
      }
    }
  }
  for (int sfc = 0; sfc < 512; sfc++) {
    MpegLsfScaleInfo& a = t.lsf_scale[0][sfc];
    if (sfc < 400) {
      a = {{(uint8_t)((sfc >> 4) / 5), (uint8_t)((sfc >> 4) % 5), (uint8_t)((sfc & 15) >> 2), (uint8_t)(sfc & 3)}, 0, 0};
    } else if (sfc < 500) {
      int s = sfc - 400;
      a = {{(uint8_t)((s >> 2) / 5), (uint8_t)((s >> 2) % 5), (uint8_t)(s & 3), 0}, 1, 0};
    } else {
      int s = sfc - 500;
      a = {{(uint8_t)(s / 3), (uint8_t)(s % 3), 0, 0}, 2, 1};
    }
    MpegLsfScaleInfo& b = t.lsf_scale[1][sfc];
    int isc = sfc >> 1;
    if (isc < 180) {
      b = {{(uint8_t)(isc / 36), (uint8_t)(isc % 36 / 6), (uint8_t)(isc % 36 % 6), 0}, 3, 0};
    } else if (isc < 244) {
      int s = isc - 180;
      b = {{(uint8_t)((s & 63) >> 4), (uint8_t)((s & 15) >> 2), (uint8_t)(s & 3), 0}, 4, 0};
    } else {
      int s = isc - 244;
      b = {{(uint8_t)(s / 3), (uint8_t)(s % 3), 0, 0}, 5, 0};
    }
  }
  for (int i = 0; i < 32; i++) {
    const MpegHuffmanSource& s = kMpegBigValueTables[i];
    if (s.codes) BuildHuffman(i, s, s.size * s.size, t.huff[i]);
    else t.huff[i] = MpegHuffTable{nullptr, 0};
  }
  BuildHuffman(32, kMpegCount1Tables[0], 16, t.count1[0]);
  BuildHuffman(33, kMpegCount1Tables[1], 16, t.count1[1]);
}

void BuildSynthesis(float scale) {
  MpegTables& t = g_mpeg_tables;
  for (int level = 0; level < 5; level++)
    for (int k = 0; k < (16 >> level); k++)
      t.dct_cos[level][k] = (float)(1.0 / (2.0 * std::cos(M_PI * (2 * k + 1) / (64 >> level))));
  for (int i = 0; i <= 256; i++) t.window[i] = (float)(kWindowHalf[i] / 65536.0 * scale * (i / 64 == 1 ? -1 : 1));
  // D[512 - i] = -D[i], except at multiples of 64 where the sign is kept.
  for (int i = 257; i < 512; i++) {
    int m = 512 - i;
    t.window[i] = (m % 64 == 0) ? t.window[m] : -t.window[m];
  }
  // A slot's 64 history values are v[i] = X[16 + i] (i < 16), 0 (i = 16), -X[48 - i] (i < 48),
  // -X[i - 48]; age a reads v[32 (a & 1) + j] for output j.
  for (int parity = 0; parity < 2; parity++)
    for (int j = 0; j < 32; j++) {
      const int i = 32 * parity + j;
      int row = 0;
      float sign = -1;
      if (i < 16) row = i + 16, sign = 1;
      else if (i == 16) sign = 0;
      else if (i < 48) row = 48 - i;
      else row = i - 48;
      t.synth_row[parity][j] = (uint8_t)row;
      for (int a = parity; a < 16; a += 2) t.synth_window[a][j] = sign * t.window[32 * a + j];
    }
}

void BuildAll() {
  BuildSynthesis(32768.0f);
  BuildLayer2();
  BuildLayer3();
}

}  // namespace

MpegTables g_mpeg_tables;

#if defined(VK_MPEG_AVX2)
static bool DetectAvx2() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}
const bool g_mpeg_avx2 = DetectAvx2();
#endif

void MpegDecoderInit() { std::call_once(g_once, BuildAll); }

const int16_t kMpegLongBands[9][23] = {
    {0, 4, 8, 12, 16, 20, 24, 30, 36, 44, 52, 62, 74, 90, 110, 134, 162, 196, 238, 288, 342, 418, 576},
    {0, 4, 8, 12, 16, 20, 24, 30, 36, 42, 50, 60, 72, 88, 106, 128, 156, 190, 230, 276, 330, 384, 576},
    {0, 4, 8, 12, 16, 20, 24, 30, 36, 44, 54, 66, 82, 102, 126, 156, 194, 240, 296, 364, 448, 550, 576},
    {0, 6, 12, 18, 24, 30, 36, 44, 54, 66, 80, 96, 116, 140, 168, 200, 238, 284, 336, 396, 464, 522, 576},
    {0, 6, 12, 18, 24, 30, 36, 44, 54, 66, 80, 96, 114, 136, 162, 194, 232, 278, 330, 394, 464, 540, 576},
    {0, 6, 12, 18, 24, 30, 36, 44, 54, 66, 80, 96, 116, 140, 168, 200, 238, 284, 336, 396, 464, 522, 576},
    {0, 6, 12, 18, 24, 30, 36, 44, 54, 66, 80, 96, 116, 140, 168, 200, 238, 284, 336, 396, 464, 522, 576},
    {0, 6, 12, 18, 24, 30, 36, 44, 54, 66, 80, 96, 116, 140, 168, 200, 238, 284, 336, 396, 464, 522, 576},
    {0, 12, 24, 36, 48, 60, 72, 88, 108, 132, 160, 192, 232, 280, 336, 400, 476, 566, 568, 570, 572, 574, 576},
};

const int16_t kMpegShortBands[9][14] = {
    {0, 4, 8, 12, 16, 22, 30, 40, 52, 66, 84, 106, 136, 192},
    {0, 4, 8, 12, 16, 22, 28, 38, 50, 64, 80, 100, 126, 192},
    {0, 4, 8, 12, 16, 22, 30, 42, 58, 78, 104, 138, 180, 192},
    {0, 4, 8, 12, 18, 24, 32, 42, 56, 74, 100, 132, 174, 192},
    {0, 4, 8, 12, 18, 26, 36, 48, 62, 80, 104, 136, 180, 192},
    {0, 4, 8, 12, 18, 26, 36, 48, 62, 80, 104, 134, 174, 192},
    {0, 4, 8, 12, 18, 26, 36, 48, 62, 80, 104, 134, 174, 192},
    {0, 4, 8, 12, 18, 26, 36, 48, 62, 80, 104, 134, 174, 192},
    {0, 8, 16, 24, 36, 52, 72, 96, 124, 160, 162, 164, 166, 192},
};

const uint8_t kMpegPretab[22] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 3, 3, 3, 2, 0};

// Scale-factor partitions of the low sampling frequencies: [partition row][long, short, mixed][4].
const uint8_t kMpegLsfPartitions[6][3][4] = {
    {{6, 5, 5, 5}, {9, 9, 9, 9}, {6, 9, 9, 9}},     {{6, 5, 7, 3}, {9, 9, 12, 6}, {6, 9, 12, 6}},
    {{11, 10, 0, 0}, {18, 18, 0, 0}, {15, 18, 0, 0}}, {{7, 7, 7, 0}, {12, 12, 12, 0}, {6, 15, 12, 0}},
    {{6, 6, 6, 3}, {12, 9, 9, 6}, {6, 12, 9, 6}},   {{8, 8, 5, 0}, {15, 12, 9, 0}, {6, 18, 9, 0}},
};
