// TARGA files: colour-mapped, true-colour and grey pictures, raw or run-length encoded, in
// any of the four origins; the writer makes 24-bit uncompressed bottom-up files.
#include <vector>

#include "display/imagefiles/file_bytes.h"
#include "display/imagefiles/formats.h"

namespace {

uint32_t Widen5(uint32_t v) { return (v << 3) | (v >> 2); }

// A pixel of bytes bytes (little-endian) as 0x00RRGGBB.
uint32_t TruePixel(uint32_t v, uint32_t bits) {
  if (bits <= 16) return Widen5((v >> 10) & 31) << 16 | Widen5((v >> 5) & 31) << 8 | Widen5(v & 31);
  return v & 0xFFFFFF;
}

// Pixels in stream order, from raw data or run-length packets (which may cross rows).
class PixelReader {
 public:
  PixelReader(const ByteView& d, size_t at, uint32_t bytes, bool runs) : d_(d), at_(at), bytes_(bytes), runs_(runs) {}
  bool Next(uint32_t* v) {
    if (runs_ && left_ == 0) {
      if (!d_.Has(at_, 1)) return false;
      const uint32_t head = d_.U8(at_++);
      left_ = (head & 0x7F) + 1;
      repeat_ = head & 0x80;
      if (repeat_ && !Read(&value_)) return false;
    }
    if (runs_) {
      --left_;
      if (repeat_) {
        *v = value_;
        return true;
      }
    }
    return Read(v);
  }
  // True when no packet runs on past the pixels read.
  bool PacketsEnded() const { return left_ == 0; }

 private:
  bool Read(uint32_t* v) {
    if (!d_.Has(at_, bytes_)) return false;
    *v = LoadPixel(d_.Data() + at_, int32_t(bytes_));
    at_ += bytes_;
    return true;
  }
  const ByteView& d_;
  size_t at_;
  uint32_t bytes_;
  bool runs_;
  uint32_t left_ = 0, value_ = 0;
  bool repeat_ = false;
};

}  // namespace

bool DecodeTga(const std::string& data, PictureSink& sink) {
  ByteView d(data);
  if (d.Size() < 18) return false;
  const uint32_t idLength = d.U8(0), mapType = d.U8(1), type = d.U8(2);
  const uint32_t mapFirst = d.Le16(3), mapLength = d.Le16(5), mapBits = d.U8(7);
  const int64_t w = d.Le16(12), h = d.Le16(14);
  const uint32_t bits = d.U8(16), descriptor = d.U8(17);
  const uint32_t kind = type & 7;  // 1 mapped, 2 true colour, 3 grey
  const bool runs = type & 8;
  if (mapType > 1 || (type & ~11u) || kind == 0 || !PictureSizeOk(w, h)) return false;

  size_t at = 18 + idLength;
  std::vector<uint32_t> map;
  if (mapType == 1) {
    if (mapBits != 15 && mapBits != 16 && mapBits != 24 && mapBits != 32) return false;
    const uint32_t entry = (mapBits + 7) / 8;
    if (!d.Has(at, size_t(mapLength) * entry)) return false;
    for (uint32_t i = 0; i < mapLength; ++i) map.push_back(TruePixel(LoadPixel(d.Data() + at + i * entry, int32_t(entry)), mapBits));
    at += size_t(mapLength) * entry;
  }
  if (kind == 1 && (mapType != 1 || (bits != 8 && bits != 16))) return false;
  if (kind == 2 && bits != 15 && bits != 16 && bits != 24 && bits != 32) return false;
  if (kind == 3 && bits != 8 && bits != 16) return false;
  const uint32_t bytes = (bits + 7) / 8;
  if (!runs && !d.Has(at, size_t(w) * size_t(h) * bytes)) return false;

  if (!sink.Begin(int32_t(w), int32_t(h))) return false;
  PixelReader in(d, at, bytes, runs);
  std::vector<uint32_t> row(static_cast<size_t>(w));
  const bool top = descriptor & 0x20, right = descriptor & 0x10;
  for (int64_t r = 0; r < h; ++r) {
    for (int64_t c = 0; c < w; ++c) {
      uint32_t v;
      if (!in.Next(&v)) return false;
      if (kind == 1) {
        // The map holds entries mapFirst on: an index outside them names no colour.
        if (v < mapFirst || v - mapFirst >= map.size()) return false;
        v = map[v - mapFirst];
      } else if (kind == 2) {
        v = TruePixel(v, bits);
      } else {
        v &= 255;
        v = v << 16 | v << 8 | v;
      }
      row[size_t(right ? w - 1 - c : c)] = v;
    }
    sink.Row(int32_t(top ? r : h - 1 - r), row.data());
  }
  // A packet that runs past the picture is damage, as a run past an RLE BMP is.
  return in.PacketsEnded();
}

bool EncodeTga(const Picture& p, std::string* out) {
  if (!PictureSizeOk(p.width, p.height) || p.width > 65535 || p.height > 65535) return false;
  std::string& d = *out;
  d.assign(18, '\0');
  d[2] = 2;
  d[12] = char(p.width);
  d[13] = char(p.width >> 8);
  d[14] = char(p.height);
  d[15] = char(p.height >> 8);
  d[16] = 24;
  d.reserve(18 + size_t(p.width) * size_t(p.height) * 3);
  for (int32_t r = p.height - 1; r >= 0; --r)
    for (int32_t x = 0; x < p.width; ++x) PutLe(d, p.At(x, r), 3);
  return true;
}
