#include "display/imagefiles/dds.h"

#include <algorithm>

#include "display/imagefiles/dxt.h"
#include "display/imagefiles/file_bytes.h"
#include "display/imagefiles/formats.h"

namespace {

constexpr uint32_t kMagic = 0x20534444;  // "DDS "
constexpr size_t kHeaderBytes = 4 + 124;

}  // namespace

int DdsImage::Digit() const {
  if (!(format.flags & kDdpfFourCC)) return 0;
  for (int d = 1; d <= 5; ++d)
    if (format.fourCC == DxtFourCC(d)) return d;
  return -1;
}

int32_t MaxMipLevels(int32_t width, int32_t height) {
  int32_t n = 1;
  for (int32_t side = std::max(width, height); side > 1; side /= 2) ++n;
  return n;
}

size_t DdsLevelBytes(const DdsPixelFormat& f, int32_t width, int32_t height) {
  if (f.flags & kDdpfFourCC) {
    for (int d = 1; d <= 5; ++d)
      if (f.fourCC == DxtFourCC(d)) return DxtLevelBytes(d, width, height);
    return 0;
  }
  return size_t(width) * size_t(f.bits / 8) * size_t(height);
}

bool ReadDds(const std::string& data, bool singleLevel, DdsImage* out) {
  ByteView d(data);
  if (d.Size() < kHeaderBytes || d.Le32(0) != kMagic) return false;
  DdsImage img;
  img.flags = d.Le32(8);
  const int64_t h = d.Le32(12), w = d.Le32(16);
  const uint32_t pitch = d.Le32(20), mips = d.Le32(28);
  DdsPixelFormat& f = img.format;
  f.flags = d.Le32(80);
  f.fourCC = d.Le32(84);
  f.bits = d.Le32(88);
  f.red = d.Le32(92);
  f.green = d.Le32(96);
  f.blue = d.Le32(100);
  f.alpha = d.Le32(104);
  img.caps = d.Le32(108);
  const uint32_t caps2 = d.Le32(112);
  if (!PictureSizeOk(w, h) || (caps2 & kDdsCaps2Volume)) return false;
  if (f.flags & kDdpfFourCC) {
    if (img.Digit() < 1) return false;
  } else if ((f.flags & kDdpfRgb) && (f.bits == 8 || f.bits == 16 || f.bits == 24 || f.bits == 32)) {
    if ((f.red | f.green | f.blue) == 0) return false;  // no colour to read
    if (f.bits < 32) {
      const uint32_t fits = (1u << f.bits) - 1;
      if ((f.red | f.green | f.blue | f.alpha) & ~fits) return false;
    }
  } else {
    return false;
  }
  const size_t top = DdsLevelBytes(f, int32_t(w), int32_t(h));
  if ((img.flags & kDdsdPitch) && !(f.flags & kDdpfFourCC) && pitch != 0 && pitch < size_t(w) * (f.bits / 8))
    return false;
  if ((img.flags & kDdsdLinearSize) && (f.flags & kDdpfFourCC) && pitch != 0 && pitch < top) return false;
  int32_t levels = 1;
  if ((img.flags & kDdsdMipMapCount) && (img.caps & kDdsCapsMipMap) && mips > 1) {
    if (mips > uint32_t(MaxMipLevels(int32_t(w), int32_t(h)))) return false;
    levels = int32_t(mips);
  }
  size_t at = kHeaderBytes;
  for (int32_t i = 0; i < levels; ++i) {
    DdsLevel level;
    level.width = std::max<int32_t>(1, int32_t(w >> i));
    level.height = std::max<int32_t>(1, int32_t(h >> i));
    const size_t n = DdsLevelBytes(f, level.width, level.height);
    if (!d.Has(at, n)) return false;
    if (!singleLevel || i == 0) {
      level.bytes.assign(data, at, n);
      img.levels.push_back(std::move(level));
    }
    at += n;
  }
  if (singleLevel) {
    img.flags &= ~kDdsdMipMapCount;
    img.caps &= ~(kDdsCapsMipMap | kDdsCapsComplex);
  }
  *out = std::move(img);
  return true;
}

bool WriteDds(const DdsImage& img, std::string* out) {
  if (img.levels.empty()) return false;
  const DdsPixelFormat& f = img.format;
  const bool compressed = f.flags & kDdpfFourCC;
  const bool mipmapped = img.levels.size() > 1;
  std::string& d = *out;
  d.clear();
  PutLe(d, kMagic, 4);
  PutLe(d, 124, 4);
  PutLe(d, kDdsdCaps | kDdsdHeight | kDdsdWidth | kDdsdPixelFormat | (compressed ? uint32_t(kDdsdLinearSize) : uint32_t(kDdsdPitch)) |
               (mipmapped ? uint32_t(kDdsdMipMapCount) : 0u),
        4);
  PutLe(d, uint32_t(img.Height()), 4);
  PutLe(d, uint32_t(img.Width()), 4);
  PutLe(d, compressed ? uint32_t(img.levels[0].bytes.size()) : uint32_t(img.Width()) * (f.bits / 8), 4);
  PutLe(d, 0, 4);                                          // depth
  PutLe(d, mipmapped ? uint32_t(img.levels.size()) : 0, 4);
  d.append(4 + 4 + 4 + 32, '\0');                         // alpha depth, reserved, surface, colour keys
  PutLe(d, 32, 4);
  for (uint32_t v : {f.flags, f.fourCC, f.bits, f.red, f.green, f.blue, f.alpha}) PutLe(d, v, 4);
  PutLe(d, kDdsCapsTexture | (mipmapped ? uint32_t(kDdsCapsMipMap | kDdsCapsComplex) : 0u), 4);
  d.append(16, '\0');  // caps 2, 3, 4 and the texture stage
  for (const DdsLevel& level : img.levels) d += level.bytes;
  return true;
}

