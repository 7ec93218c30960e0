// Image file readers and writers: fixtures of every kind load into exactly their pictures;
// bad files fail cleanly; saves go through a temporary file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstdlib>
#include <functional>

#include "display/display.h"
#include "display/imagefiles/dds.h"
#include "display/imagefiles/dxt.h"
#include "display/imagefiles/file_bytes.h"
#include "display/imagefiles/formats.h"
#include "display/imagefiles/image_files.h"
#include "display/imagefiles/surface_files.h"
#include "platform/fs.h"
#include "tests/display/image_fixtures.h"
#include "tests/support/temp_dir.h"

namespace {

bool Decode(const std::string& data, const std::string& ext, Picture* out) {
  PictureBuffer buffer;
  if (!LoadPictureFromMemory(data, ext, buffer)) return false;
  *out = std::move(buffer.picture);
  return true;
}

void ExpectSame(const Picture& want, const Picture& got, const std::string& what, int tolerance = 0) {
  ASSERT_EQ(got.width, want.width) << what;
  ASSERT_EQ(got.height, want.height) << what;
  for (int32_t y = 0; y < want.height; ++y)
    for (int32_t x = 0; x < want.width; ++x)
      for (int shift : {0, 8, 16}) {
        const int a = int((want.At(x, y) >> shift) & 255), b = int((got.At(x, y) >> shift) & 255);
        ASSERT_LE(std::abs(a - b), tolerance) << what << " at " << x << "," << y;
      }
}

TEST(ImageFiles, FixturesOfEveryKindLoadExactly) {
  const Picture two = FixturePicture(13, 5, 2), sixteen = FixturePicture(13, 5, 16), many = FixturePicture(9, 7, 16);
  struct Case {
    const char* what;
    const char* ext;
    std::string data;
    const Picture& want;
  };
  const Case cases[] = {
      {"bmp 1", "bmp", MakeBmp(two, 1), two},
      {"bmp 4", "bmp", MakeBmp(sixteen, 4), sixteen},
      {"bmp 8", "bmp", MakeBmp(sixteen, 8), sixteen},
      {"bmp rle4", "rle", MakeBmp(sixteen, 4, BmpKind::Rle), sixteen},
      {"bmp rle8", "dib", MakeBmp(sixteen, 8, BmpKind::Rle), sixteen},
      {"bmp 16", "bmp", MakeBmp(sixteen, 16), sixteen},
      {"bmp 16 fields", "bmp", MakeBmp(sixteen, 16, BmpKind::Bitfields), sixteen},
      {"bmp 24", "bmp", MakeBmp(sixteen, 24), sixteen},
      {"bmp 32", "bmp", MakeBmp(sixteen, 32), sixteen},
      {"bmp 32 fields", "bmp", MakeBmp(sixteen, 32, BmpKind::Bitfields), sixteen},
      {"bmp top-down", "bmp", MakeBmp(sixteen, 24, BmpKind::Rgb, true), sixteen},
      {"bmp core 4", "bmp", MakeBmp(sixteen, 4, BmpKind::Core), sixteen},
      {"bmp core 24", "bmp", MakeBmp(sixteen, 24, BmpKind::Core), sixteen},
      {"pcx 1", "pcx", MakePcx(two, 1, 1), two},
      {"pcx 4 planes", "pcx", MakePcx(sixteen, 4, 1), sixteen},
      {"pcx 8", "pcx", MakePcx(many, 1, 8), many},
      {"pcx 24", "pcx", MakePcx(many, 3, 8), many},
      {"psd raw", "psd", MakePsd(many, false), many},
      {"psd packbits", "psd", MakePsd(many, true, 4), many},
      {"tga rle", "tga", MakeTgaRle(many), many},
      {"dds 32", "dds", MakeDds(many, 32, 3), many},
      {"dds 16", "dds", MakeDds(many, 16, 1), many},
  };
  for (const Case& c : cases) {
    Picture got;
    ASSERT_TRUE(Decode(c.data, c.ext, &got)) << c.what;
    ExpectSame(c.want, got, c.what);
  }
}

TEST(ImageFiles, OurWritersReadBack) {
  SurfacePtr s = SurfaceCreate(37, 21, 32);
  const Picture want = FixturePicture(37, 21, 16);
  for (int32_t y = 0; y < 21; ++y)
    for (int32_t x = 0; x < 37; ++x) s->PutPixel(x, y, want.At(x, y));
  for (const char* ext : {"bmp", "rle", "dib", "tga", "png"}) {
    std::string data;
    ASSERT_TRUE(EncodeImage(*s, ext, &data)) << ext;
    Picture got;
    ASSERT_TRUE(Decode(data, ext, &got)) << ext;
    ExpectSame(want, got, ext);
  }
  // JPEG: squares of one colour on the blocks of its colour sampling come back close.
  SurfacePtr squares = SurfaceCreate(64, 32, 32);
  Picture flat = FixturePicture(64, 32, 1);
  for (int32_t y = 0; y < 32; ++y)
    for (int32_t x = 0; x < 64; ++x) {
      flat.pixels[size_t(y) * 64 + size_t(x)] = kFixtureColours[(x / 16 + 3 * (y / 16)) % 16];
      squares->PutPixel(x, y, flat.At(x, y));
    }
  std::string jpg;
  ASSERT_TRUE(EncodeImage(*squares, "jpg", &jpg));
  Picture got;
  ASSERT_TRUE(Decode(jpg, "jpg", &got));
  ASSERT_EQ(got.width, 64);
  // A file that lacks its end marker alone is whole; one that lacks picture data is cut.
  Picture whole, cut;
  EXPECT_TRUE(Decode(jpg.substr(0, jpg.size() - 2), "jpg", &whole));
  EXPECT_EQ(whole.pixels, got.pixels);
  EXPECT_FALSE(Decode(jpg.substr(0, jpg.size() - 40), "jpg", &cut));
  // Into a 5-6-5 surface the library converts itself: the same channels, cut.
  SurfacePtr narrow = LoadImageFromMemory(jpg, "jpg", 16);
  ASSERT_NE(narrow, nullptr);
  for (int32_t y = 0; y < 32; ++y)
    for (int32_t x = 0; x < 64; ++x) ASSERT_EQ(narrow->GetPixel(x, y), NarrowRgbToPixel(narrow->Format(), got.At(x, y)));
  for (int32_t y = 0; y < 32; ++y)
    for (int32_t x = 0; x < 64; ++x)
      for (int shift : {0, 8, 16}) {
        // Colour is sampled at half size and spread back smoothly: square edges blur.
        if (x % 16 < 2 || x % 16 >= 14 || y % 16 < 2 || y % 16 >= 14) continue;
        ASSERT_LE(std::abs(int((flat.At(x, y) >> shift) & 255) - int((got.At(x, y) >> shift) & 255)), 8)
            << x << "," << y;
      }
  for (const char* ext : {"tif", "psd", "pcx", "gif"}) {
    std::string data;
    EXPECT_FALSE(EncodeImage(*s, ext, &data)) << ext;
  }
}

TEST(ImageFiles, TiffAndGreyPngThroughTheLibraries) {
  TempDir dir;
  const Picture want = FixturePicture(11, 6, 16);
  ASSERT_TRUE(WriteTiff(want, dir.File("a.tif")));
  SurfacePtr s = LoadImageByExtension(dir.File("a.tif"), 32);
  ASSERT_NE(s, nullptr);
  ExpectSame(want, PictureOfSurface(*s), "tif");
}

TEST(ImageFiles, DdsSaveIsDxt1WithAsManyMipLevelsAsTheSizeAllows) {
  for (auto [w, h, levels] : {std::tuple{64, 32, 5}, {4, 4, 3}, {1, 1, 1}, {5, 2, 3}}) {
    SurfacePtr s = SurfaceCreate(w, h, 16);
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) s->PutPixel(x, y, (x / 8 + y / 8) % 2 ? 0xF800 : 0x001F);
    std::string data;
    ASSERT_TRUE(EncodeImage(*s, "dds", &data));
    DdsImage img;
    ASSERT_TRUE(ReadDds(data, false, &img));
    EXPECT_EQ(img.Digit(), 1);
    ASSERT_EQ(int(img.levels.size()), levels) << w << "x" << h;
    EXPECT_EQ(img.levels.back().width, std::max(1, w >> (levels - 1)));
    // Two-colour blocks are exact in DXT1.
    const Picture top = DdsLevelPicture(img, 0);
    EXPECT_EQ(top.At(0, 0) & 0xFFFFFF, 0x0000FFu);
    if (w >= 16) {
      EXPECT_EQ(top.At(8, 0) & 0xFFFFFF, 0xFF0000u);
    }
  }
}

