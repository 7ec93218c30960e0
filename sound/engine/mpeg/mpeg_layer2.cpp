// Layer II: bit allocation, scale factors and requantised samples, 1152 per channel.
#include <cstring>

#include "sound/engine/mpeg/mpeg_decoder.h"
#include "sound/engine/mpeg/mpeg_internal.h"

namespace {

// Three requantised samples (before the scale factor) of one code or code group.
void ReadTriple(MpegBits& b, const MpegLayer2Quant& q, float* s) {
  const float half = (float)((q.levels - 1) / 2);
  if (q.grouped) {
    uint32_t c = b.Get(q.bits);
    for (int i = 0; i < 3; i++) {
      s[i] = ((float)(c % q.levels) - half) * q.step;
      c /= q.levels;
    }
  } else {
    for (int i = 0; i < 3; i++) s[i] = ((float)b.Get(q.bits) - half) * q.step;
  }
}

}  // namespace

bool MpegDecodeLayer2(MpegDecoder* dec, const MpegFrameHeader& h, int16_t* out, int* bytes_written) {
  const MpegTables& t = MpegTab();
  const MpegLayer2Table& tab = t.l2_tables[dec->layer2_table];
  const int limit = h.subband_limit, bound = h.joint_bound, nch = h.channels;
  // The body sits at kMpegCarry in the bit-stream buffer; the reader starts where the frame
  // decoder left it (after the check word).
  MpegBits b{dec->bits, (uint32_t)((dec->byte_ptr - dec->bits) * 8 + dec->bit_pos), (uint32_t)(sizeof(dec->bits) - 8)};
  int8_t alloc[2][32];
  uint8_t scfsi[2][32] = {};
  uint8_t scf[2][32][3] = {};
  for (int sb = 0; sb < limit; sb++) {
    if (sb < bound) {
      for (int ch = 0; ch < nch; ch++) alloc[ch][sb] = tab.quant[sb][b.Get(tab.nbal[sb])];
    } else {
      alloc[0][sb] = alloc[1][sb] = tab.quant[sb][b.Get(tab.nbal[sb])];
    }
  }
  for (int sb = 0; sb < limit; sb++)
    for (int ch = 0; ch < nch; ch++)
      if (alloc[ch][sb] >= 0) scfsi[ch][sb] = (uint8_t)b.Get(2);
  for (int sb = 0; sb < limit; sb++)
    for (int ch = 0; ch < nch; ch++) {
      if (alloc[ch][sb] < 0) continue;
      uint8_t* s = scf[ch][sb];
      switch (scfsi[ch][sb]) {
        case 0: s[0] = b.Get(6); s[1] = b.Get(6); s[2] = b.Get(6); break;
        case 1: s[0] = s[1] = b.Get(6); s[2] = b.Get(6); break;
        case 2: s[0] = s[1] = s[2] = b.Get(6); break;
        default: s[0] = b.Get(6); s[1] = s[2] = b.Get(6); break;
      }
    }
  // Requantised samples [channel][subband][slot] of the whole frame, synthesised in one go.
  alignas(32) float samples[2][32][kMpegSlotStride];
  std::memset(samples, 0, sizeof(samples));
  for (int gr = 0; gr < 12; gr++) {
    const int part = gr >> 2, slot = 3 * gr;
    for (int sb = 0; sb < limit; sb++) {
      if (sb < bound) {
        for (int ch = 0; ch < nch; ch++) {
          if (alloc[ch][sb] < 0) continue;
          float v[3];
          ReadTriple(b, t.l2_quant[alloc[ch][sb]], v);
          const float f = t.l2_scale[scf[ch][sb][part]];
          for (int i = 0; i < 3; i++) samples[ch][sb][slot + i] = v[i] * f;
        }
      } else {
        if (alloc[0][sb] < 0) continue;
        float v[3];
        ReadTriple(b, t.l2_quant[alloc[0][sb]], v);
        for (int ch = 0; ch < nch; ch++) {
          const float f = t.l2_scale[scf[ch][sb][part]];
          for (int i = 0; i < 3; i++) samples[ch][sb][slot + i] = v[i] * f;
        }
      }
    }
  }
  MpegSynthesize(dec, &samples[0][0][0], 36, nch, out);
  *bytes_written = 12 * 3 * 32 * 2 * nch;
  return true;
}
