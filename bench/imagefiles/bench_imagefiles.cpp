// Loading a 2048 x 2048 PNG and JPEG into a 16-bit surface, against the bare library decode
// of the same file (libpng rows of RGB, libjpeg(-turbo) scanlines of RGB) in this run.
#include <cstddef>
#include <cstdio>
#include <jpeglib.h>
#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "display/imagefiles/image_files.h"

namespace {

using Clock = std::chrono::steady_clock;

// Best time of a few runs, in seconds.
template <class Work>
double Best(Work work) {
  double best = 1e9;
  for (int i = 0; i < 7; ++i) {
    auto start = Clock::now();
    work();
    best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
  }
  return best;
}

void BarePng(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) std::abort();
  png_init_io(png, f);
  png_read_info(png, info);
  const png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
  std::vector<png_byte> row(png_get_rowbytes(png, info));
  for (png_uint_32 y = 0; y < h; ++y) png_read_row(png, row.data(), nullptr);
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(f);
  if (w != 2048) std::abort();
}

void BareJpeg(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  jpeg_decompress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_decompress(&c);
  jpeg_stdio_src(&c, f);
  jpeg_read_header(&c, TRUE);
  jpeg_start_decompress(&c);
  std::vector<JSAMPLE> row(size_t(c.output_width) * size_t(c.output_components));
  while (c.output_scanline < c.output_height) {
    JSAMPROW rows[1] = {row.data()};
    jpeg_read_scanlines(&c, rows, 1);
  }
  jpeg_finish_decompress(&c);
  jpeg_destroy_decompress(&c);
  std::fclose(f);
}

}  // namespace

int main() {
  // A picture of smooth gradients with some noise, as photographs and game art are.
  SurfacePtr s = SurfaceCreate(2048, 2048, 32);
  uint32_t seed = 1;
  for (int32_t y = 0; y < 2048; ++y)
    for (int32_t x = 0; x < 2048; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const uint32_t noise = (seed >> 28) & 7;
      s->PutPixel(x, y, ((x / 8 + noise) & 255) << 16 | ((y / 8 + noise) & 255) << 8 | (((x + y) / 16) & 255));
    }
  const std::string dir = "/tmp/vk_bench_imagefiles_" + std::to_string(getpid());
  std::system(("mkdir -p " + dir).c_str());
  const std::string png = dir + "/big.png", jpg = dir + "/big.jpg";
  if (!SaveImageByExtension(*s, png) || !SaveImageByExtension(*s, jpg)) {
    std::fprintf(stderr, "cannot write the pictures\n");
    return 1;
  }
  const double ourPng = Best([&] { SurfacePtr t = LoadImageByExtension(png, 16); if (!t) std::abort(); });
  const double barePng = Best([&] { BarePng(png); });
  const double ourJpg = Best([&] { SurfacePtr t = LoadImageByExtension(jpg, 16); if (!t) std::abort(); });
  const double bareJpg = Best([&] { BareJpeg(jpg); });
  std::printf("png 2048x2048: load into 16-bit %.1f ms, bare libpng %.1f ms, ratio %.2f\n", ourPng * 1e3,
              barePng * 1e3, ourPng / barePng);
  std::printf("jpg 2048x2048: load into 16-bit %.1f ms, bare libjpeg %.1f ms, ratio %.2f\n", ourJpg * 1e3,
              bareJpg * 1e3, ourJpg / bareJpg);
  std::system(("rm -rf " + dir).c_str());
  return 0;
}
