#include "display/imagefiles/dxt.h"

#include <algorithm>
#include <cmath>

namespace {

struct Rgb {
  int32_t r, g, b;
};

Rgb Unpack565(uint32_t c) {
  const int32_t r = int32_t(c >> 11) & 31, g = int32_t(c >> 5) & 63, b = int32_t(c) & 31;
  return {(r << 3) | (r >> 2), (g << 2) | (g >> 4), (b << 3) | (b >> 2)};
}

uint32_t Pack565(float r, float g, float b) {
  auto q = [](float v, int32_t max) { return uint32_t(std::clamp(int32_t(std::lround(v / 255.0f * float(max))), 0, max)); };
  return q(r, 31) << 11 | q(g, 63) << 5 | q(b, 31);
}

uint32_t Argb(const Rgb& c, uint32_t a) { return a << 24 | uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | uint32_t(c.b); }

// The four colours of a colour block; three and transparent black when the block says so.
void Palette(uint32_t c0, uint32_t c1, bool fourAlways, uint32_t out[4]) {
  const Rgb a = Unpack565(c0), b = Unpack565(c1);
  out[0] = Argb(a, 255);
  out[1] = Argb(b, 255);
  if (fourAlways || c0 > c1) {
    out[2] = Argb({(2 * a.r + b.r) / 3, (2 * a.g + b.g) / 3, (2 * a.b + b.b) / 3}, 255);
    out[3] = Argb({(a.r + 2 * b.r) / 3, (a.g + 2 * b.g) / 3, (a.b + 2 * b.b) / 3}, 255);
  } else {
    out[2] = Argb({(a.r + b.r) / 2, (a.g + b.g) / 2, (a.b + b.b) / 2}, 255);
    out[3] = 0;
  }
}

void AlphaPalette(uint32_t a0, uint32_t a1, uint32_t out[8]) {
  out[0] = a0;
  out[1] = a1;
  if (a0 > a1) {
    for (uint32_t i = 1; i < 7; ++i) out[i + 1] = ((7 - i) * a0 + i * a1) / 7;
  } else {
    for (uint32_t i = 1; i < 5; ++i) out[i + 1] = ((5 - i) * a0 + i * a1) / 5;
    out[6] = 0;
    out[7] = 255;
  }
}

uint32_t Le16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t Le32(const uint8_t* p) { return Le16(p) | Le16(p + 2) << 16; }

void DecodeBlock(int digit, const uint8_t* b, uint32_t texel[16]) {
  const uint8_t* colour = digit == 1 ? b : b + 8;
  uint32_t pal[4];
  Palette(Le16(colour), Le16(colour + 2), digit != 1, pal);
  const uint32_t bits = Le32(colour + 4);
  for (int i = 0; i < 16; ++i) texel[i] = pal[(bits >> (2 * i)) & 3];
  if (digit == 2 || digit == 3) {
    for (int i = 0; i < 16; ++i) {
      const uint32_t a = (b[i / 2] >> (4 * (i & 1))) & 15;
      texel[i] = (texel[i] & 0xFFFFFF) | (a * 17) << 24;
    }
  } else if (digit == 4 || digit == 5) {
    uint32_t apal[8];
    AlphaPalette(b[0], b[1], apal);
    uint64_t bits48 = 0;
    for (int i = 0; i < 6; ++i) bits48 |= uint64_t(b[2 + i]) << (8 * i);
    for (int i = 0; i < 16; ++i) texel[i] = (texel[i] & 0xFFFFFF) | apal[(bits48 >> (3 * i)) & 7] << 24;
  }
}

int32_t Distance(uint32_t a, uint32_t b) {
  const int32_t dr = int32_t((a >> 16) & 255) - int32_t((b >> 16) & 255);
  const int32_t dg = int32_t((a >> 8) & 255) - int32_t((b >> 8) & 255);
  const int32_t db = int32_t(a & 255) - int32_t(b & 255);
  return dr * dr + dg * dg + db * db;
}

// End points along the colours' principal axis (the texels marked in use only).
void ChooseEndpoints(const uint32_t texel[16], const bool use[16], uint32_t* c0, uint32_t* c1) {
  float mean[3] = {0, 0, 0};
  int n = 0;
  for (int i = 0; i < 16; ++i) {
    if (!use[i]) continue;
    mean[0] += float((texel[i] >> 16) & 255);
    mean[1] += float((texel[i] >> 8) & 255);
    mean[2] += float(texel[i] & 255);
    ++n;
  }
  if (n == 0) {
    *c0 = *c1 = 0;
    return;
  }
  for (float& m : mean) m /= float(n);
  float cov[6] = {0, 0, 0, 0, 0, 0};
  for (int i = 0; i < 16; ++i) {
    if (!use[i]) continue;
    const float d[3] = {float((texel[i] >> 16) & 255) - mean[0], float((texel[i] >> 8) & 255) - mean[1],
                        float(texel[i] & 255) - mean[2]};
    cov[0] += d[0] * d[0];
    cov[1] += d[0] * d[1];
    cov[2] += d[0] * d[2];
    cov[3] += d[1] * d[1];
    cov[4] += d[1] * d[2];
    cov[5] += d[2] * d[2];
  }
  float axis[3] = {1, 1, 1};
  for (int k = 0; k < 8; ++k) {
    const float x = cov[0] * axis[0] + cov[1] * axis[1] + cov[2] * axis[2];
    const float y = cov[1] * axis[0] + cov[3] * axis[1] + cov[4] * axis[2];
    const float z = cov[2] * axis[0] + cov[4] * axis[1] + cov[5] * axis[2];
    const float len = std::max({std::fabs(x), std::fabs(y), std::fabs(z)});
    if (len < 1e-6f) break;
    axis[0] = x / len;
    axis[1] = y / len;
    axis[2] = z / len;
  }
  float lo = 1e30f, hi = -1e30f;
  for (int i = 0; i < 16; ++i) {
    if (!use[i]) continue;
    const float t = (float((texel[i] >> 16) & 255) - mean[0]) * axis[0] +
                    (float((texel[i] >> 8) & 255) - mean[1]) * axis[1] + (float(texel[i] & 255) - mean[2]) * axis[2];
    lo = std::min(lo, t);
    hi = std::max(hi, t);
  }
  const float norm = axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2];
  lo /= norm;
  hi /= norm;
  *c0 = Pack565(mean[0] + axis[0] * hi, mean[1] + axis[1] * hi, mean[2] + axis[2] * hi);
  *c1 = Pack565(mean[0] + axis[0] * lo, mean[1] + axis[1] * lo, mean[2] + axis[2] * lo);
}