Picture DdsLevelPicture(const DdsImage& img, size_t index) {
  Picture p;
  if (index >= img.levels.size()) return p;
  const DdsLevel& level = img.levels[index];
  p.width = level.width;
  p.height = level.height;
  p.pixels.assign(size_t(p.width) * size_t(p.height), 0);
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(level.bytes.data());
  const int digit = img.Digit();
  if (digit >= 1) {
    DxtDecode(digit, bytes, p.width, p.height, p.pixels.data());
    return p;
  }
  const DdsPixelFormat& f = img.format;
  const MaskChannel r(f.red), g(f.green), b(f.blue), a((f.flags & kDdpfAlphaPixels) ? f.alpha : 0);
  const int32_t bpp = int32_t(f.bits / 8);
  for (size_t i = 0; i < p.pixels.size(); ++i) {
    const uint32_t v = LoadPixel(bytes + i * size_t(bpp), bpp);
    p.pixels[i] = a.Get(v, 255) << 24 | r.Get(v, 0) << 16 | g.Get(v, 0) << 8 | b.Get(v, 0);
  }
  return p;
}

SurfacePtr HalveSurface(const Surface& s) {
  const int32_t w = std::max(1, s.Width() / 2), h = std::max(1, s.Height() / 2);
  SurfacePtr out = SurfaceCreate(w, h, s.Format());
  if (!out) return nullptr;
  const PixelFormat& f = s.Format();
  const uint32_t masks[3] = {f.redMask, f.greenMask, f.blueMask};
  const int32_t fx = s.Width() > 1 ? 2 : 1, fy = s.Height() > 1 ? 2 : 1;
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      uint64_t sum[3] = {0, 0, 0};
      uint32_t n = 0;
      for (int32_t dy = -(fy / 2); dy < fy - fy / 2; ++dy)
        for (int32_t dx = -(fx / 2); dx < fx - fx / 2; ++dx) {
          const int32_t sx = x * fx + dx, sy = y * fy + dy;
          if (sx < 0 || sy < 0 || sx >= s.Width() || sy >= s.Height()) continue;
          const uint32_t p = s.GetPixel(sx, sy);
          for (int c = 0; c < 3; ++c) sum[c] += p & masks[c];
          ++n;
        }
      uint32_t v = 0;
      if (n)
        for (int c = 0; c < 3; ++c) v |= uint32_t(sum[c] / n) & masks[c];
      out->PutPixel(x, y, v);
    }
  return out;
}

bool MakeDxtImage(const Surface& s, int digit, int32_t maxLevels, bool keyed, DdsImage* out) {
  if (digit < 1 || digit > 5 || s.Depth() == 8) return false;
  DdsImage img;
  img.format.flags = kDdpfFourCC | ((digit == 2 || digit == 4) ? uint32_t(kDdpfAlphaPremult) : 0u);
  img.format.fourCC = DxtFourCC(digit);
  const int32_t levels = std::clamp(MaxMipLevels(s.Width(), s.Height()), 1, std::max(1, maxLevels));
  img.flags = kDdsdCaps | kDdsdHeight | kDdsdWidth | kDdsdPixelFormat | kDdsdLinearSize |
              (levels > 1 ? uint32_t(kDdsdMipMapCount) : 0u);
  img.caps = kDdsCapsTexture | (levels > 1 ? uint32_t(kDdsCapsMipMap | kDdsCapsComplex) : 0u);
  SurfacePtr halved;
  const Surface* level = &s;
  for (int32_t i = 0; i < levels; ++i) {
    if (i > 0) {
      halved = HalveSurface(*level);
      if (!halved) return false;
      level = halved.get();
    }
    Picture p = PictureOfSurface(*level);
    for (size_t k = 0; k < p.pixels.size(); ++k) {
      const int32_t x = int32_t(k % size_t(p.width)), y = int32_t(k / size_t(p.width));
      const bool clear = keyed && s.hasKey && level->GetPixel(x, y) == s.key;
      p.pixels[k] = (p.pixels[k] & 0xFFFFFF) | (clear ? 0u : 0xFF000000u);
    }
    DdsLevel blocks;
    blocks.width = p.width;
    blocks.height = p.height;
    blocks.bytes.assign(DxtLevelBytes(digit, p.width, p.height), '\0');
    DxtEncode(digit, p.pixels.data(), p.width, p.height, reinterpret_cast<uint8_t*>(blocks.bytes.data()));
    img.levels.push_back(std::move(blocks));
  }
  *out = std::move(img);
  return true;
}

bool DecodeDds(const std::string& data, PictureSink& sink) {
  DdsImage img;
  if (!ReadDds(data, true, &img)) return false;
  Picture p = DdsLevelPicture(img, 0);
  for (uint32_t& v : p.pixels) v &= 0xFFFFFF;
  return SendPicture(p, sink);
}
