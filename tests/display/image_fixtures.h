#pragma once
// Image files written at test time, each from a picture of palette colours, by encoders of
// the test's own (BMP, PCX, PSD, TGA with runs, plain DDS) and by the libraries (TIFF).
#include <cstdint>
#include <string>
#include <vector>

#include "display/imagefiles/picture.h"

// Colours whose channels are 0x00, 0x18, 0xE7 or 0xFF: 5, 6 and 8-bit channels hold them exactly.
extern const uint32_t kFixtureColours[16];

// A width x height picture of the first `colours` fixture colours in a pattern.
Picture FixturePicture(int32_t width, int32_t height, int colours);

enum class BmpKind { Rgb, Rle, Bitfields, Core };
// bits 1, 4, 8 (palette), 16, 24, 32; Rle with 4 or 8; Core with 1, 4, 8, 24.
std::string MakeBmp(const Picture& p, int bits, BmpKind kind = BmpKind::Rgb, bool topDown = false);
// planes x bits: 1 x 1, 4 x 1, 1 x 8 (palette at the end), 3 x 8.
std::string MakePcx(const Picture& p, int planes, int bits);
std::string MakePsd(const Picture& p, bool packBits, int channels = 3);
// Run-length true-colour TARGA, origin at the top left.
std::string MakeTgaRle(const Picture& p);
// Uncompressed DDS of 32 (A8R8G8B8) or 16 (R5G6B5) bits with mip levels halved by
// nearest pixel.
std::string MakeDds(const Picture& p, int bits, int levels);
// A TIFF file through libtiff (RGB, 8 bits a sample) at path.
bool WriteTiff(const Picture& p, const std::string& path);