void Put16(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}

void EncodeColour(const uint32_t texel[16], bool transparentMode, const bool opaque[16], uint8_t* out) {
  uint32_t c0, c1;
  ChooseEndpoints(texel, opaque, &c0, &c1);
  // Four colours need c0 > c1; three and transparent need c0 <= c1.
  if (transparentMode ? c0 > c1 : c0 < c1) std::swap(c0, c1);
  uint32_t pal[4];
  Palette(c0, c1, false, pal);
  if (!transparentMode && c0 == c1) pal[2] = pal[3] = pal[0];  // a flat block: index 0 only
  uint32_t bits = 0;
  for (int i = 0; i < 16; ++i) {
    uint32_t best = 3;
    if (opaque[i]) {
      int32_t bestD = INT32_MAX;
      const int colours = transparentMode ? 3 : 4;
      for (int k = 0; k < colours; ++k) {
        const int32_t dist = Distance(texel[i], pal[k]);
        if (dist < bestD) {
          bestD = dist;
          best = uint32_t(k);
        }
      }
      if (!transparentMode && c0 == c1) best = 0;
    }
    bits |= best << (2 * i);
  }
  Put16(out, c0);
  Put16(out + 2, c1);
  Put16(out + 4, bits);
  Put16(out + 6, bits >> 16);
}

