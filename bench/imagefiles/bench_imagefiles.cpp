// Loading a 2048 x 2048 PNG and JPEG into a 16-bit surface, against the bare library decode
// of the same file (libpng rows of RGB, libjpeg(-turbo) scanlines of RGB) in this run, the two
// in turns; the figures are medians of the rounds with their spread.
#include <cstddef>
#include <cstdio>
#include <jpeglib.h>
#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "bench/common/bench_rounds.h"
#include "display/imagefiles/image_files.h"

namespace {

using Clock = std::chrono::steady_clock;

// Seconds of one run of work.
template <class Work>
std::function<double()> Timed(Work work) {
  return [work] {
    auto start = Clock::now();
    work();
    return bench::SecondsSince(start);
  };
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
  bench::PrintMachine("bench_imagefiles");
  const auto t = bench::Alternate(7, {
      Timed([&] { SurfacePtr t = LoadImageByExtension(png, 16); if (!t) std::abort(); }),
      Timed([&] { BarePng(png); }),
      Timed([&] { SurfacePtr t = LoadImageByExtension(jpg, 16); if (!t) std::abort(); }),
      Timed([&] { BareJpeg(jpg); }),
  });
  const char* names[] = {"png", "jpg"}, *peers[] = {"libpng", "libjpeg"};
  for (size_t k = 0; k < 2; ++k)
    std::printf("%s 2048x2048: load into 16-bit %s ms, bare %s %s ms\n  ratio ours/bare %s\n", names[k],
                bench::Show(bench::Summarise(t[2 * k]), 1e3, 1).c_str(), peers[k],
                bench::Show(bench::Summarise(t[2 * k + 1]), 1e3, 1).c_str(),
                bench::Show(bench::Ratio(t[2 * k], t[2 * k + 1])).c_str());
  bench::PrintLoad();
  std::system(("rm -rf " + dir).c_str());
  return 0;
}
