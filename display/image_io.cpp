// Image files of bitmaps and screen grabs: PNG through libpng, uncompressed BMP by hand.
#include <png.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

#include "display/bitmaps.h"
#include "display/display.h"
#include "platform/fs.h"

namespace {

std::string Extension(const std::string& path) {
  std::string ext = path.size() >= 3 ? path.substr(path.size() - 3) : "";
  for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

// Rows of 0x00RRGGBB into a new surface of the given depth.
SurfacePtr SurfaceFromRgb(const std::vector<uint32_t>& rgb, int32_t w, int32_t h, int32_t depth) {
  SurfacePtr s = SurfaceCreate(w, h, depth);
  if (!s) return nullptr;
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) s->PutPixel(x, y, NarrowRgbToPixel(s->Format(), rgb[size_t(y) * size_t(w) + size_t(x)]));
  return s;
}

uint32_t Le(const std::string& d, size_t at, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | uint8_t(d[at + size_t(i)]);
  return v;
}

SurfacePtr LoadBmp(const std::string& d, int32_t depth) {
  if (d.size() < 54 || d[0] != 'B' || d[1] != 'M') return nullptr;
  uint32_t offset = Le(d, 10, 4), header = Le(d, 14, 4);
  int64_t w = int32_t(Le(d, 18, 4)), h = int32_t(Le(d, 22, 4));
  uint32_t bits = Le(d, 28, 2), compression = Le(d, 30, 4), colours = Le(d, 46, 4);
  bool bottomUp = h > 0;
  if (h < 0) h = -h;
  if (w < 1 || h < 1 || w > 16384 || h > 16384 || compression != 0 || header < 40) return nullptr;
  if (bits != 8 && bits != 24 && bits != 32) return nullptr;
  std::vector<uint32_t> palette;
  if (bits == 8) {
    if (colours == 0 || colours > 256) colours = 256;
    size_t at = 14 + size_t(header);
    if (at + size_t(colours) * 4 > d.size()) return nullptr;
    for (uint32_t i = 0; i < colours; ++i) palette.push_back(Le(d, at + i * 4, 3));
  }
  size_t stride = (size_t(w) * bits / 8 + 3) & ~size_t(3);
  if (offset > d.size() || stride * size_t(h) > d.size() - offset) return nullptr;
  std::vector<uint32_t> rgb(size_t(w) * size_t(h));
  for (int64_t y = 0; y < h; ++y) {
    size_t row = offset + stride * size_t(bottomUp ? h - 1 - y : y);
    for (int64_t x = 0; x < w; ++x) {
      uint32_t v;
      if (bits == 8) {
        uint8_t i = uint8_t(d[row + size_t(x)]);
        v = i < palette.size() ? palette[i] : 0;
      } else {
        v = Le(d, row + size_t(x) * (bits / 8), 3);
      }
      rgb[size_t(y) * size_t(w) + size_t(x)] = v;
    }
  }
  return SurfaceFromRgb(rgb, int32_t(w), int32_t(h), depth);
}

SurfacePtr LoadPng(const std::string& d, int32_t depth) {
  png_image img;
  std::memset(&img, 0, sizeof img);
  img.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&img, d.data(), d.size())) return nullptr;
  if (img.width < 1 || img.height < 1 || img.width > 16384 || img.height > 16384) {
    png_image_free(&img);
    return nullptr;
  }
  img.format = PNG_FORMAT_BGRA;
  std::vector<uint32_t> px(size_t(img.width) * size_t(img.height));
  if (!png_image_finish_read(&img, nullptr, px.data(), 0, nullptr)) {
    png_image_free(&img);
    return nullptr;
  }
  for (uint32_t& p : px) p &= 0xFFFFFF;  // BGRA bytes read little-endian are 0xAARRGGBB
  return SurfaceFromRgb(px, int32_t(img.width), int32_t(img.height), depth);
}

// Rows of the surface as R, G, B bytes (exact expansion of the pixels).
std::vector<uint8_t> RgbBytes(const Surface& s) {
  std::vector<uint8_t> out(size_t(s.Width()) * size_t(s.Height()) * 3);
  size_t k = 0;
  for (int32_t y = 0; y < s.Height(); ++y)
    for (int32_t x = 0; x < s.Width(); ++x) {
      uint32_t v = s.Depth() == 8 ? 0 : ExpandPixelToRgb(s.Format(), s.GetPixel(x, y));
      out[k++] = uint8_t(v >> 16);
      out[k++] = uint8_t(v >> 8);
      out[k++] = uint8_t(v);
    }
  return out;
}

bool EncodePng(const Surface& s, std::string* out) {
  std::vector<uint8_t> rgb = RgbBytes(s);
  png_image img;
  std::memset(&img, 0, sizeof img);
  img.version = PNG_IMAGE_VERSION;
  img.width = png_uint_32(s.Width());
  img.height = png_uint_32(s.Height());
  img.format = PNG_FORMAT_RGB;
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(&img, nullptr, &size, 0, rgb.data(), 0, nullptr)) return false;
  out->resize(size);
  if (!png_image_write_to_memory(&img, out->data(), &size, 0, rgb.data(), 0, nullptr)) return false;
  out->resize(size);
  return true;
}

std::string EncodeBmp(const Surface& s) {
  std::vector<uint8_t> rgb = RgbBytes(s);
  const uint32_t w = uint32_t(s.Width()), h = uint32_t(s.Height());
  const uint32_t stride = (w * 3 + 3) & ~3u, size = 54 + stride * h;
  std::string d(size, '\0');
  auto put = [&](size_t at, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) d[at + size_t(i)] = char(v >> (8 * i));
  };
  d[0] = 'B';
  d[1] = 'M';
  put(2, size, 4);
  put(10, 54, 4);
  put(14, 40, 4);
  put(18, w, 4);
  put(22, h, 4);
  put(26, 1, 2);
  put(28, 24, 2);
  put(34, stride * h, 4);
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) {
      size_t src = (size_t(h - 1 - y) * w + x) * 3, dst = 54 + size_t(y) * stride + size_t(x) * 3;
      d[dst] = char(rgb[src + 2]);
      d[dst + 1] = char(rgb[src + 1]);
      d[dst + 2] = char(rgb[src]);
    }
  return d;
}

}  // namespace

SurfacePtr LoadImageFromMemory(const std::string& data, const std::string& ext, int32_t depth) {
  if (ext == "png") return LoadPng(data, depth);
  if (ext == "bmp") return LoadBmp(data, depth);
  return nullptr;
}

SurfacePtr LoadImageByExtension(const std::string& path, int32_t depth) {
  std::string data;
  if (!FsReadFile(path, data)) return nullptr;
  return LoadImageFromMemory(data, Extension(path), depth);
}

bool SaveImageByExtension(const Surface& s, const std::string& path) {
  std::string ext = Extension(path), data;
  if (ext == "png") {
    if (!EncodePng(s, &data)) return false;
  } else if (ext == "bmp") {
    data = EncodeBmp(s);
  } else {
    return false;
  }
  return FsWriteFileAtomic(path, data);
}

bool SavePngFile(const Surface& s, const std::string& path) {
  std::string data;
  return EncodePng(s, &data) && FsWriteFileAtomic(path, data);
}
