// PSD files: 8-bit RGB pictures, raw or PackBits; channels 0, 1, 2 are red, green and blue
// (a file with fewer is refused; the fourth, alpha, and any further channels are left out).
#include <vector>

#include "display/imagefiles/file_bytes.h"
#include "display/imagefiles/formats.h"

namespace {

// Skips a section given by its 32-bit length; false when it runs past the data.
bool SkipSection(const ByteView& d, size_t* at) {
  if (!d.Has(*at, 4)) return false;
  const size_t len = d.Be32(*at);
  *at += 4;
  if (!d.Has(*at, len)) return false;
  *at += len;
  return true;
}

// One channel of PackBits runs into out (n bytes); false when a run passes the end of the
// channel or the data ends first.
bool UnpackBits(const ByteView& d, size_t* at, uint8_t* out, size_t n) {
  size_t filled = 0;
  while (filled < n) {
    if (!d.Has(*at, 1)) return false;
    const uint32_t c = d.U8((*at)++);
    if (c < 128) {
      const size_t len = c + 1;
      if (len > n - filled || !d.Has(*at, len)) return false;
      for (size_t i = 0; i < len; ++i) out[filled++] = d.U8(*at + i);
      *at += len;
    } else if (c > 128) {
      const size_t len = 257 - c;
      if (len > n - filled || !d.Has(*at, 1)) return false;
      const uint8_t v = d.U8((*at)++);
      for (size_t i = 0; i < len; ++i) out[filled++] = v;
    }
  }
  return true;
}

}  // namespace

bool DecodePsd(const std::string& data, PictureSink& sink) {
  ByteView d(data);
  if (d.Size() < 26 || d.Be32(0) != 0x38425053 || d.Be16(4) != 1) return false;  // "8BPS", version 1
  const uint32_t channels = d.Be16(12);
  const int64_t h = d.Be32(14), w = d.Be32(18);
  if (channels < 3 || channels > 16 || d.Be16(22) != 8 || d.Be16(24) != 3 || !PictureSizeOk(w, h)) return false;
  size_t at = 26;
  for (int i = 0; i < 3; ++i)
    if (!SkipSection(d, &at)) return false;
  if (!d.Has(at, 2)) return false;
  const uint32_t compression = d.Be16(at);
  at += 2;
  if (compression > 1) return false;
  const size_t plane = size_t(w) * size_t(h), used = 3;

  std::vector<uint8_t> planes;
  const uint8_t* channel[3] = {nullptr, nullptr, nullptr};
  if (compression == 0) {
    if (!d.Has(at, plane * used)) return false;
    for (size_t c = 0; c < used; ++c) channel[c] = d.Data() + at + c * plane;
  } else {
    at += size_t(h) * channels * 2;  // the row lengths
    // Each two bytes of runs give at most 128: a file too short for its size fails here.
    if (!d.Has(at, (plane + 127) / 128 * 2 * used)) return false;
    try {
      planes.resize(plane * used);
    } catch (const std::bad_alloc&) {
      return false;
    }
    for (size_t c = 0; c < used; ++c) {
      if (!UnpackBits(d, &at, planes.data() + c * plane, plane)) return false;
      channel[c] = planes.data() + c * plane;
    }
  }
  if (!sink.Begin(int32_t(w), int32_t(h))) return false;
  std::vector<uint32_t> row(static_cast<size_t>(w));
  for (int64_t y = 0; y < h; ++y) {
    const size_t base = size_t(y) * size_t(w);
    for (int64_t x = 0; x < w; ++x) {
      uint32_t v = 0;
      for (size_t c = 0; c < used; ++c) v |= uint32_t(channel[c][base + size_t(x)]) << (16 - 8 * c);
      row[size_t(x)] = v;
    }
    sink.Row(int32_t(y), row.data());
  }
  return true;
}