TEST(ImageFiles, DxtCodecsKeepFlatBlocksAndTransparency) {
  uint32_t texels[64];
  for (int i = 0; i < 64; ++i) texels[i] = (i % 8 < 4 ? 0xFF204080u : 0xFFC0A060u);
  texels[9] = 0x00000000;  // a transparent texel
  for (int digit = 1; digit <= 5; ++digit) {
    uint8_t blocks[64];
    DxtEncode(digit, texels, 8, 8, blocks);
    uint32_t out[64];
    DxtDecode(digit, blocks, 8, 8, out);
    for (int i = 0; i < 64; ++i) {
      if (i == 9) {
        EXPECT_LT(out[i] >> 24, 128u) << digit;
        continue;
      }
      for (int shift : {0, 8, 16})
        EXPECT_LE(std::abs(int((out[i] >> shift) & 255) - int((texels[i] >> shift) & 255)), 8) << digit << " " << i;
      EXPECT_EQ(out[i] >> 24, 255u) << digit << " " << i;
    }
  }
}

TEST(ImageFiles, BadFilesFailCleanly) {
  const Picture p = FixturePicture(9, 7, 16);
  auto with = [](std::string d, size_t at, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) d[at + size_t(i)] = char(v >> (8 * i));
    return d;
  };
  auto le = [](const std::string& d, size_t at, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | uint8_t(d[at + size_t(i)]);
    return v;
  };
  const std::string bmp8 = MakeBmp(p, 8), dds = MakeDds(p, 32, 3), psd = MakePsd(p, true);
  const std::string pcx24 = MakePcx(p, 3, 8), pcx8 = MakePcx(p, 1, 8), tgaRle = MakeTgaRle(p);
  const std::string rle8 = MakeBmp(p, 8, BmpKind::Rle), bitfields = MakeBmp(p, 16, BmpKind::Bitfields);
  // RLE8 rows of 9 pixels of colour 1 after the header and palette, without the end mark.
  const std::string twoRleRows = rle8.substr(0, le(rle8, 10, 4)) + std::string("\x09\x01\0\0\x09\x01\0\0", 8);
  // A 2 x 1 TARGA of 8-bit indices into a 24-bit map of 2 entries that starts at entry `first`.
  auto mappedTga = [](char first, char a, char b) {
    std::string d(18, '\0');
    d[1] = d[2] = 1;
    d[3] = first;
    d[5] = 2;
    d[7] = 24;
    d[12] = 2;
    d[14] = 1;
    d[16] = 8;
    return d + std::string(6, '\x40') + a + b;
  };
  // A 2 x 1 PNG of 8-bit indices into a palette of 4 colours.
  auto palettePng = [](char a, char b) {
    auto be32 = [](uint32_t v) { return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; };
    auto chunk = [&](const std::string& type, const std::string& data) {
      const std::string body = type + data;
      return be32(uint32_t(data.size())) + body +
             be32(uint32_t(crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()))));
    };
    const std::string rows{'\0', a, b};
    std::string z(64, '\0');
    uLongf size = z.size();
    compress(reinterpret_cast<Bytef*>(z.data()), &size, reinterpret_cast<const Bytef*>(rows.data()), rows.size());
    z.resize(size);
    return "\x89PNG\r\n\x1a\n" + chunk("IHDR", std::string("\0\0\0\x02\0\0\0\x01\x08\x03\0\0\0", 13)) +
           chunk("PLTE", std::string(12, '\x40')) + chunk("IDAT", z) + chunk("IEND", "");
  };
  // PCX runs (at most 63 bytes each) that fill n bytes.
  auto pcxRuns = [](size_t n) {
    std::string s;
    for (; n; n -= std::min<size_t>(n, 63)) s += {char(0xC0 | std::min<size_t>(n, 63)), '\x07'};
    return s;
  };
  const size_t pcxBytes = 3 * le(pcx24, 66, 2) * size_t(p.height);
  // A TIFF with one field of its directory changed.
  TempDir dir;
  ASSERT_TRUE(WriteTiff(p, dir.File("a.tif")));
  const std::string tif = dir.Read("a.tif");
  auto tiffField = [&](uint32_t tag, uint32_t v) {
    std::string d = tif;
    const size_t ifd = le(d, 4, 4);
    for (size_t k = 0, at = ifd + 2; k < le(d, ifd, 2); ++k, at += 12)
      if (le(d, at, 2) == tag)
        for (int i = 0; i < (le(d, at + 2, 2) == 3 ? 2 : 4); ++i) d[at + 8 + size_t(i)] = char(v >> (8 * i));
    return d;
  };
  // A JPEG whose scan data starts with bits that are no Huffman code.
  std::string jpg;
  ASSERT_TRUE(EncodeJpeg(FixturePicture(32, 32, 16), 90, &jpg));
  const size_t sos = jpg.find("\xFF\xDA"), scan = sos + 2 + (le(jpg, sos + 2, 1) << 8 | le(jpg, sos + 3, 1));
  jpg.replace(scan, 6, std::string("\xFF\0\xFF\0\xFF\0", 6));
  const std::pair<const char*, std::string> good[] = {
      {"tga", mappedTga(2, 2, 3)},
      {"png", palettePng(0, 3)},
      {"bmp", twoRleRows + std::string("\0\x01", 2)},  // the end mark leaves the other rows black
      {"pcx", pcx24.substr(0, 128) + pcxRuns(pcxBytes)},
      {"tif", tif},
  };
  for (size_t i = 0; i < std::size(good); ++i) {
    Picture got;
    EXPECT_TRUE(Decode(good[i].second, good[i].first, &got)) << "good case " << i;
  }
  const std::pair<const char*, std::string> bad[] = {
      {"bmp", with(bmp8, 46, 70000, 4)},                       // more palette colours than 8 bits hold
      {"bmp", with(bmp8, 18, 20000, 4)},                       // wider than any picture
      {"bmp", with(bmp8, 10, 0xFFFFFF00u, 4)},                 // pixels past the end
      {"bmp", bmp8.substr(0, bmp8.size() - 40)},               // truncated
      {"rle", with(MakeBmp(p, 8, BmpKind::Rle), 14 + 40 + 1024, 0x0540, 2)},  // a run past the row
      {"dds", "DDX " + dds.substr(4)},
      {"dds", with(dds, 28, 9, 4)},                            // more mip levels than the size has
      {"dds", dds.substr(0, dds.size() - 4)},                  // a level cut short
      {"dds", with(dds, 88, 12, 4)},                           // 12 bits a pixel
      {"psd", with(psd, 24, 0x0100, 2)},                       // grey mode
      {"psd", with(psd, 22, 0x1000, 2)},                       // 16 bits a channel
      {"psd", psd.substr(0, psd.size() - 3)},                  // runs cut short
      {"pcx", with(MakePcx(p, 1, 8), 0, 11, 1)},               // not a PCX
      {"pcx", with(MakePcx(p, 3, 8), 66, 0xFFFF, 2)},          // lines far longer than the width
      {"pcx", pcx24.substr(0, pcx24.size() - 12)},             // data ends before the picture
      {"pcx", pcx8.substr(0, 140) + pcx8.substr(pcx8.size() - 769)},  // the same, before the palette
      {"pcx", pcx8.substr(0, pcx8.size() - 769)},              // 8 bits without the palette
      {"pcx", with(pcx8, pcx8.size() - 769, 11, 1)},           // the palette's marker wrong
      {"pcx", pcx24.substr(0, 128) + pcxRuns(pcxBytes - 1) + "\xC2\x07"},  // the last run past the picture
      {"bmp", with(bmp8, 46, 4, 4)},                           // indices past the 4 colours used
      {"rle", with(rle8, 46, 4, 4)},
      {"bmp", twoRleRows},                                     // ends after 2 of 7 rows, no end mark
      {"bmp", bitfields.substr(0, 54) + std::string(12, '\0') + bitfields.substr(66)},  // no mask
      {"bmp", with(bitfields, 54, 0x10000, 4)},                // a mask past the 16 bits
      {"tga", mappedTga(0, 0, 2)},                             // an index past the map
      {"tga", mappedTga(2, 1, 2)},                             // one below its first entry
      {"png", palettePng(0, 4)},                               // an index past the palette
      {"tif", tiffField(257, 300)},                            // 300 rows, data for 7
      {"tif", tiffField(278, 1)},                              // a strip a row, one strip given
      {"jpg", jpg},
      {"psd", with(MakePsd(p, false), 12, 0x0200, 2)},         // two channels
      {"dds", dds.substr(0, 92) + std::string(12, '\0') + dds.substr(104)},  // no colour mask
      {"tga", with(MakeTgaRle(p), 2, 4, 1)},                   // no such picture type
      {"tga", tgaRle.substr(0, tgaRle.size() - 4)},            // runs cut short
      // a 2 by 1 picture whose one packet repeats a pixel 4 times: it runs past the picture
      {"tga", std::string("\0\0\x0a\0\0\0\0\0\0\0\0\0\x02\0\x01\0\x18\0\x83\x01\x02\x03", 22)},
      {"png", "\x89PNG\r\n\x1a\n" + std::string(40, 'x')},
      {"jpg", "\xff\xd8\xff\xe0" + std::string(40, 'x')},
      {"tif", "II*\0" + std::string(40, 'x')},
  };
  for (size_t i = 0; i < std::size(bad); ++i) {
    Picture got;
    EXPECT_FALSE(Decode(bad[i].second, bad[i].first, &got)) << "case " << i;
  }
}

