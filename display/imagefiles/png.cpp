// PNG files through libpng: every colour type and depth is read as 8-bit B, G, R and a
// filler, but for palette pictures, read as indices that are looked up here (the library
// gives black for one past the palette, which is damage); files are written as 8-bit RGB.
// Library errors jump back to the routine that started the work; what changes after the
// jump point lives in a heap context.
#include <png.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "display/display.h"
#include "display/imagefiles/file_bytes.h"
#include "display/imagefiles/formats.h"
#include "platform/fs.h"

namespace {

void Quiet(png_structp, png_const_charp) {}

// The library's allocations while reading: one that fails marks the sink (its memory pointer).
png_voidp Allocate(png_structp png, png_alloc_size_t size) {
  void* p = std::malloc(size);
  if (!p) static_cast<PictureSink*>(png_get_mem_ptr(png))->memoryRanOut = true;
  return p;
}
void Release(png_structp, png_voidp p) { std::free(p); }
[[noreturn]] void JumpBack(png_structp png, png_const_charp) { png_longjmp(png, 1); }

struct ReadCursor {
  const std::string* data;
  size_t at = 0;
};

void ReadBytes(png_structp png, png_bytep out, png_size_t n) {
  auto* c = static_cast<ReadCursor*>(png_get_io_ptr(png));
  if (n > c->data->size() - c->at) png_error(png, "end of data");
  std::memcpy(out, c->data->data() + c->at, n);
  c->at += n;
}

// Every chunk up to the end chunk lies inside the data. The library would allocate a chunk's
// declared length before reading it (2 GB for a text chunk of a tiny file).
bool ChunksFitTheData(const std::string& data) {
  ByteView d(data);
  size_t at = 8;
  while (d.Has(at, 8)) {
    const uint64_t length = d.Be32(at);
    if (!d.Has(at + 8, size_t(length) + 4)) return false;
    if (data.compare(at + 4, 4, "IEND") == 0) return true;
    at += 12 + size_t(length);
  }
  return false;
}

struct DecodeWork {
  png_structp png = nullptr;
  png_infop info = nullptr;
  ReadCursor cursor;
  // The rows as read (interlaced pictures: the whole picture): pixels, or palette indices.
  std::vector<uint32_t> pixels;
  std::vector<uint8_t> indices;
  std::vector<png_bytep> rows;
  std::vector<uint32_t> looked;  // a row of indices looked up
};

// Sends row y, read into rows[k]: false for an index past the palette.
bool SendRow(DecodeWork* w, PictureSink& sink, png_uint_32 y, size_t k, png_const_colorp palette, int colours) {
  if (!palette) {
    sink.Row(int32_t(y), reinterpret_cast<const uint32_t*>(w->rows[k]));
    return true;
  }
  const uint8_t* in = w->rows[k];
  for (size_t x = 0; x < w->looked.size(); ++x) {
    if (in[x] >= colours) return false;
    const png_color& c = palette[in[x]];
    w->looked[x] = uint32_t(c.red) << 16 | uint32_t(c.green) << 8 | c.blue;
  }
  sink.Row(int32_t(y), w->looked.data());
  return true;
}

bool RunDecode(DecodeWork* w, PictureSink& sink) {
  if (setjmp(png_jmpbuf(w->png))) return false;
  png_set_read_fn(w->png, &w->cursor, ReadBytes);
  // Every size the format can hold passes the library, so that the size check below refuses what
  // is over ours as too large rather than the library calling it damaged.
  png_set_user_limits(w->png, 0x7FFFFFFF, 0x7FFFFFFF);
  png_set_chunk_malloc_max(w->png, 64u << 20);
  png_read_info(w->png, w->info);
  png_uint_32 width, height;
  int depth, type, interlace;
  png_get_IHDR(w->png, w->info, &width, &height, &depth, &type, &interlace, nullptr, nullptr);
  if (!PictureSizeOk(width, height)) return false;
  png_colorp palette = nullptr;
  int colours = 0;
  if (type == PNG_COLOR_TYPE_PALETTE) {
    png_get_PLTE(w->png, w->info, &palette, &colours);  // the library refuses a file without one
    if (!palette) return false;
    png_set_packing(w->png);  // one byte an index
  } else {
    png_set_expand(w->png);
    png_set_strip_16(w->png);
    png_set_strip_alpha(w->png);
    if (type == PNG_COLOR_TYPE_GRAY || type == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(w->png);
    png_set_bgr(w->png);
    png_set_filler(w->png, 0, PNG_FILLER_AFTER);
  }
  const int passes = png_set_interlace_handling(w->png);
  png_read_update_info(w->png, w->info);
  if (png_get_rowbytes(w->png, w->info) != size_t(width) * (palette ? 1 : 4)) return false;
  if (!sink.Begin(int32_t(width), int32_t(height))) return false;
  const size_t kept = passes == 1 ? 1 : height;  // rows held at once
  if (palette) {
    w->indices.resize(size_t(width) * kept);
    w->looked.resize(width);
  } else {
    w->pixels.resize(size_t(width) * kept);
  }
  w->rows.resize(kept);
  for (size_t k = 0; k < kept; ++k)
    w->rows[k] = palette ? w->indices.data() + k * width : reinterpret_cast<png_bytep>(w->pixels.data() + k * width);
  if (passes == 1) {
    for (png_uint_32 y = 0; y < height; ++y) {
      png_read_row(w->png, w->rows[0], nullptr);
      if (!SendRow(w, sink, y, 0, palette, colours)) return false;
    }
  } else {
    png_read_image(w->png, w->rows.data());
    for (png_uint_32 y = 0; y < height; ++y)
      if (!SendRow(w, sink, y, y, palette, colours)) return false;
  }
  png_read_end(w->png, nullptr);
  return true;
}

void WriteBytes(png_structp png, png_bytep in, png_size_t n) {
  static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(in), n);
}
void Flush(png_structp) {}

struct EncodeWork {
  png_structp png = nullptr;
  png_infop info = nullptr;
  std::string out;
};

bool RunEncode(EncodeWork* w, const Picture& p) {
  if (setjmp(png_jmpbuf(w->png))) return false;
  png_set_write_fn(w->png, &w->out, WriteBytes, Flush);
  png_set_IHDR(w->png, w->info, png_uint_32(p.width), png_uint_32(p.height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(w->png, w->info);
  png_set_bgr(w->png);
  png_set_filler(w->png, 0, PNG_FILLER_AFTER);  // rows are B, G, R and one unused byte
  for (int32_t y = 0; y < p.height; ++y)
    png_write_row(w->png, reinterpret_cast<png_const_bytep>(p.pixels.data() + size_t(y) * size_t(p.width)));
  png_write_end(w->png, nullptr);
  return true;
}

}  // namespace

bool DecodePng(const std::string& data, PictureSink& sink) {
  if (!ChunksFitTheData(data)) return false;
  auto w = std::make_unique<DecodeWork>();
  w->cursor.data = &data;
  w->png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, nullptr, JumpBack, Quiet, &sink, Allocate, Release);
  if (!w->png) return false;
  w->info = png_create_info_struct(w->png);
  bool ok = false;
  try {
    ok = w->info && RunDecode(w.get(), sink);
  } catch (const std::bad_alloc&) {  // the row buffers: the library's structures still go
    sink.memoryRanOut = true;
  }
  png_destroy_read_struct(&w->png, w->info ? &w->info : nullptr, nullptr);
  return ok;
}

bool EncodePng(const Picture& p, std::string* out) {
  if (!PictureSizeOk(p.width, p.height)) return false;
  auto w = std::make_unique<EncodeWork>();
  w->png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, JumpBack, Quiet);
  if (!w->png) return false;
  w->info = png_create_info_struct(w->png);
  const bool ok = w->info && RunEncode(w.get(), p);
  png_destroy_write_struct(&w->png, w->info ? &w->info : nullptr);
  if (ok) *out = std::move(w->out);
  return ok;
}

bool SavePngFile(const Surface& s, const std::string& path) {
  std::string data;
  return EncodePng(PictureOfSurface(s), &data) && FsWriteFileAtomic(path, data);
}
