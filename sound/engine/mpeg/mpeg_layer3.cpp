// Layer III: side information, bit reservoir, scale factors, Huffman decoding and
// requantisation, stereo processing, alias reduction and the hybrid filter bank.
#include <algorithm>
#include <cstring>

#include "sound/engine/mpeg/mpeg_decoder.h"
#include "sound/engine/mpeg/mpeg_internal.h"

namespace {

struct Granule {
  int part2_3_length, big_values, global_gain, scalefac_compress;
  int window_switching, block_type, mixed;
  int table_select[3], subblock_gain[3];
  int region1_start, region2_start;  // in lines
  int preflag, scalefac_scale, count1_table;
};

struct SideInfo {
  int main_data_begin;
  int scfsi[2][4];
  Granule gr[2][2];
};

struct ScaleFactors {
  uint8_t l[22];
  uint8_t s[13][3];
  uint8_t is_max_l[22];  // low frequencies: the illegal intensity position per band
  uint8_t is_max_s[13];
};

const uint8_t kSlen[2][16] = {{0, 0, 0, 0, 3, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4},
                              {0, 1, 2, 3, 0, 1, 2, 3, 1, 2, 3, 1, 2, 3, 2, 3}};

bool ShortBlock(const Granule& g) { return g.window_switching && g.block_type == 2; }

// Reads the side information; false when it cannot be decoded.
bool ReadSideInfo(MpegBits& b, const MpegFrameHeader& h, SideInfo& si) {
  const int nch = h.channels, ngr = h.lsf ? 1 : 2;
  const int16_t* bands = kMpegLongBands[h.sampling_index];
  if (h.lsf) {
    si.main_data_begin = b.Get(8);
    b.Get(nch == 1 ? 1 : 2);
  } else {
    si.main_data_begin = b.Get(9);
    b.Get(nch == 1 ? 5 : 3);
    for (int ch = 0; ch < nch; ch++)
      for (int k = 0; k < 4; k++) si.scfsi[ch][k] = b.Get1();
  }
  bool ok = true;
  for (int gr = 0; gr < ngr; gr++)
    for (int ch = 0; ch < nch; ch++) {
      Granule& g = si.gr[gr][ch];
      g.part2_3_length = b.Get(12);
      g.big_values = b.Get(9);
      g.global_gain = b.Get(8);
      g.scalefac_compress = b.Get(h.lsf ? 9 : 4);
      g.window_switching = b.Get1();
      if (g.window_switching) {
        g.block_type = b.Get(2);
        g.mixed = b.Get1();
        for (int i = 0; i < 2; i++) g.table_select[i] = b.Get(5);
        g.table_select[2] = 0;
        for (int i = 0; i < 3; i++) g.subblock_gain[i] = b.Get(3);
        // Region 1 starts at long band 8 (short band 3 of each window for short blocks).
        g.region1_start = g.block_type == 2 && !g.mixed ? kMpegShortBands[h.sampling_index][3] * 3 : bands[8];
        g.region2_start = 576;
        if (g.block_type == 0) ok = false;
      } else {
        g.block_type = 0;
        g.mixed = 0;
        for (int i = 0; i < 3; i++) g.table_select[i] = b.Get(5);
        for (int i = 0; i < 3; i++) g.subblock_gain[i] = 0;
        int r0 = b.Get(4), r1 = b.Get(3);
        g.region1_start = bands[std::min(r0 + 1, 22)];
        g.region2_start = bands[std::min(r0 + r1 + 2, 22)];
      }
      g.preflag = h.lsf ? 0 : b.Get1();
      g.scalefac_scale = b.Get1();
      g.count1_table = b.Get1();
      if (g.big_values > 288) ok = false;
      for (int i = 0; i < 3; i++)
        if (g.table_select[i] == 4 || g.table_select[i] == 14) ok = false;
    }
  return ok;
}

void ReadScaleFactorsMpeg1(MpegBits& b, const Granule& g, const int* scfsi, int gr, ScaleFactors& sf) {
  const int slen1 = kSlen[0][g.scalefac_compress], slen2 = kSlen[1][g.scalefac_compress];
  if (ShortBlock(g)) {
    int sfb = 0;
    if (g.mixed) {
      for (; sfb < 8; sfb++) sf.l[sfb] = b.Get(slen1);
      sfb = 3;
    }
    for (; sfb < 6; sfb++)
      for (int w = 0; w < 3; w++) sf.s[sfb][w] = b.Get(slen1);
    for (; sfb < 12; sfb++)
      for (int w = 0; w < 3; w++) sf.s[sfb][w] = b.Get(slen2);
    for (int w = 0; w < 3; w++) sf.s[12][w] = 0;
    return;
  }
  static const int kGroups[5] = {0, 6, 11, 16, 21};
  for (int k = 0; k < 4; k++) {
    if (gr == 1 && scfsi[k]) continue;  // kept from the first granule
    for (int sfb = kGroups[k]; sfb < kGroups[k + 1]; sfb++) sf.l[sfb] = b.Get(k < 2 ? slen1 : slen2);
  }
  sf.l[21] = 0;
}

void ReadScaleFactorsLsf(MpegBits& b, Granule& g, bool intensity_right, ScaleFactors& sf) {
  const MpegLsfScaleInfo& info = MpegTab().lsf_scale[intensity_right ? 1 : 0][g.scalefac_compress];
  g.preflag = info.preflag;
  const int kind = ShortBlock(g) ? (g.mixed ? 2 : 1) : 0;
  const uint8_t* counts = kMpegLsfPartitions[info.partition][kind];
  std::memset(&sf, 0, sizeof(sf));
  int v = 0;
  for (int part = 0; part < 4; part++) {
    const int len = info.slen[part];
    const uint8_t max = (uint8_t)((1 << len) - 1);
    for (int n = 0; n < counts[part]; n++, v++) {
      const uint8_t value = (uint8_t)b.Get(len);
      if (kind == 0) {
        sf.l[v] = value;
        sf.is_max_l[v] = max;
      } else if (kind == 2 && v < 6) {
        sf.l[v] = value;
        sf.is_max_l[v] = max;
      } else {
        const int k = kind == 2 ? v - 6 : v;
        const int sfb = (kind == 2 ? 3 : 0) + k / 3;
        sf.s[sfb][k % 3] = value;
        sf.is_max_s[sfb] = max;
      }
    }
  }
  // The last band has no scale factor and takes the limit of the band before it.
  sf.is_max_l[21] = sf.is_max_l[20];
  sf.is_max_s[12] = sf.is_max_s[11];
}

// Decodes the Huffman-coded values of one granule; returns the count of lines that may hold
// non-zero values, or -1 when the big values run past the granule's bits.
int DecodeHuffman(MpegBits& b, const Granule& g, uint32_t end, int* is) {
  const MpegTables& t = MpegTab();
  const int lines = g.big_values * 2;
  const int r1 = std::min(g.region1_start, lines), r2 = std::min(g.region2_start, lines);
  int i = 0;
  for (int region = 0; region < 3; region++) {
    const int stop = region == 0 ? r1 : region == 1 ? r2 : lines;
    const MpegHuffTable& tab = t.huff[g.table_select[region]];
    if (!tab.entries) {
      for (; i < stop; i++) is[i] = 0;
      continue;
    }
    const int linbits = tab.linbits;
    for (; i < stop; i += 2) {
      uint32_t bits = b.Peek32();
      MpegHuffEntry e = tab.entries[bits >> (32 - kHuffPrimaryBits)];
      if (e.sub_bits) {
        e = tab.entries[e.value + ((bits << kHuffPrimaryBits) >> (32 - e.sub_bits))];
        b.pos += kHuffPrimaryBits;
      }
      b.pos += e.length;
      int x = e.value >> 4, y = e.value & 15;
      if (x) {
        if (x == 15 && linbits) x += b.Get(linbits);
        if (b.Get1()) x = -x;
      }
      if (y) {
        if (y == 15 && linbits) y += b.Get(linbits);
        if (b.Get1()) y = -y;
      }
      is[i] = x;
      is[i + 1] = y;
    }
    i = stop;
  }
  if (b.pos > end) return -1;
  const MpegHuffEntry* quad = t.count1[g.count1_table].entries;
  while (i + 4 <= 576 && b.pos < end) {
    const uint32_t start = b.pos;
    MpegHuffEntry e = quad[b.Peek32() >> (32 - kHuffPrimaryBits)];
    b.pos += e.length;
    int v[4];
    for (int k = 0; k < 4; k++) {
      v[k] = (e.value >> (3 - k)) & 1;
      if (v[k] && b.Get1()) v[k] = -1;
    }
    if (b.pos > end) {  // a quadruple cut off by the end of the granule is dropped
      b.pos = start;
      break;
    }
    for (int k = 0; k < 4; k++) is[i + k] = v[k];
    i += 4;
  }
  for (int k = i; k < 576; k++) is[k] = 0;
  return i;
}

inline int ShortIndex(int f, int w) { return (f / 6) * 18 + w * 6 + f % 6; }

// sign(v) |v|^(4/3) gain, without a branch on the sign.
inline float Requant(int v, float gain) {
  const float m = MpegTab().pow43[v < 0 ? -v : v] * gain;
  uint32_t bits;
  std::memcpy(&bits, &m, 4);
  bits |= (uint32_t)v & 0x80000000u;
  float r;
  std::memcpy(&r, &bits, 4);
  return r;
}

// Requantises into xr, short blocks laid out per subband as three windows of six lines.
void Requantise(const MpegFrameHeader& h, const Granule& g, const ScaleFactors& sf, bool ms, const int* is,
                int count, float* xr) {
  const float* gain = MpegTab().gain;
  const int16_t* lb = kMpegLongBands[h.sampling_index];
  const int16_t* sb = kMpegShortBands[h.sampling_index];
  const int base = g.global_gain - 210 + kGainBias - (ms ? 2 : 0);
  const int shift = g.scalefac_scale + 1;
  std::memset(xr, 0, 576 * sizeof(float));
  int p = 0;
  int long_bands = 22, first_short = 13;
  if (ShortBlock(g)) {
    long_bands = g.mixed ? (h.lsf ? 6 : 8) : 0;
    first_short = g.mixed ? 3 : 0;
  }
  for (int sfb = 0; sfb < long_bands && p < count; sfb++) {
    const int pre = g.preflag ? kMpegPretab[sfb] : 0;
    const float f = gain[std::max(0, base - ((sf.l[sfb] + pre) << shift))];
    const int stop = std::min((int)lb[sfb + 1], count);
    for (; p < stop; p++) xr[p] = Requant(is[p], f);
  }
  if (long_bands == 22) return;
  for (int sfb = first_short; sfb < 13 && p < count; sfb++) {
    const int width = sb[sfb + 1] - sb[sfb];
    for (int w = 0; w < 3 && p < count; w++) {
      const float f = gain[std::max(0, base - 8 * g.subblock_gain[w] - (sf.s[sfb][w] << shift))];
      for (int j = 0; j < width && p < count; j++, p++)
        if (is[p]) xr[ShortIndex(sb[sfb] + j, w)] = Requant(is[p], f);
    }
  }
}

void ApplyMidSide(float* l, float* r, int count) {
  for (int i = 0; i < count; i++) {
    const float m = l[i], s = r[i];
    l[i] = m + s;
    r[i] = m - s;
  }
}

// Intensity stereo over the bands above the right channel's last non-zero band.
// `rz` is the right channel before mid/side processing; its zeros mark the intensity bands.
void ApplyIntensity(const MpegFrameHeader& h, const Granule& g, const ScaleFactors& sf, bool ms, float* l,
                    float* r, const float* rz) {
  const MpegTables& t = MpegTab();
  const int16_t* lb = kMpegLongBands[h.sampling_index];
  const int16_t* sbw = kMpegShortBands[h.sampling_index];
  const int scale_bit = g.scalefac_compress & 1;
  auto ratio = [&](int pos, int max, float& kl, float& kr) {
    if (h.lsf) {
      if (pos >= max) return false;
      kl = t.is_lsf[ms][scale_bit][pos][0];
      kr = t.is_lsf[ms][scale_bit][pos][1];
    } else {
      if (pos >= 7) return false;
      kl = t.is_ratio[ms][pos][0];
      kr = t.is_ratio[ms][pos][1];
    }
    return true;
  };
  auto long_bands = [&](int first, int last) {
    int top = -1;  // highest band of the right channel with a value
    for (int sfb = first; sfb < last; sfb++)
      for (int i = lb[sfb]; i < lb[sfb + 1]; i++)
        if (rz[i] != 0.0f) top = sfb;
    for (int sfb = std::max(top + 1, first); sfb < last; sfb++) {
      const int src = sfb == 21 ? 20 : sfb;
      float kl, kr;
      if (!ratio(sf.l[src], h.lsf ? sf.is_max_l[src] : 7, kl, kr)) continue;
      for (int i = lb[sfb]; i < lb[sfb + 1]; i++) {
        const float v = l[i];
        l[i] = v * kl;
        r[i] = v * kr;
      }
    }
  };
  if (!ShortBlock(g)) {
    long_bands(0, 22);
    return;
  }
  const int first = g.mixed ? 3 : 0;
  bool short_values = false;
  for (int w = 0; w < 3; w++) {
    int top = first - 1;
    for (int sfb = first; sfb < 13; sfb++)
      for (int f = sbw[sfb]; f < sbw[sfb + 1]; f++)
        if (rz[ShortIndex(f, w)] != 0.0f) top = sfb;
    if (top >= first) short_values = true;
    for (int sfb = top + 1; sfb < 13; sfb++) {
      const int src = sfb == 12 ? 11 : sfb;
      float kl, kr;
      if (!ratio(sf.s[src][w], h.lsf ? sf.is_max_s[src] : 7, kl, kr)) continue;
      for (int f = sbw[sfb]; f < sbw[sfb + 1]; f++) {
        const int i = ShortIndex(f, w);
        const float v = l[i];
        l[i] = v * kl;
        r[i] = v * kr;
      }
    }
  }
  if (g.mixed && !short_values) long_bands(0, h.lsf ? 6 : 8);
}

void AliasReduce(const Granule& g, float* xr, int subbands) {
  const MpegTables& t = MpegTab();
  int limit = subbands - 1;
  if (ShortBlock(g)) {
    if (!g.mixed) return;
    limit = 1;
  }
  limit = std::min(limit, 31);
  for (int sb = 0; sb < limit; sb++) {
    float* a = xr + sb * 18 + 17;
    float* b = xr + (sb + 1) * 18;
    for (int i = 0; i < 8; i++) {
      const float lo = a[-i], hi = b[i];
      a[-i] = lo * t.cs[i] - hi * t.ca[i];
      b[i] = hi * t.cs[i] + lo * t.ca[i];
    }
  }
}

// Eight lanes where the processor has the wide vectors, four otherwise.
typedef float Lanes8 __attribute__((vector_size(8 * sizeof(float))));
typedef float Lanes4 __attribute__((vector_size(4 * sizeof(float))));

// Hybrid filter bank of one channel: 18 slots per subband into out[subband * kMpegSlotStride + slot].
template <typename Lanes>
VK_MPEG_INLINE void HybridBody(const Granule& g, int long_subbands, const float* xr, float* overlap, int subbands,
                               float* out) {
  const MpegTables& t = MpegTab();
  const float(*transform)[40] = t.imdct_long[ShortBlock(g) ? 0 : g.block_type];
  for (int sb = 0; sb < 32; sb++) {
    float* ov = overlap + sb * 18;
    float* o = out + sb * kMpegSlotStride;
    alignas(32) float res[40];
    if (sb >= subbands) {
      for (int i = 0; i < 18; i++) {
        o[i] = ov[i];
        ov[i] = 0;
      }
    } else {
      const float* x = xr + sb * 18;
      if (!ShortBlock(g) || sb < long_subbands) {
        constexpr int kLanes = sizeof(Lanes) / sizeof(float);
        Lanes acc[40 / kLanes] = {}, row;
        for (int k = 0; k < 18; k++)
          for (int r = 0; r < 40 / kLanes; r++) {
            std::memcpy(&row, transform[k] + kLanes * r, sizeof(row));
            acc[r] += x[k] * row;
          }
        std::memcpy(res, acc, sizeof(acc));
      } else {
        for (int i = 0; i < 36; i++) res[i] = 0;
        for (int win = 0; win < 3; win++) {
          const float* X = x + win * 6;
          for (int i = 0; i < 12; i++) {
            float s = 0;
            for (int k = 0; k < 6; k++) s += X[k] * t.imdct12[i][k];
            res[6 + 6 * win + i] += s * t.short_window[i];
          }
        }
      }
      for (int i = 0; i < 18; i++) {
        o[i] = res[i] + ov[i];
        ov[i] = res[i + 18];
      }
    }
    if (sb & 1)
      for (int i = 1; i < 18; i += 2) o[i] = -o[i];
  }
}
void HybridPlain(const Granule& g, int long_subbands, const float* xr, float* overlap, int subbands, float* out) {
  HybridBody<Lanes4>(g, long_subbands, xr, overlap, subbands, out);
}
#if defined(VK_MPEG_AVX2)
VK_MPEG_AVX2 void HybridAvx2(const Granule& g, int long_subbands, const float* xr, float* overlap, int subbands,
                             float* out) {
  HybridBody<Lanes8>(g, long_subbands, xr, overlap, subbands, out);
}
#endif
void Hybrid(const Granule& g, int long_subbands, const float* xr, float* overlap, int subbands, float* out) {
#if defined(VK_MPEG_AVX2)
  if (g_mpeg_avx2) return HybridAvx2(g, long_subbands, xr, overlap, subbands, out);
#endif
  HybridPlain(g, long_subbands, xr, overlap, subbands, out);
}

}  // namespace

