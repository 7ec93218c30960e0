#include "display/imagefiles/picture.h"

#include <cstring>
#include <new>

namespace {

thread_local bool t_tooLarge = false;

int32_t BitLength(uint32_t m) {
  int32_t n = 0;
  for (; m; m >>= 1) ++n;
  return n;
}

}  // namespace

bool PictureSizeOk(int64_t width, int64_t height) {
  if (width < 1 || height < 1) return false;
  const bool ok = width <= kMaxPictureSide && height <= kMaxPictureSide && width * height <= kMaxPicturePixels;
  if (!ok) t_tooLarge = true;
  return ok;
}

void ForgetPictureTooLarge() { t_tooLarge = false; }
bool PictureWasTooLarge() { return t_tooLarge; }

RowConverter::RowConverter(const PixelFormat& f) : bits_(f.bits) {
  const uint32_t masks[3] = {f.redMask, f.greenMask, f.blueMask};
  for (int i = 0; i < 3; ++i) {
    uint32_t m = masks[i];
    int32_t low = 0;
    while (m && !(m & 1)) {
      m >>= 1;
      ++low;
    }
    shift_[i] = low;
    width_[i] = m ? BitLength(m) : 0;
    if (width_[i] > 8) width_[i] = 8;
  }
}

void RowConverter::Convert(const uint32_t* rgb, int32_t count, uint8_t* out) const {
  switch (bits_) {
    case 32:
      for (int32_t i = 0; i < count; ++i) StorePixel(out + 4 * i, 4, rgb[i] & 0xFFFFFF);
      return;
    case 24:
      for (int32_t i = 0; i < count; ++i) StorePixel(out + 3 * i, 3, rgb[i]);
      return;
    case 16:
      if (shift_[0] == 11 && width_[0] == 5 && shift_[1] == 5 && width_[1] == 6 && shift_[2] == 0 && width_[2] == 5) {
        for (int32_t i = 0; i < count; ++i) {
          const uint32_t v = rgb[i];
          const uint32_t p = ((v >> 8) & 0xF800) | ((v >> 5) & 0x07E0) | ((v >> 3) & 0x001F);
          out[2 * i] = uint8_t(p);
          out[2 * i + 1] = uint8_t(p >> 8);
        }
        return;
      }
      break;
    default: break;
  }
  const int32_t bpp = bits_ / 8;
  for (int32_t i = 0; i < count; ++i) {
    const uint32_t v = rgb[i];
    const uint32_t ch[3] = {(v >> 16) & 255, (v >> 8) & 255, v & 255};
    uint32_t p = 0;
    for (int c = 0; c < 3; ++c)
      if (width_[c]) p |= (ch[c] >> (8 - width_[c])) << shift_[c];
    StorePixel(out + bpp * i, bpp, p);
  }
}

bool SurfaceSink::Begin(int32_t width, int32_t height) {
  // The size passed PictureSizeOk and the format is one of a depth: only memory can fail.
  surface_ = SurfaceCreate(width, height, format_);
  memoryRanOut = surface_ == nullptr;
  return surface_ != nullptr;
}

void SurfaceSink::Row(int32_t y, const uint32_t* rgb) {
  if (surface_ && y >= 0 && y < surface_->Height()) convert_.Convert(rgb, surface_->Width(), surface_->Row(y));
}

uint8_t* SurfaceSink::Row565(int32_t y) {
  const PixelFormat& f = format_;
  if (!surface_ || y < 0 || y >= surface_->Height() || f.bits != 16 || f.redMask != 0xF800 || f.greenMask != 0x07E0 ||
      f.blueMask != 0x001F)
    return nullptr;
  return surface_->Row(y);
}

bool PictureBuffer::Begin(int32_t width, int32_t height) {
  try {
    picture.pixels.assign(size_t(width) * size_t(height), 0);
  } catch (const std::bad_alloc&) {
    memoryRanOut = true;
    return false;
  }
  picture.width = width;
  picture.height = height;
  return true;
}

void PictureBuffer::Row(int32_t y, const uint32_t* rgb) {
  if (y >= 0 && y < picture.height)
    std::memcpy(picture.pixels.data() + size_t(y) * size_t(picture.width), rgb, size_t(picture.width) * 4);
}

bool SendPicture(const Picture& p, PictureSink& sink) {
  if (!PictureSizeOk(p.width, p.height) || !sink.Begin(p.width, p.height)) return false;
  for (int32_t y = 0; y < p.height; ++y) sink.Row(y, p.pixels.data() + size_t(y) * size_t(p.width));
  return true;
}

Picture PictureOfSurface(const Surface& s) {
  Picture p;
  p.width = s.Width();
  p.height = s.Height();
  p.pixels.resize(size_t(p.width) * size_t(p.height));
  const PixelFormat& f = s.Format();
  size_t k = 0;
  for (int32_t y = 0; y < p.height; ++y)
    for (int32_t x = 0; x < p.width; ++x) {
      const uint32_t v = s.GetPixel(x, y);
      p.pixels[k++] = s.Depth() == 8 ? (v < s.palette.size() ? s.palette[v] & 0xFFFFFF : 0) : ExpandPixelToRgb(f, v);
    }
  return p;
}
