// Packed samples: each block is a 16-bit byte count and that many bytes of codes read least
// significant bit first. A code is a delta or, at its width's border values, a change of width.
#include "sound/engine/sample_decode.h"

#include <cstring>
#include <vector>

namespace {

struct BitReader {
  const std::vector<uint8_t>& bytes;
  uint64_t bit = 0;
  bool Read(int width, uint32_t* out) {
    if (bit + uint64_t(width) > uint64_t(bytes.size()) * 8) return false;
    uint32_t v = 0;
    for (int i = 0; i < width; i++, bit++) v |= uint32_t((bytes[bit >> 3] >> (bit & 7)) & 1) << i;
    *out = v;
    return true;
  }
};

// Decodes one block of n values; false when the block is damaged.
bool DecodeBlock(BitReader& in, uint8_t* dest, uint32_t first, uint32_t n, bool wide,
                 bool secondOrder) {
  const int top = wide ? 17 : 9;        // widest code: a raw value or a width change
  const int valueBits = wide ? 16 : 8;
  int w = top;
  uint32_t d1 = 0, d2 = 0;
  uint32_t done = 0;
  while (done < n) {
    uint32_t v;
    if (w < 1 || w > top || !in.Read(w, &v)) return false;
    if (w < 7) {
      if (v == (1u << (w - 1))) {
        uint32_t n2;
        if (!in.Read(wide ? 4 : 3, &n2)) return false;
        n2 += 1;
        w = int(n2) < w ? int(n2) : int(n2) + 1;
        continue;
      }
    } else if (w < top) {
      uint32_t border = wide ? (65535u >> (17 - w)) - 8 : (255u >> (9 - w)) - 4;
      uint32_t span = wide ? 16 : 8;
      if (v > border && v <= border + span) {
        int n2 = int(v - border);
        w = n2 < w ? n2 : n2 + 1;
        continue;
      }
    } else if (v & (1u << valueBits)) {
      w = int((v + 1) & 255);
      continue;
    }
    int32_t delta;
    if (w < valueBits) {
      delta = int32_t(v << (32 - w)) >> (32 - w);
    } else {
      delta = wide ? int32_t(int16_t(uint16_t(v))) : int32_t(int8_t(uint8_t(v)));
    }
    d1 += uint32_t(delta);
    d2 += d1;
    uint32_t out = secondOrder ? d2 : d1;
    if (wide) {
      uint16_t word = uint16_t(out);
      std::memcpy(dest + (uint64_t(first) + done) * 2, &word, 2);
    } else {
      dest[first + done] = uint8_t(out);
    }
    done++;
  }
  return true;
}

}  // namespace

bool DecodePackedSamples(const uint8_t* source, uint32_t sourceBytes, uint8_t* dest, uint32_t count,
                         bool wide, bool secondOrder) {
  std::memset(dest, 0, size_t(count) * (wide ? 2 : 1));
  const uint32_t blockValues = wide ? 16384 : 32768;
  uint32_t at = 0, done = 0;
  std::vector<uint8_t> scratch;
  while (done < count) {
    if (sourceBytes - at < 2) return false;
    uint32_t bytes = uint32_t(source[at]) | uint32_t(source[at + 1]) << 8;
    at += 2;
    if (bytes > sourceBytes - at) return false;
    // The codes may be read a little past the block's bytes: the scratch copy ends in zeros.
    scratch.assign(size_t(bytes) + 1024, 0);
    std::memcpy(scratch.data(), source + at, bytes);
    at += bytes;
    uint32_t n = count - done < blockValues ? count - done : blockValues;
    BitReader in{scratch};
    if (!DecodeBlock(in, dest, done, n, wide, secondOrder)) return false;
    done += n;
  }
  return true;
}
