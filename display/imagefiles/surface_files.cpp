#include "display/imagefiles/surface_files.h"

#include "core/error_codes.h"
#include "core/errors.h"
#include "core/pack.h"
#include "display/display.h"
#include "display/imagefiles/file_bytes.h"
#include "display/imagefiles/formats.h"
#include "display/imagefiles/image_files.h"
#include "platform/fs.h"

namespace {

struct GrabState {
  std::string file;
  SurfacePtr surface;  // exists only during a grab
  int64_t word = -1;   // code word of the command that asked for it, for its error
};
GrabState g_grab;

}  // namespace

SurfacePtr LoadImageFileToSurface(const std::string& file, int32_t width, int32_t height) {
  const std::string ext = ImageFileExtension(file);
  if (ext != "bmp" && ext != "dds") return nullptr;
  std::string name = file;
  MapThroughPack(name, ext);
  SurfacePtr s = LoadImageByExtension(name, g_display.depth);
  if (!s || ext != "bmp" || width < 1 || height < 1 || (width == s->Width() && height == s->Height())) return s;
  SurfacePtr sized = SurfaceCreate(width, height, s->Format());
  if (!sized || SurfaceBlt(sized.get(), nullptr, s.get(), nullptr, 0) != kSurfOk) return nullptr;
  return sized;
}

bool ReadDdsFile(const std::string& name, bool singleLevel, DdsImage* out, bool* hasMipmaps) {
  std::string data;
  const bool single = singleLevel || !g_display.caps.mipFilter;
  if (!ReadImageFile(name, data) || !ReadDds(data, single, out)) return false;
  if (hasMipmaps) *hasMipmaps = out->levels.size() > 1;
  return true;
}

void LoadBitmapPalette(const std::string* bmp, PaletteEntry out[256]) {
  for (int i = 0; i < 256; ++i)
    out[i] = {uint8_t(((i >> 5) & 7) * 255 / 7), uint8_t(((i >> 2) & 7) * 255 / 7), uint8_t((i & 3) * 255 / 3), 0};
  if (!bmp) return;
  ByteView d(*bmp);
  const uint32_t header = d.Le32(14), bits = d.Le16(28);
  if (d.bad() || header < 40 || bits > 8 || bits == 0) return;
  uint32_t colours = d.Le32(46);
  if (colours == 0 || colours > 256) colours = 1u << bits;
  const size_t at = 14 + size_t(header);
  for (uint32_t i = 0; i < colours && d.Has(at + 4 * i, 4); ++i)
    out[i] = {d.U8(at + 4 * i + 2), d.U8(at + 4 * i + 1), d.U8(at + 4 * i), 0};
  for (int i = 0; i < 256; ++i) out[i].flags = (i < 10 || i > 245) ? 2 : 4;
}

int64_t MatchSurfaceColor(Surface* s, int64_t colour) {
  if (!s) return -1;
  uint8_t* bits;
  int32_t pitch;
  int32_t r;
  while ((r = SurfaceLock(s, &bits, &pitch)) == kSurfStillDrawing) {
  }
  if (r != kSurfOk) return -1;
  const uint32_t first = LoadPixel(bits, s->Format().BytesPerPixel());
  SurfaceUnlock(s);
  // The pixel a colour gets when drawn: each channel cut to its width.
  if (colour != -1) return s->Depth() == 8 ? 0 : NarrowRgbToPixel(s->Format(), uint32_t(colour));
  return first;
}

void SetSurfaceColorKey(Surface* s, int64_t colour) {
  const int64_t key = MatchSurfaceColor(s, colour);
  if (!s || key < 0) return;
  s->hasKey = true;
  s->key = uint32_t(key);
}

void RequestScreenGrab(const std::string& file) {
  g_grab.file = file;
  g_grab.word = g_queuedOpWord >= 0 ? g_queuedOpWord : CurrentCommandWord();
  g_captureRequested = 1;
}

bool CaptureScreenToFile() {
  ReleaseGrabSurface();
  if (g_grab.file.empty() || !g_display.primary || !g_display.framePresented) return false;
  g_grab.surface = SurfaceCreate(g_display.width, g_display.height, g_display.primary->Format());
  std::string why = "the screen cannot be copied";
  bool ok = g_grab.surface && SurfaceBltFast(g_grab.surface.get(), 0, 0, g_display.primary.get(), nullptr, 0) == kSurfOk &&
            SaveImageByExtension(*g_grab.surface, g_grab.file, &why);
  ReleaseGrabSurface();
  if (!ok) {
    LogEngineError(g_grab.file + ": " + why);
    // The error names the line that asked for the grab, not the one the frame stopped at.
    const int64_t queued = g_queuedOpWord;
    g_queuedOpWord = g_grab.word;
    RunError(kErrBitmapNotSaved);
    g_queuedOpWord = queued;
  }
  return ok;
}

bool ReleaseGrabSurface() {
  const bool had = g_grab.surface != nullptr;
  g_grab.surface.reset();
  return had;
}

void ResetScreenGrab() {
  g_grab = GrabState{};
  g_captureRequested = 0;
}