bool MpegDecodeLayer3(MpegDecoder* dec, const MpegFrameHeader& h, const uint8_t* body, int16_t* out,
                      int* bytes_written) {
  *bytes_written = 0;
  const int nch = h.channels, ngr = h.lsf ? 1 : 2;
  const int crc = h.crc ? 2 : 0;
  const int side = h.lsf ? (nch == 1 ? 9 : 17) : (nch == 1 ? 17 : 32);
  if (crc + side > h.body_size) return false;
  uint8_t side_bytes[48] = {};
  std::memcpy(side_bytes, body + crc, side);
  MpegBits sb{side_bytes, 0, sizeof(side_bytes) - 8};
  SideInfo si{};
  if (!ReadSideInfo(sb, h, si)) return false;  // refused: nothing written

  // Bit reservoir: this frame's main data follows the carried bytes of earlier frames.
  const int main_len = h.body_size - crc - side;
  std::memcpy(dec->bits + kMpegCarry, body + crc + side, main_len);
  std::memset(dec->bits + kMpegCarry + main_len, 0, 8);
  const bool have_data = si.main_data_begin <= dec->carried;
  const int start = kMpegCarry - si.main_data_begin;
  const int available = (main_len + si.main_data_begin) * 8;
  int total_bits = 0;
  for (int gr = 0; gr < ngr; gr++)
    for (int ch = 0; ch < nch; ch++) total_bits += si.gr[gr][ch].part2_3_length;
  // Keep the last main data bytes for the frames that follow.
  auto carry_over = [&]() {
    const int keep = std::min(kMpegCarry, dec->carried + main_len);
    std::memmove(dec->bits + kMpegCarry - keep, dec->bits + kMpegCarry + main_len - keep, keep);
    dec->carried = keep;
  };
  if (have_data && total_bits > available) {
    carry_over();
    return false;  // the granules claim more bits than the frame holds
  }
  MpegBits b{dec->bits, (uint32_t)(have_data ? start : kMpegCarry) * 8,
             (uint32_t)(sizeof(dec->bits) - 8)};

  const bool ms = h.mode == 1 && (h.mode_extension & 2);
  const bool intensity = h.mode == 1 && (h.mode_extension & 1);
  ScaleFactors sf[2] = {};
  alignas(16) float xr[2][576];
  int is[576];
  alignas(32) float sbs[2][32][kMpegSlotStride];
  bool ok = true;
  int slots = 0;
  for (int gr = 0; gr < ngr && ok; gr++) {
    int count[2] = {0, 0};
    for (int ch = 0; ch < nch; ch++) {
      Granule& g = si.gr[gr][ch];
      if (!have_data) {  // the reservoir is missing (stream start): the granule is silent
        std::memset(xr[ch], 0, sizeof(xr[ch]));
        continue;
      }
      const uint32_t begin = b.pos, end = begin + g.part2_3_length;
      if (h.lsf) ReadScaleFactorsLsf(b, g, intensity && ch == 1, sf[ch]);
      else ReadScaleFactorsMpeg1(b, g, si.scfsi[ch], gr, sf[ch]);
      if (b.pos > end) {
        ok = false;
        break;
      }
      int n = DecodeHuffman(b, g, end, is);
      if (n < 0) {
        ok = false;
        break;
      }
      b.pos = end;
      count[ch] = n;
      Requantise(h, g, sf[ch], ms, is, n, xr[ch]);
    }
    if (!ok) break;
    if (nch == 2 && have_data) {
      const Granule& g = si.gr[gr][1];
      if (ms || intensity) count[0] = count[1] = std::max(count[0], count[1]);
      alignas(16) float right[576];
      if (intensity) std::memcpy(right, xr[1], sizeof(right));
      if (ms) ApplyMidSide(xr[0], xr[1], 576);
      if (intensity) ApplyIntensity(h, g, sf[1], ms, xr[0], xr[1], right);
    }
    for (int ch = 0; ch < nch; ch++) {
      const Granule& g = si.gr[gr][ch];
      const bool short_block = ShortBlock(g);
      int subbands = short_block ? 32 : std::min(32, (count[ch] + 17) / 18 + 1);
      if (!have_data) subbands = 0;
      AliasReduce(g, xr[ch], subbands);
      const int long_subbands = short_block && g.mixed ? (h.lsf && h.sampling_index == 8 ? 4 : 2) : 0;
      Hybrid(g, long_subbands, xr[ch], dec->overlap[ch], subbands, sbs[ch][0] + slots);
    }
    slots += 18;
  }
  MpegSynthesize(dec, &sbs[0][0][0], slots, nch, out);
  *bytes_written = slots * 32 * 2 * nch;
  carry_over();
  return ok;
}