// The process's peak of virtual memory, in kB.
long VmPeakKb() {
  FILE* f = std::fopen("/proc/self/status", "r");
  long kb = -1;
  char line[256];
  while (f && std::fgets(line, sizeof line, f))
    if (std::sscanf(line, "VmPeak: %ld", &kb) == 1) break;
  if (f) std::fclose(f);
  return kb;
}

TEST(ImageFiles, APngChunkLongerThanTheFileIsRefusedUnallocated) {
  SurfacePtr s = SurfaceCreate(1, 1, 32);
  std::string png;
  ASSERT_TRUE(EncodeImage(*s, "png", &png));
  // A text chunk declaring 2 GB after the header chunk (signature 8 bytes, header 25).
  png.insert(33, std::string("\x7f\xff\xff\xfftEXtkey\0value", 17));
  const long before = VmPeakKb();
  Picture got;
  EXPECT_FALSE(Decode(png, "png", &got));
  EXPECT_LT(VmPeakKb() - before, 256 * 1024);
}

// 16-bit TARGA pixels and colour-map entries are 1-5-5-5: 0x7C00 red, 0x03E0 green, 0x001F blue.
TEST(ImageFiles, SixteenBitTargaChannels) {
  const uint32_t words[3] = {0x7C00, 0x03E0, 0x001F}, want[3] = {0xFF0000, 0x00FF00, 0x0000FF};
  auto header = [](uint8_t mapType, uint8_t type, uint8_t mapBits, uint8_t bits) {
    std::string d(18, '\0');
    d[1] = char(mapType);
    d[2] = char(type);
    d[5] = char(mapType ? 3 : 0);  // map length
    d[7] = char(mapBits);
    d[12] = 3;  // 3 x 1
    d[14] = 1;
    d[16] = char(bits);
    return d;
  };
  std::string trueColour = header(0, 2, 0, 16), mapped = header(1, 1, 16, 8);
  for (uint32_t w : words) {
    PutLe(trueColour, w, 2);
    PutLe(mapped, w, 2);
  }
  for (uint8_t i = 0; i < 3; ++i) mapped.push_back(char(i));
  for (const std::string* file : {&trueColour, &mapped}) {
    Picture got;
    ASSERT_TRUE(Decode(*file, "tga", &got));
    for (int32_t x = 0; x < 3; ++x) EXPECT_EQ(got.At(x, 0) & 0xFFFFFF, want[x]) << (file == &mapped) << " " << x;
  }
}

