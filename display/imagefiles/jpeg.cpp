// JPEG files through libjpeg(-turbo): any picture it decodes to RGB (grey ones too), and
// baseline files of quality 100. A file whose data ends before its picture does, or whose
// scan data is corrupt, is refused. Library errors jump back to the routine that started the
// work; everything that changes after the jump point lives in a heap context.
// jpeglib.h needs size_t and FILE declared first.
#include <cstddef>
#include <cstdio>
#include <jpeglib.h>
#include <jerror.h>

#include <csetjmp>
#include <cstdlib>
#include <memory>
#include <vector>

#include "display/imagefiles/formats.h"

namespace {

constexpr int kMostScans = 1000;  // a file of more scans is refused (each one rereads the whole picture)

struct JpegError {
  jpeg_error_mgr mgr;
  jmp_buf jump;
  // The data ran out (the library then reads an end marker), a scan needed data it did not
  // find, or held a code its tables lack or lost a restart marker: it made up the rest of
  // the scan.
  bool dataEnded = false, scanShort = false;
};

[[noreturn]] void JumpBack(j_common_ptr c) { longjmp(reinterpret_cast<JpegError*>(c->err)->jump, 1); }
void Quiet(j_common_ptr) {}
// Warnings are passed over, but for those of data that ends early or is corrupt, which leave
// the picture cut.
void NoteEarlyEnd(j_common_ptr c, int level) {
  if (level >= 0) return;
  JpegError* e = reinterpret_cast<JpegError*>(c->err);
  if (c->err->msg_code == JWRN_JPEG_EOF) e->dataEnded = true;
  const int code = c->err->msg_code;
  if (code == JWRN_HIT_MARKER || code == JWRN_HUFF_BAD_CODE || code == JWRN_ARITH_BAD_CODE || code == JWRN_MUST_RESYNC)
    e->scanShort = true;
}

void LimitScans(j_common_ptr c) {
  if (c->is_decompressor && reinterpret_cast<j_decompress_ptr>(c)->input_scan_number > kMostScans) JumpBack(c);
}

void InitError(JpegError* e) {
  jpeg_std_error(&e->mgr);
  e->mgr.error_exit = JumpBack;
  e->mgr.output_message = Quiet;
  e->mgr.emit_message = NoteEarlyEnd;
}

struct DecodeWork {
  jpeg_decompress_struct cinfo;
  JpegError error;
  jpeg_progress_mgr progress;
  std::vector<uint32_t> row;
  bool created = false;
};

bool RunDecode(DecodeWork* w, const std::string& data, PictureSink& sink) {
  jpeg_decompress_struct& c = w->cinfo;
  c.err = &w->error.mgr;
  if (setjmp(w->error.jump)) return false;
  jpeg_create_decompress(&c);
  w->created = true;
  w->progress.progress_monitor = LimitScans;
  c.progress = &w->progress;
  jpeg_mem_src(&c, reinterpret_cast<const unsigned char*>(data.data()), static_cast<unsigned long>(data.size()));
  if (jpeg_read_header(&c, TRUE) != JPEG_HEADER_OK) return false;
  if (!PictureSizeOk(c.image_width, c.image_height)) return false;
  if (!sink.Begin(int32_t(c.image_width), int32_t(c.image_height))) return false;
  // A sink of 5-6-5 pixels takes the library's own conversion (channels cut, no dither).
  const bool direct = sink.Row565(0) != nullptr;
  c.out_color_space = direct ? JCS_RGB565 : JCS_EXT_BGRX;
  c.dither_mode = JDITHER_NONE;
  jpeg_start_decompress(&c);
  if (c.output_width != c.image_width || c.output_height != c.image_height) return false;
  w->row.resize(c.output_width);
  while (c.output_scanline < c.output_height) {
    const int32_t y = int32_t(c.output_scanline);
    JSAMPROW rows[1] = {direct ? reinterpret_cast<JSAMPROW>(sink.Row565(y)) : reinterpret_cast<JSAMPROW>(w->row.data())};
    if (jpeg_read_scanlines(&c, rows, 1) != 1) return false;
    if (!direct) sink.Row(y, w->row.data());
  }
  // A file that lacks no more than its end marker is whole. A scan short of its data is cut,
  // and so is a progressive file that ends early: its last scans are missing.
  const bool cut = w->error.scanShort || (c.progressive_mode && w->error.dataEnded);
  jpeg_finish_decompress(&c);
  return !cut;
}

struct EncodeWork {
  jpeg_compress_struct cinfo;
  JpegError error;
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  bool created = false;
};

bool RunEncode(EncodeWork* w, const Picture& p, int quality) {
  jpeg_compress_struct& c = w->cinfo;
  c.err = &w->error.mgr;
  if (setjmp(w->error.jump)) return false;
  jpeg_create_compress(&c);
  w->created = true;
  jpeg_mem_dest(&c, &w->buffer, &w->size);
  c.image_width = JDIMENSION(p.width);
  c.image_height = JDIMENSION(p.height);
  c.input_components = 4;
  c.in_color_space = JCS_EXT_BGRX;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, quality, TRUE);
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    JSAMPROW rows[1] = {reinterpret_cast<JSAMPROW>(const_cast<uint32_t*>(p.pixels.data()) +
                                                   size_t(c.next_scanline) * size_t(p.width))};
    jpeg_write_scanlines(&c, rows, 1);
  }
  jpeg_finish_compress(&c);
  return true;
}

}  // namespace

bool DecodeJpeg(const std::string& data, PictureSink& sink) {
  auto w = std::make_unique<DecodeWork>();
  InitError(&w->error);
  const bool ok = RunDecode(w.get(), data, sink);
  if (w->created) jpeg_destroy_decompress(&w->cinfo);
  return ok;
}

bool EncodeJpeg(const Picture& p, int quality, std::string* out) {
  if (!PictureSizeOk(p.width, p.height) || p.width > 65500 || p.height > 65500) return false;
  auto w = std::make_unique<EncodeWork>();
  InitError(&w->error);
  const bool ok = RunEncode(w.get(), p, quality);
  if (w->created) jpeg_destroy_compress(&w->cinfo);
  if (ok && w->buffer) out->assign(reinterpret_cast<const char*>(w->buffer), w->size);
  std::free(w->buffer);
  return ok && w->buffer;
}