void EncodeAlpha5(const uint32_t texel[16], uint8_t* out) {
  uint32_t hi = 0, lo = 255;
  for (int i = 0; i < 16; ++i) {
    hi = std::max(hi, texel[i] >> 24);
    lo = std::min(lo, texel[i] >> 24);
  }
  uint32_t pal[8];
  AlphaPalette(hi, lo, pal);
  uint64_t bits = 0;
  for (int i = 0; i < 16; ++i) {
    const int32_t a = int32_t(texel[i] >> 24);
    uint32_t best = 0;
    int32_t bestD = INT32_MAX;
    for (uint32_t k = 0; k < 8; ++k) {
      const int32_t dist = std::abs(a - int32_t(pal[k]));
      if (dist < bestD) {
        bestD = dist;
        best = k;
      }
    }
    bits |= uint64_t(best) << (3 * i);
  }
  out[0] = uint8_t(hi);
  out[1] = uint8_t(lo);
  for (int i = 0; i < 6; ++i) out[2 + i] = uint8_t(bits >> (8 * i));
}

}  // namespace

void DxtDecode(int digit, const uint8_t* blocks, int32_t w, int32_t h, uint32_t* texels) {
  const int32_t bw = std::max(1, (w + 3) / 4), bh = std::max(1, (h + 3) / 4);
  const size_t step = DxtBlockBytes(digit);
  uint32_t block[16];
  for (int32_t by = 0; by < bh; ++by)
    for (int32_t bx = 0; bx < bw; ++bx) {
      DecodeBlock(digit, blocks + (size_t(by) * size_t(bw) + size_t(bx)) * step, block);
      for (int32_t i = 0; i < 16; ++i) {
        const int32_t x = bx * 4 + i % 4, y = by * 4 + i / 4;
        if (x < w && y < h) texels[size_t(y) * size_t(w) + size_t(x)] = block[i];
      }
    }
}

void DxtEncode(int digit, const uint32_t* texels, int32_t w, int32_t h, uint8_t* blocks) {
  const int32_t bw = std::max(1, (w + 3) / 4), bh = std::max(1, (h + 3) / 4);
  const size_t step = DxtBlockBytes(digit);
  for (int32_t by = 0; by < bh; ++by)
    for (int32_t bx = 0; bx < bw; ++bx) {
      uint32_t block[16];
      bool opaque[16];
      bool anyClear = false;
      for (int32_t i = 0; i < 16; ++i) {
        // Texels past the picture's edge repeat its last row and column.
        const int32_t x = std::min(bx * 4 + i % 4, w - 1), y = std::min(by * 4 + i / 4, h - 1);
        uint32_t t = texels[size_t(y) * size_t(w) + size_t(x)];
        if (digit == 2 || digit == 4) {
          const uint32_t a = t >> 24;
          t = (t & 0xFF000000) | ((((t >> 16) & 255) * a / 255) << 16) | ((((t >> 8) & 255) * a / 255) << 8) |
              ((t & 255) * a / 255);
        }
        block[i] = t;
        opaque[i] = digit != 1 || (t >> 24) >= 128;
        anyClear |= !opaque[i];
      }
      uint8_t* out = blocks + (size_t(by) * size_t(bw) + size_t(bx)) * step;
      if (digit == 1) {
        EncodeColour(block, anyClear, opaque, out);
        continue;
      }
      if (digit == 2 || digit == 3) {
        for (int i = 0; i < 8; ++i) {
          const uint32_t a0 = ((block[2 * i] >> 24) * 15 + 127) / 255, a1 = ((block[2 * i + 1] >> 24) * 15 + 127) / 255;
          out[i] = uint8_t(a0 | a1 << 4);
        }
      } else {
        EncodeAlpha5(block, out);
      }
      // Colour blocks of DXT2-5 always have four colours: order the end points for that.
      EncodeColour(block, false, opaque, out + 8);
    }
}
