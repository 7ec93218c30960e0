#pragma once
#include <cstddef>
#include <cstdint>

// The DXT1 to DXT5 block codecs: 4 x 4 texels a block, 8 bytes for DXT1 and 16 for the rest
// (DXT2 and DXT3 explicit alpha, DXT4 and DXT5 interpolated alpha; 2 and 4 premultiplied).
// Texels are 0xAARRGGBB; in DXT1 a texel of alpha below 128 is transparent (black, alpha 0).

inline size_t DxtBlockBytes(int digit) { return digit == 1 ? 8 : 16; }
inline size_t DxtLevelBytes(int digit, int64_t width, int64_t height) {
  const int64_t bw = width > 0 ? (width + 3) / 4 : 1, bh = height > 0 ? (height + 3) / 4 : 1;
  return size_t(bw) * size_t(bh) * DxtBlockBytes(digit);
}

// Decodes a level of width x height texels from DxtLevelBytes bytes of blocks.
void DxtDecode(int digit, const uint8_t* blocks, int32_t width, int32_t height, uint32_t* texels);
// Encodes width x height texels into DxtLevelBytes bytes of blocks.
void DxtEncode(int digit, const uint32_t* texels, int32_t width, int32_t height, uint8_t* blocks);
