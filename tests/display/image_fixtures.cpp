#include "tests/display/image_fixtures.h"

#include <tiffio.h>

#include <algorithm>

const uint32_t kFixtureColours[16] = {0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0x00FFFF, 0xFF00FF,
                                      0xE7E7E7, 0xE70000, 0x00E700, 0x0000E7, 0xE7FF00, 0x00E7FF, 0xFF00E7, 0x181818};

namespace {

void Put(std::string& d, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) d.push_back(char(v >> (8 * i)));
}
void PutBe(std::string& d, uint32_t v, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) d.push_back(char(v >> (8 * i)));
}

int IndexOf(uint32_t rgb) {
  for (int i = 0; i < 16; ++i)
    if (kFixtureColours[i] == rgb) return i;
  return 0;
}

uint32_t To555(uint32_t v) { return ((v >> 19) & 31) << 10 | ((v >> 11) & 31) << 5 | ((v >> 3) & 31); }
uint32_t To565(uint32_t v) { return ((v >> 19) & 31) << 11 | ((v >> 10) & 63) << 5 | ((v >> 3) & 31); }

// Rows of palette indices, bits per pixel, padded to 4 bytes.
std::string IndexRow(const Picture& p, int32_t y, int bits, size_t pad) {
  std::string row((size_t(p.width) * size_t(bits) + 7) / 8, '\0');
  for (int32_t x = 0; x < p.width; ++x) {
    const int bit = 8 - bits - int(size_t(x) * size_t(bits) % 8);
    row[size_t(x) * size_t(bits) / 8] = char(uint8_t(row[size_t(x) * size_t(bits) / 8]) | IndexOf(p.At(x, y)) << bit);
  }
  row.resize((row.size() + pad - 1) / pad * pad, '\0');
  return row;
}

// RLE4 / RLE8: a run of two equal pixels, then the rest of the row in absolute mode
// (at least three pixels) or as single runs.
std::string RleRows(const Picture& p, int bits) {
  std::string d;
  for (int32_t y = p.height - 1; y >= 0; --y) {
    int32_t x = 0;
    auto idx = [&](int32_t at) { return uint32_t(IndexOf(p.At(at, y))); };
    if (p.width >= 2) {
      if (bits == 4) {
        d.push_back(2);
        d.push_back(char(idx(0) << 4 | idx(1)));
      } else {
        d += {1, char(idx(0)), 1, char(idx(1))};
      }
      x = 2;
    }
    const int32_t rest = p.width - x;
    if (rest >= 3) {
      d.push_back(0);
      d.push_back(char(rest));
      std::string bytes;
      for (int32_t i = 0; i < rest; ++i) {
        if (bits == 8) {
          bytes.push_back(char(idx(x + i)));
        } else if (i % 2 == 0) {
          bytes.push_back(char(idx(x + i) << 4));
        } else {
          bytes.back() = char(uint8_t(bytes.back()) | idx(x + i));
        }
      }
      if (bytes.size() % 2) bytes.push_back(0);
      d += bytes;
    } else {
      for (; x < p.width; ++x) {
        d.push_back(1);
        d.push_back(char(bits == 4 ? idx(x) << 4 : idx(x)));
      }
    }
    d.push_back(0);
    d.push_back(0);
  }
  d.push_back(0);
  d.push_back(1);
  return d;
}

std::string PcxRuns(const std::string& line) {
  std::string d;
  for (size_t i = 0; i < line.size();) {
    size_t n = 1;
    while (i + n < line.size() && n < 63 && line[i + n] == line[i]) ++n;
    if (n > 1 || (uint8_t(line[i]) & 0xC0) == 0xC0) d.push_back(char(0xC0 | n));
    d.push_back(line[i]);
    i += n;
  }
  return d;
}

std::string PackBits(const std::string& in) {
  std::string d;
  for (size_t i = 0; i < in.size();) {
    size_t n = 1;
    while (i + n < in.size() && n < 128 && in[i + n] == in[i]) ++n;
    if (n >= 2) {
      d.push_back(char(257 - n));
      d.push_back(in[i]);
      i += n;
    } else {
      size_t m = 1;
      while (i + m < in.size() && m < 128 && in[i + m] != in[i + m - 1]) ++m;
      d.push_back(char(m - 1));
      d.append(in, i, m);
      i += m;
    }
  }
  return d;
}

}  // namespace

Picture FixturePicture(int32_t w, int32_t h, int colours) {
  Picture p;
  p.width = w;
  p.height = h;
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) p.pixels.push_back(kFixtureColours[(x * 3 + y * 5 + x * y) % colours]);
  return p;
}

