// PCX files: 1-bit, 2 to 4 one-bit planes, 2 and 4-bit pixels, 8-bit with the palette (which
// it needs) at the file's end, and three or four 8-bit planes (red, green, blue; a fourth is
// left out).
#include <vector>

#include "display/imagefiles/file_bytes.h"
#include "display/imagefiles/formats.h"

namespace {

// The colours of eight-colour pictures (three one-bit planes).
const uint32_t kSixteenColours[16] = {0x000000, 0x0000AA, 0x00AA00, 0x00AAAA, 0xAA0000, 0xAA00AA,
                                      0xAA5500, 0xAAAAAA, 0x555555, 0x5555FF, 0x55FF55, 0x55FFFF,
                                      0xFF5555, 0xFF55FF, 0xFFFF55, 0xFFFFFF};

// The run-length stream: a byte with its two top bits set repeats the next byte (low six
// bits) times; any other byte stands for itself. The stream runs on across lines and ends
// where the data (or the 8-bit palette after it) does.
class RunReader {
 public:
  RunReader(const ByteView& d, size_t end) : d_(d), end_(end) {}
  // Fills out[0..n); the count of bytes the data had for it (the rest is zeroed).
  size_t Fill(uint8_t* out, size_t n) {
    for (size_t i = 0; i < n; ++i) {
      while (left_ == 0) {
        if (at_ >= end_) {
          for (size_t k = i; k < n; ++k) out[k] = 0;
          return i;
        }
        const uint8_t b = d_.U8(at_++);
        if ((b & 0xC0) == 0xC0) {
          if (at_ >= end_) {
            at_ = end_;
            continue;
          }
          left_ = b & 0x3F;
          value_ = d_.U8(at_++);
        } else {
          left_ = 1;
          value_ = b;
        }
      }
      out[i] = value_;
      --left_;
    }
    return n;
  }
  // True when no run goes on past the bytes filled.
  bool RunsEnded() const { return left_ == 0; }

 private:
  const ByteView& d_;
  size_t end_;
  size_t at_ = 128;
  uint32_t left_ = 0;
  uint8_t value_ = 0;
};

}  // namespace

bool DecodePcx(const std::string& data, PictureSink& sink) {
  ByteView d(data);
  if (d.Size() < 128 || d.U8(0) != 10) return false;
  const uint32_t bits = d.U8(3), planes = d.U8(65), bytesPerLine = d.Le16(66);
  const int64_t w = int64_t(d.Le16(8)) - int64_t(d.Le16(4)) + 1, h = int64_t(d.Le16(10)) - int64_t(d.Le16(6)) + 1;
  if (!PictureSizeOk(w, h)) return false;
  const bool planar1 = bits == 1 && planes >= 1 && planes <= 4;
  const bool packed = planes == 1 && (bits == 2 || bits == 4 || bits == 8);
  const bool rgb = bits == 8 && (planes == 3 || planes == 4);
  if (!planar1 && !packed && !rgb) return false;
  // Lines hold the width's bytes padded to an even (some writers: a four-byte) length; a
  // longer declared line would make the work grow past the picture's.
  const uint64_t need = (uint64_t(w) * bits + 7) / 8;
  if (bytesPerLine < need || bytesPerLine > (need + 3) / 4 * 4) return false;

  std::vector<uint32_t> palette(256, 0);
  const uint32_t total = bits * planes;
  size_t end = d.Size();
  if (total == 1) {
    palette[1] = 0xFFFFFF;
  } else if (total == 3) {
    for (int i = 0; i < 16; ++i) palette[size_t(i)] = kSixteenColours[i];
  } else if (total == 2 || total == 4) {
    for (size_t i = 0; i < 16; ++i)
      palette[i] = uint32_t(d.U8(16 + 3 * i)) << 16 | uint32_t(d.U8(17 + 3 * i)) << 8 | d.U8(18 + 3 * i);
  } else if (total == 8) {
    // The palette and its marker end the file; a picture without them has no colours.
    if (d.Size() < 128 + 769 || d.U8(d.Size() - 769) != 12) return false;
    const size_t at = d.Size() - 768;
    end = at - 1;  // the pixel data stops at the palette's marker
    for (size_t i = 0; i < 256; ++i)
      palette[i] = uint32_t(d.U8(at + 3 * i)) << 16 | uint32_t(d.U8(at + 3 * i + 1)) << 8 | d.U8(at + 3 * i + 2);
  }

  if (!sink.Begin(int32_t(w), int32_t(h))) return false;
  RunReader runs(d, end);
  std::vector<uint8_t> line(size_t(bytesPerLine) * planes);
  std::vector<uint32_t> row(static_cast<size_t>(w));
  // Data that ends before the picture does is refused; only the last line's padding may be
  // left out.
  const size_t lastLineNeeds = size_t(bytesPerLine) * (planes - 1) + need;
  for (int32_t y = 0; y < int32_t(h); ++y) {
    const size_t got = runs.Fill(line.data(), line.size());
    if (got < line.size() && (y + 1 < int32_t(h) || got < lastLineNeeds)) return false;
    for (int32_t x = 0; x < int32_t(w); ++x) {
      const size_t byte = size_t(x) / 8;
      const int bit = 7 - x % 8;
      uint32_t v;
      if (rgb) {
        v = uint32_t(line[size_t(x)]) << 16 | uint32_t(line[bytesPerLine + size_t(x)]) << 8 |
            line[2 * size_t(bytesPerLine) + size_t(x)];
      } else if (planar1) {
        uint32_t i = 0;
        for (uint32_t k = 0; k < planes; ++k) i |= uint32_t((line[k * bytesPerLine + byte] >> bit) & 1) << k;
        v = palette[i];
      } else if (bits == 2) {
        v = palette[(line[size_t(x) / 4] >> (6 - 2 * (x % 4))) & 3];
      } else if (bits == 4) {
        v = palette[(line[size_t(x) / 2] >> (x % 2 ? 0 : 4)) & 15];
      } else {
        v = palette[line[size_t(x)]];
      }
      row[size_t(x)] = v;
    }
    sink.Row(y, row.data());
  }
  // A run that goes on past the picture is damage, as in TGA and RLE BMP files.
  return runs.RunsEnded();
}