TEST(ImageFiles, EdgeCasesOfTheFormats) {
  const Picture p = FixturePicture(9, 7, 16);
  Picture a, b;
  // Bottom-up and top-down twins give the same picture.
  ASSERT_TRUE(Decode(MakeBmp(p, 24, BmpKind::Rgb, true), "bmp", &a));
  ASSERT_TRUE(Decode(MakeBmp(p, 24), "bmp", &b));
  EXPECT_EQ(a.pixels, b.pixels);
  // An RLE picture whose data lacks only the end mark is whole.
  std::string rle = MakeBmp(p, 8, BmpKind::Rle);
  rle.resize(rle.size() - 2);  // no end of picture
  EXPECT_TRUE(Decode(rle, "bmp", &a));
}

TEST(ImageFiles, NamesChooseTheFormatByTheirLastThreeLetters) {
  TempDir dir;
  SurfacePtr s = SurfaceCreate(8, 8, 16);
  ASSERT_TRUE(SaveImageByExtension(*s, dir.File("a.JPG")));
  EXPECT_NE(LoadImageByExtension(dir.File("a.JPG"), 16), nullptr);
  dir.Write("a.jpeg", dir.Read("a.JPG"));
  EXPECT_EQ(LoadImageByExtension(dir.File("a.jpeg"), 16), nullptr);
  EXPECT_EQ(LoadImageFileToSurface(dir.File("a.JPG"), 0, 0), nullptr);  // surface files: BMP and DDS only
  ASSERT_TRUE(SaveImageByExtension(*s, dir.File("b.BMP")));
  SurfacePtr sized = LoadImageFileToSurface(dir.File("b.BMP"), 16, 4);
  ASSERT_NE(sized, nullptr);
  EXPECT_EQ(sized->Width(), 16);
  EXPECT_EQ(ImageFileExtension("ab"), "");
}