std::string MakeBmp(const Picture& p, int bits, BmpKind kind, bool topDown) {
  const bool core = kind == BmpKind::Core, palette = bits <= 8;
  const uint32_t header = core ? 12 : 40, entry = core ? 3 : 4, colours = palette ? 1u << bits : 0;
  const uint32_t masks = kind == BmpKind::Bitfields ? 12 : 0;
  const uint32_t offset = 14 + header + masks + colours * entry;
  std::string pixels;
  if (kind == BmpKind::Rle) {
    pixels = RleRows(p, bits);
  } else {
    for (int32_t r = 0; r < p.height; ++r) {
      const int32_t y = topDown ? r : p.height - 1 - r;
      std::string row;
      if (palette) {
        row = IndexRow(p, y, bits, 4);
      } else {
        for (int32_t x = 0; x < p.width; ++x) {
          const uint32_t v = p.At(x, y);
          if (bits == 16) Put(row, kind == BmpKind::Bitfields ? To565(v) : To555(v), 2);
          if (bits == 24) Put(row, v, 3);
          if (bits == 32) Put(row, kind == BmpKind::Bitfields ? v << 8 : v, 4);
        }
        row.resize((row.size() + 3) / 4 * 4, '\0');
      }
      pixels += row;
    }
  }
  std::string d = "BM";
  Put(d, offset + uint32_t(pixels.size()), 4);
  Put(d, 0, 4);
  Put(d, offset, 4);
  Put(d, header, 4);
  if (core) {
    Put(d, uint32_t(p.width), 2);
    Put(d, uint32_t(p.height), 2);
    Put(d, 1, 2);
    Put(d, uint32_t(bits), 2);
  } else {
    Put(d, uint32_t(p.width), 4);
    Put(d, uint32_t(topDown ? -p.height : p.height), 4);
    Put(d, 1, 2);
    Put(d, uint32_t(bits), 2);
    Put(d, kind == BmpKind::Rle ? (bits == 8 ? 1 : 2) : kind == BmpKind::Bitfields ? 3 : 0, 4);
    Put(d, uint32_t(pixels.size()), 4);
    for (int i = 0; i < 4; ++i) Put(d, 0, 4);
  }
  if (kind == BmpKind::Bitfields) {
    const bool wide = bits == 32;
    for (uint32_t m : {wide ? 0xFF000000u : 0xF800u, wide ? 0x00FF0000u : 0x07E0u, wide ? 0x0000FF00u : 0x001Fu})
      Put(d, m, 4);
  }
  for (uint32_t i = 0; i < colours; ++i) Put(d, kFixtureColours[i % 16], int(entry));
  return d + pixels;
}

std::string MakePcx(const Picture& p, int planes, int bits) {
  std::string d(128, '\0');
  const uint32_t bytesPerLine = ((uint32_t(p.width) * uint32_t(bits) + 15) / 16) * 2;
  d[0] = 10;
  d[1] = 5;
  d[2] = 1;
  d[3] = char(bits);
  d[8] = char(p.width - 1);
  d[9] = char((p.width - 1) >> 8);
  d[10] = char(p.height - 1);
  d[11] = char((p.height - 1) >> 8);
  for (int i = 0; i < 16; ++i)
    for (int c = 0; c < 3; ++c) d[size_t(16 + 3 * i + c)] = char(kFixtureColours[i] >> (16 - 8 * c));
  d[65] = char(planes);
  d[66] = char(bytesPerLine);
  d[67] = char(bytesPerLine >> 8);
  for (int32_t y = 0; y < p.height; ++y) {
    std::string line(bytesPerLine * uint32_t(planes), '\0');
    for (int32_t x = 0; x < p.width; ++x) {
      const uint32_t v = p.At(x, y);
      if (bits == 8 && planes == 3) {
        for (int k = 0; k < 3; ++k) line[size_t(k) * bytesPerLine + size_t(x)] = char(v >> (16 - 8 * k));
      } else if (bits == 8) {
        line[size_t(x)] = char(IndexOf(v));
      } else {
        for (int k = 0; k < planes; ++k)
          if ((IndexOf(v) >> k) & 1) line[size_t(k) * bytesPerLine + size_t(x) / 8] |= char(0x80 >> (x % 8));
      }
    }
    d += PcxRuns(line);
  }
  if (bits == 8 && planes == 1) {
    d.push_back(12);
    for (int i = 0; i < 256; ++i)
      for (int c = 0; c < 3; ++c) d.push_back(char(kFixtureColours[i % 16] >> (16 - 8 * c)));
  }
  return d;
}

