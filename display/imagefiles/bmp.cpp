// BMP files: 1, 4 and 8-bit palettes (also RLE4 and RLE8), 16 and 32-bit pixels with or
// without bit fields, 24-bit pixels; core and info headers; bottom-up and top-down rows.
#include <vector>

#include "display/imagefiles/file_bytes.h"
#include "display/imagefiles/formats.h"

namespace {

enum : uint32_t { kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitfields = 3, kBiAlphaBitfields = 6 };
constexpr uint16_t kSkipped = 0xFFFF;  // an RLE pixel the data never set: black

struct BmpInfo {
  int64_t width = 0, height = 0;
  bool topDown = false;
  uint32_t bits = 0, compression = kBiRgb;
  std::vector<uint32_t> palette;
  MaskChannel red, green, blue;
  size_t pixels = 0;  // offset of the pixel data
};

bool ReadHeader(const ByteView& d, BmpInfo* bi) {
  if (d.Size() < 26 || d.U8(0) != 'B' || d.U8(1) != 'M') return false;
  bi->pixels = d.Le32(10);
  const uint32_t header = d.Le32(14);
  size_t paletteAt = 14 + size_t(header), entry = 4;
  uint32_t colours = 0;
  if (header == 12) {
    bi->width = d.Le16(18);
    bi->height = d.Le16(20);
    bi->bits = d.Le16(24);
    entry = 3;
  } else if (header == 40 || header == 52 || header == 56 || header == 64 || header == 108 || header == 124) {
    bi->width = int32_t(d.Le32(18));
    bi->height = int32_t(d.Le32(22));
    bi->bits = d.Le16(28);
    bi->compression = d.Le32(30);
    colours = d.Le32(46);
    if (bi->height < 0) {
      bi->height = -bi->height;
      bi->topDown = true;
    }
    if (bi->compression == kBiBitfields || bi->compression == kBiAlphaBitfields) {
      if (bi->bits != 16 && bi->bits != 32) return false;
      const uint32_t red = d.Le32(54), green = d.Le32(58), blue = d.Le32(62);
      // Masks that take no bits of the pixel leave nothing to read.
      const uint32_t fits = bi->bits == 16 ? 0xFFFFu : ~0u;
      if ((red | green | blue) == 0 || ((red | green | blue) & ~fits)) return false;
      bi->red = MaskChannel(red);
      bi->green = MaskChannel(green);
      bi->blue = MaskChannel(blue);
      if (header == 40) paletteAt += bi->compression == kBiBitfields ? 12 : 16;
    }
  } else {
    return false;
  }
  if (d.bad() || !PictureSizeOk(bi->width, bi->height)) return false;
  switch (bi->compression) {
    case kBiRgb:
      if (bi->bits != 1 && bi->bits != 4 && bi->bits != 8 && bi->bits != 16 && bi->bits != 24 && bi->bits != 32)
        return false;
      if (bi->bits == 16) {
        bi->red = MaskChannel(0x7C00);
        bi->green = MaskChannel(0x03E0);
        bi->blue = MaskChannel(0x001F);
      } else if (bi->bits == 32) {
        bi->red = MaskChannel(0xFF0000);
        bi->green = MaskChannel(0x00FF00);
        bi->blue = MaskChannel(0x0000FF);
      }
      break;
    case kBiRle8:
      if (bi->bits != 8 || bi->topDown) return false;
      break;
    case kBiRle4:
      if (bi->bits != 4 || bi->topDown) return false;
      break;
    case kBiBitfields:
    case kBiAlphaBitfields: break;
    default: return false;
  }
  if (bi->bits <= 8) {
    const uint32_t most = 1u << bi->bits;
    if (colours == 0) colours = most;
    if (colours > most) return false;
    if (!d.Has(paletteAt, size_t(colours) * entry)) return false;
    for (uint32_t i = 0; i < colours; ++i) {
      const size_t at = paletteAt + size_t(i) * entry;
      bi->palette.push_back(uint32_t(d.U8(at + 2)) << 16 | uint32_t(d.U8(at + 1)) << 8 | d.U8(at));
    }
  }
  return bi->pixels >= 14 + size_t(header) && bi->pixels <= d.Size();
}

// Uncompressed rows.
bool ReadRows(const ByteView& d, const BmpInfo& bi, PictureSink& sink) {
  const int32_t w = int32_t(bi.width), h = int32_t(bi.height);
  const size_t stride = ((size_t(w) * bi.bits + 31) / 32) * 4, used = (size_t(w) * bi.bits + 7) / 8;
  // The last row may come without its padding.
  if (!d.Has(bi.pixels, stride * size_t(h - 1) + used)) return false;
  if (!sink.Begin(w, h)) return false;
  std::vector<uint32_t> row(static_cast<size_t>(w));
  const uint32_t colours = uint32_t(bi.palette.size());
  for (int32_t r = 0; r < h; ++r) {
    const uint8_t* p = d.Data() + bi.pixels + stride * size_t(r);
    for (int32_t x = 0; x < w; ++x) {
      uint32_t v;
      switch (bi.bits) {
        case 1:
        case 4:
        case 8: {
          const uint32_t perByte = 8 / bi.bits, bitPos = 8 - bi.bits * (uint32_t(x) % perByte + 1);
          const uint32_t i = (p[uint32_t(x) / perByte] >> bitPos) & ((1u << bi.bits) - 1);
          if (i >= colours) return false;  // an index past the palette
          v = bi.palette[i];
          break;
        }
        case 24: v = LoadPixel(p + 3 * x, 3); break;
        default: {
          const uint32_t px = LoadPixel(p + (bi.bits / 8) * x, int32_t(bi.bits / 8));
          v = bi.red.Get(px) << 16 | bi.green.Get(px) << 8 | bi.blue.Get(px);
        }
      }
      row[size_t(x)] = v;
    }
    sink.Row(bi.topDown ? r : h - 1 - r, row.data());
  }
  return true;
}

// RLE4 and RLE8: runs and escapes into a buffer of palette indices, bottom row first. A run
// or a jump past the picture, an index past the palette, data that ends inside an operation,
// or data that ends without the end mark before the last row is filled, is a bad file. Pixels
// a jump or the end mark pass over stay black.
bool ReadRle(const ByteView& d, const BmpInfo& bi, PictureSink& sink) {
  const int32_t w = int32_t(bi.width), h = int32_t(bi.height);
  const bool four = bi.compression == kBiRle4;
  std::vector<uint16_t> index;
  try {
    index.assign(size_t(w) * size_t(h), kSkipped);
  } catch (const std::bad_alloc&) {
    return false;
  }
  size_t at = bi.pixels;
  int64_t x = 0, y = 0;
  const size_t colours = bi.palette.size();
  auto put = [&](uint32_t v) {
    if (x >= w || y >= h || v >= colours) return false;
    index[size_t(y) * size_t(w) + size_t(x)] = uint16_t(v);
    ++x;
    return true;
  };
  bool done = false;
  while (!done && at < d.Size()) {
    if (!d.Has(at, 2)) return false;
    const uint32_t count = d.U8(at), value = d.U8(at + 1);
    at += 2;
    if (count > 0) {
      for (uint32_t i = 0; i < count; ++i)
        if (!put(four ? (i & 1 ? value & 15 : value >> 4) : value)) return false;
      continue;
    }
    switch (value) {
      case 0:
        x = 0;
        ++y;
        break;
      case 1: done = true; break;
      case 2:
        if (!d.Has(at, 2)) return false;
        x += d.U8(at);
        y += d.U8(at + 1);
        at += 2;
        if (x > w || y > h) return false;
        break;
      default: {
        const size_t bytes = four ? (value + 1) / 2 : value, padded = (bytes + 1) & ~size_t(1);
        if (!d.Has(at, bytes)) return false;
        for (uint32_t i = 0; i < value; ++i) {
          const uint32_t b = d.U8(at + (four ? i / 2 : i));
          if (!put(four ? (i & 1 ? b & 15 : b >> 4) : b)) return false;
        }
        at += d.Has(at, padded) ? padded : bytes;
      }
    }
  }
  if (!done && y < h && !(y == h - 1 && x == w)) return false;
  if (!sink.Begin(w, h)) return false;
  std::vector<uint32_t> row(static_cast<size_t>(w));
  for (int32_t r = 0; r < h; ++r) {
    const uint16_t* in = index.data() + size_t(r) * size_t(w);
    for (int32_t c = 0; c < w; ++c) row[size_t(c)] = in[c] < colours ? bi.palette[in[c]] : 0;
    sink.Row(h - 1 - r, row.data());
  }
  return true;
}

}  // namespace