TEST(ImageFiles, SavesReportFailureAndKeepTheOldFile) {
  TempDir dir;
  SurfacePtr s = SurfaceCreate(8, 8, 16);
  for (const char* name : {"a.tif", "a.psd", "a.pcx", "a.xyz"}) {
    EXPECT_FALSE(SaveImageByExtension(*s, dir.File(name))) << name;
    EXPECT_FALSE(FsFileExists(dir.File(name))) << name;
  }
  // A folder in the way stays with its file; each failure says why.
  ASSERT_EQ(mkdir(dir.File("old.png").c_str(), 0700), 0);
  dir.Write("old.png/keep", "old");
  const std::pair<const char*, const char*> kCauses[] = {{"a.tif", "not a format that is written"},
                                                         {"missing/a.png", "its folder does not exist"},
                                                         {"old.png", "is a folder"}};
  for (const auto& [name, cause] : kCauses) {
    std::string why;
    EXPECT_FALSE(SaveImageByExtension(*s, dir.File(name), &why)) << name;
    EXPECT_EQ(why, cause) << name;
  }
  EXPECT_EQ(dir.Read("old.png/keep"), "old");
}

TEST(ImageFiles, OnlyRegularFilesUpToTheCapAreRead) {
  TempDir dir;
  std::string data;
  EXPECT_FALSE(ReadImageFile("/dev/zero", data));
  ASSERT_EQ(mkfifo(dir.File("fifo.bmp").c_str(), 0600), 0);
  EXPECT_FALSE(ReadImageFile(dir.File("fifo.bmp"), data));
  EXPECT_FALSE(ReadImageFile(dir.path(), data));
  const int fd = open(dir.File("huge.bmp").c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, off_t(kMaxImageFileBytes) + 1), 0);  // sparse: no disk space taken
  close(fd);
  EXPECT_FALSE(ReadImageFile(dir.File("huge.bmp"), data));
  EXPECT_EQ(LoadImageByExtension(dir.File("huge.bmp"), 16), nullptr);
  // Each refusal says why.
  const std::pair<std::string, std::string> kCauses[] = {{"missing.bmp", FileErrorCause(ENOENT)},
                                                         {"fifo.bmp", "not a regular file"},
                                                         {"huge.bmp", "larger than any picture file"}};
  for (const auto& [name, cause] : kCauses) {
    std::string why;
    EXPECT_FALSE(ReadImageFile(dir.File(name), data, &why));
    EXPECT_EQ(why, cause) << name;
  }
  // A program started with no standard input reads its picture as descriptor 0.
  dir.Write("small.bmp", "BM");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(0);
    _exit(ReadImageFile(dir.File("small.bmp"), data) && data == "BM" ? 0 : 1);
  }
  int status = -1;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_EQ(status, 0);
}

