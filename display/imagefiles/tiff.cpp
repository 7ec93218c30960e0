// TIFF files through libtiff, read from memory with its RGBA interface (every photometric
// and compression the library knows). Library messages are kept quiet; a library error while
// reading refuses the file.
#include <cstdarg>
#include <cstring>
#include <new>
#include <vector>

#include "display/imagefiles/formats.h"
#include "platform/libs/tiff_api.h"

namespace {

struct Memory {
  const std::string* data;
  toff_t at = 0;
};

tsize_t ReadProc(thandle_t h, tdata_t out, tsize_t n) {
  auto* m = static_cast<Memory*>(h);
  if (n <= 0 || m->at >= m->data->size()) return 0;
  const size_t count = std::min<size_t>(size_t(n), m->data->size() - size_t(m->at));
  std::memcpy(out, m->data->data() + m->at, count);
  m->at += count;
  return tsize_t(count);
}
tsize_t WriteProc(thandle_t, tdata_t, tsize_t) { return 0; }
toff_t SeekProc(thandle_t h, toff_t off, int whence) {
  auto* m = static_cast<Memory*>(h);
  toff_t base = whence == SEEK_CUR ? m->at : whence == SEEK_END ? toff_t(m->data->size()) : 0;
  if (whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END) return toff_t(-1);
  m->at = base + off;
  return m->at;
}
int CloseProc(thandle_t) { return 0; }
toff_t SizeProc(thandle_t h) { return static_cast<Memory*>(h)->data->size(); }
int MapProc(thandle_t, tdata_t*, toff_t*) { return 0; }
void UnmapProc(thandle_t, tdata_t, toff_t) {}
int Quiet(TIFF*, void*, const char*, const char*, va_list) { return 1; }

// Every strip (or tile) the picture needs lies inside the data. The library fills the entries a
// short offset list lacks with 0 and may then read the header as pixels.
bool StripsInData(TIFF* tif, size_t size) {
  const uint32_t count = g_tiff.TIFFIsTiled(tif) ? g_tiff.TIFFNumberOfTiles(tif) : g_tiff.TIFFNumberOfStrips(tif);
  for (uint32_t i = 0; i < count; ++i) {
    const uint64_t at = g_tiff.TIFFGetStrileOffset(tif, i), n = g_tiff.TIFFGetStrileByteCount(tif, i);
    if (at == 0 || n == 0 || at > size || n > size - at) return false;
  }
  return true;
}

}  // namespace

bool DecodeTiff(const std::string& data, PictureSink& sink) {
  if (!OpenTiff()) return false;
  Memory mem{&data};
  TIFFOpenOptions* opts = g_tiff.TIFFOpenOptionsAlloc();
  if (!opts) return false;
  g_tiff.TIFFOpenOptionsSetMaxSingleMemAlloc(opts, tmsize_t(kMaxPicturePixels) * 4 + 4096);
  g_tiff.TIFFOpenOptionsSetErrorHandlerExtR(opts, Quiet, nullptr);
  g_tiff.TIFFOpenOptionsSetWarningHandlerExtR(opts, Quiet, nullptr);
  TIFF* tif = g_tiff.TIFFClientOpenExt("memory", "rm", &mem, ReadProc, WriteProc, SeekProc, CloseProc, SizeProc, MapProc,
                                UnmapProc, opts);
  g_tiff.TIFFOpenOptionsFree(opts);
  if (!tif) return false;
  bool ok = false;
  uint32_t w = 0, h = 0;
  char message[1024];
  if (g_tiff.TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w) && g_tiff.TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h) &&
      PictureSizeOk(w, h) && g_tiff.TIFFRGBAImageOK(tif, message) && StripsInData(tif, data.size())) {
    std::vector<uint32_t> raster;
    try {
      raster.resize(size_t(w) * h);
    } catch (const std::bad_alloc&) {
      g_tiff.TIFFClose(tif);
      return false;
    }
    // Stopping at the first error: a strip that fails to decode is damage, not a blank band.
    if (g_tiff.TIFFReadRGBAImageOriented(tif, w, h, raster.data(), ORIENTATION_TOPLEFT, 1) && sink.Begin(int32_t(w), int32_t(h))) {
      for (uint32_t& v : raster) v = TIFFGetR(v) << 16 | TIFFGetG(v) << 8 | TIFFGetB(v);
      for (uint32_t y = 0; y < h; ++y) sink.Row(int32_t(y), raster.data() + size_t(y) * w);
      ok = true;
    }
  }
  g_tiff.TIFFClose(tif);
  return ok;
}