bool DecodeBmp(const std::string& data, PictureSink& sink) {
  ByteView d(data);
  BmpInfo bi;
  if (!ReadHeader(d, &bi)) return false;
  if (bi.compression == kBiRle4 || bi.compression == kBiRle8) return ReadRle(d, bi, sink);
  return ReadRows(d, bi, sink);
}

bool EncodeBmp(const Picture& p, std::string* out) {
  if (!PictureSizeOk(p.width, p.height)) return false;
  const uint32_t w = uint32_t(p.width), h = uint32_t(p.height);
  const uint32_t stride = (w * 3 + 3) & ~3u, image = stride * h;
  std::string& d = *out;
  d.clear();
  d.reserve(54 + size_t(image));
  d += "BM";
  PutLe(d, 54 + image, 4);
  PutLe(d, 0, 4);
  PutLe(d, 54, 4);
  PutLe(d, 40, 4);
  PutLe(d, w, 4);
  PutLe(d, h, 4);
  PutLe(d, 1, 2);
  PutLe(d, 24, 2);
  PutLe(d, kBiRgb, 4);
  PutLe(d, image, 4);
  for (int i = 0; i < 4; ++i) PutLe(d, 0, 4);
  for (uint32_t r = 0; r < h; ++r) {
    const uint32_t* in = p.pixels.data() + size_t(h - 1 - r) * w;
    for (uint32_t x = 0; x < w; ++x) PutLe(d, in[x], 3);
    d.append(stride - w * 3, '\0');
  }
  return true;
}