std::string MakePsd(const Picture& p, bool packBits, int channels) {
  std::string d = "8BPS";
  PutBe(d, 1, 2);
  d.append(6, '\0');
  PutBe(d, uint32_t(channels), 2);
  PutBe(d, uint32_t(p.height), 4);
  PutBe(d, uint32_t(p.width), 4);
  PutBe(d, 8, 2);
  PutBe(d, 3, 2);
  PutBe(d, 0, 4);  // colour-mode data
  PutBe(d, 4, 4);  // image resources: four bytes of filler
  d.append(4, 'x');
  PutBe(d, 0, 4);  // layers and masks
  PutBe(d, packBits ? 1 : 0, 2);
  std::vector<std::string> planes(static_cast<size_t>(channels));
  for (int c = 0; c < channels; ++c)
    for (uint32_t v : p.pixels) planes[size_t(c)].push_back(c < 3 ? char(v >> (16 - 8 * c)) : char(0x7F));
  if (!packBits) {
    for (const std::string& plane : planes) d += plane;
    return d;
  }
  std::string runs;
  for (const std::string& plane : planes)
    for (int32_t y = 0; y < p.height; ++y) {
      std::string row = PackBits(plane.substr(size_t(y) * size_t(p.width), size_t(p.width)));
      PutBe(d, uint32_t(row.size()), 2);
      runs += row;
    }
  return d + runs;
}

std::string MakeTgaRle(const Picture& p) {
  std::string d(18, '\0');
  d[2] = 10;
  d[12] = char(p.width);
  d[13] = char(p.width >> 8);
  d[14] = char(p.height);
  d[15] = char(p.height >> 8);
  d[16] = 24;
  d[17] = 0x20;  // top-left origin
  // Runs of equal pixels and raw packets, crossing rows freely.
  for (size_t i = 0; i < p.pixels.size();) {
    size_t n = 1;
    while (i + n < p.pixels.size() && n < 128 && p.pixels[i + n] == p.pixels[i]) ++n;
    if (n > 1) {
      d.push_back(char(0x80 | (n - 1)));
      Put(d, p.pixels[i], 3);
    } else {
      d.push_back(0);
      Put(d, p.pixels[i], 3);
    }
    i += n;
  }
  return d;
}

std::string MakeDds(const Picture& p, int bits, int levels) {
  std::string d = "DDS ";
  Put(d, 124, 4);
  Put(d, 0x1 | 0x2 | 0x4 | 0x8 | 0x1000 | (levels > 1 ? 0x20000 : 0), 4);
  Put(d, uint32_t(p.height), 4);
  Put(d, uint32_t(p.width), 4);
  Put(d, uint32_t(p.width * bits / 8), 4);
  Put(d, 0, 4);
  Put(d, uint32_t(levels), 4);
  d.append(44, '\0');
  Put(d, 32, 4);
  Put(d, bits == 32 ? 0x41 : 0x40, 4);
  Put(d, 0, 4);
  Put(d, uint32_t(bits), 4);
  for (uint32_t m : bits == 32 ? std::vector<uint32_t>{0xFF0000, 0xFF00, 0xFF, 0xFF000000}
                               : std::vector<uint32_t>{0xF800, 0x07E0, 0x001F, 0})
    Put(d, m, 4);
  Put(d, 0x1000 | (levels > 1 ? 0x400008 : 0), 4);
  d.append(16, '\0');
  for (int level = 0; level < levels; ++level) {
    const int32_t w = std::max(1, p.width >> level), h = std::max(1, p.height >> level);
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) {
        const uint32_t v = p.At(x << level, y << level);
        Put(d, bits == 32 ? v | 0xFF000000 : To565(v), bits / 8);
      }
  }
  return d;
}

bool WriteTiff(const Picture& p, const std::string& path) {
  TIFF* t = TIFFOpen(path.c_str(), "w");
  if (!t) return false;
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, uint32_t(p.width));
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, uint32_t(p.height));
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 2);
  bool ok = true;
  for (int32_t y = 0; y < p.height && ok; ++y) {
    std::string row;
    for (int32_t x = 0; x < p.width; ++x)
      for (int c = 0; c < 3; ++c) row.push_back(char(p.At(x, y) >> (16 - 8 * c)));
    ok = TIFFWriteScanline(t, row.data(), uint32_t(y), 0) == 1;
  }
  TIFFClose(t);
  return ok;
}