TEST(SurfaceFiles, PaletteColourMatchAndDds) {
  PaletteEntry pal[256];
  LoadBitmapPalette(nullptr, pal);
  EXPECT_EQ(pal[0].red + pal[0].green + pal[0].blue, 0);
  EXPECT_EQ(pal[255].red & pal[255].green & pal[255].blue, 255);
  const std::string bmp = MakeBmp(FixturePicture(4, 4, 16), 4);
  LoadBitmapPalette(&bmp, pal);
  EXPECT_EQ(pal[2].red, 255);
  EXPECT_EQ(pal[2].green, 0);
  EXPECT_EQ(pal[9].flags, 2);
  EXPECT_EQ(pal[10].flags, 4);

  SurfacePtr s = SurfaceCreate(4, 4, 16);
  s->PutPixel(0, 0, 0x1234);
  EXPECT_EQ(MatchSurfaceColor(s.get(), 0xFFFFFF), 0xFFFF);
  EXPECT_EQ(MatchSurfaceColor(s.get(), -1), 0x1234);
  EXPECT_EQ(s->GetPixel(0, 0), 0x1234u);
  SetSurfaceColorKey(s.get(), 0xFF0000);
  EXPECT_TRUE(s->hasKey);
  EXPECT_EQ(s->key, 0xF800u);

  TempDir dir;
  const Picture p = FixturePicture(8, 8, 16);
  dir.Write("m.dds", MakeDds(p, 32, 4));
  DdsImage img;
  bool mips = false;
  g_display.caps.mipFilter = true;
  ASSERT_TRUE(ReadDdsFile(dir.File("m.dds"), true, &img, &mips));
  EXPECT_FALSE(mips);
  EXPECT_EQ(img.levels.size(), 1u);
  ASSERT_TRUE(ReadDdsFile(dir.File("m.dds"), false, &img, &mips));
  EXPECT_EQ(img.levels.size(), 4u);
  ExpectSame(FixturePicture(1, 1, 16), DdsLevelPicture(img, 3), "last level");
  g_display.caps.mipFilter = false;  // a device without mip filtering keeps the top level only
  ASSERT_TRUE(ReadDdsFile(dir.File("m.dds"), false, &img, &mips));
  EXPECT_EQ(img.levels.size(), 1u);
}

}  // namespace
