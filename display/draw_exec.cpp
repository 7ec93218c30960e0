// The draw-queue executor: what each operation code does when its record runs.
#include <algorithm>
#include <cmath>
#include <string>

#include "core/errors.h"
#include "core/pack.h"
#include "display/bitmaps.h"
#include "display/display.h"
#include "display/draw_queue.h"
#include "display/images.h"
#include "display/imagefiles/surface_files.h"
#include "display/text_state.h"
#include "platform/fs.h"

namespace {

// Coordinates beyond any surface are pulled in so that +1 and rectangles cannot overflow.
int32_t Pull(int64_t v) { return int32_t(std::clamp<int64_t>(v, -2, 1 << 20)); }
// Ellipse points: radii come from 32-bit integers, so points stay far inside this range.
int64_t PointOf(double v) {
  constexpr double kLimit = double(int64_t(1) << 40);
  return std::isfinite(v) ? int64_t(std::clamp(v, -kLimit, kLimit)) : 0;
}

Surface* TargetOf(const DrawOp& op) {
  if (!op.hadTarget || op.bitmapAtQueue >= 32) return nullptr;
  return BitmapSurface(int32_t(op.bitmapAtQueue));
}

int32_t Fill(Surface* t, const SurfRect& r, uint32_t pixel) {
  return RetrySurfaceCall(t, [&] { return SurfaceFill(t, &r, pixel); });
}

bool FillPixel(Surface* t, int32_t x, int32_t y) {
  // The common case, one pixel into a present surface, without the checked fill's round trip.
  if (SurfaceDirectlyWritable(t)) {
    if (x >= 0 && y >= 0 && x < t->Width() && y < t->Height()) t->PutPixel(x, y, g_draw.foregroundPixel);
    return true;
  }
  x = Pull(x);
  y = Pull(y);
  int32_t r = Fill(t, SurfRect{x, y, x + 1, y + 1}, g_draw.foregroundPixel);
  return r == kSurfOk;
}

// Points a + i * step for i = 0 .. steps; only the stretch that can touch the surface runs.
void DrawLine(Surface* t, int64_t a, int64_t b, int64_t c, int64_t d) {
  const double dx = double(c) - double(a), dy = double(d) - double(b);
  const double steps = std::sqrt(dx * dx + dy * dy);
  const double xs = steps > 0 ? dx / steps : 0, ys = steps > 0 ? dy / steps : 0;
  // Parameter range of the segment inside the surface, widened by a pixel for truncation.
  double lo = 0, hi = steps;
  const double minX = -2, maxX = t->Width() + 1, minY = -2, maxY = t->Height() + 1;
  auto narrow = [&](double start, double step, double min, double max) {
    if (step == 0) {
      if (start < min || start > max) hi = -1;
      return;
    }
    double t0 = (min - start) / step, t1 = (max - start) / step;
    if (t0 > t1) std::swap(t0, t1);
    lo = std::max(lo, t0);
    hi = std::min(hi, t1);
  };
  narrow(double(a), xs, minX, maxX);
  narrow(double(b), ys, minY, maxY);
  if (hi < lo) return;
  int64_t first = std::max<int64_t>(0, int64_t(std::floor(lo)) - 1);
  double x = double(a) + double(first) * xs, y = double(b) + double(first) * ys;
  for (int64_t i = first; double(i) <= steps && double(i) <= hi + 1; ++i) {
    if (!FillPixel(t, int32_t(x), int32_t(y))) return;
    x += xs;
    y += ys;
  }
}

void DrawEllipse(Surface* t, int32_t a, int32_t b, float rx, float ry) {
  auto px = [&](float ang) { return PointOf(double(std::cos(ang) * rx + float(a) + 0.5f)); };
  auto py = [&](float ang) { return PointOf(double(std::sin(ang) * ry + float(b) + 0.5f)); };
  if (!std::isfinite(rx) || !std::isfinite(ry)) return;
  int64_t lastX = px(0.0f), lastY = py(0.0f);
  for (float ang = -0.06f; ang <= 6.33f; ang += 0.0628f) {
    int64_t x = px(ang), y = py(ang);
    DrawLine(t, lastX, lastY, x, y);
    lastX = x;
    lastY = y;
  }
}

// Copies src into dst at 0,0, scaled down to fit when it is larger. A failed copy is error
// 1000, except when the destination was lost and could not be restored: the display is then
// inactive and the operation ends quietly. False when the copy did not happen.
bool CopySurfaceClipped(Surface* dst, Surface* src) {
  SurfRect r{0, 0, std::min(src->Width(), dst->Width()), std::min(src->Height(), dst->Height())};
  int32_t res = RetrySurfaceCall(dst, [&] { return SurfaceBlt(dst, &r, src, nullptr, 0); });
  if (res == kSurfOk) return true;
  if (res != kSurfStillDrawing && g_display.active) RunError(kErrBitmapCopyFailed);
  return false;
}

void LoadIntoBitmap(DrawOp& op) {
  const int32_t n = int32_t(op.object);
  if (n < 0 || n > 31) return RunError(kErrBitmapNumberOutOfRange);
  std::string name = op.text;
  if (name.size() >= 3) MapThroughPack(name, PackedCopyExtension(name));
  // The message names the file and the cause after the error's own text. A folder, device or
  // FIFO of that name is there: its load fails as not a regular file.
  if (!FsPathExists(name)) {
    LogEngineError(std::string(op.text) + ": not found");
    return RunError(kErrFileNotFound);
  }
  g_draw.execBitmap = uint32_t(n);
  std::string why;
  const FileLoadScope load(kErrBitmapFileUnreadable, op.text);
  SurfacePtr loaded = LoadImageByExtension(name, g_display.depth, &why);
  if (!loaded) {
    if (op.lifetime <= 0) {
      if (WarningsReported()) LogEngineError(std::string(op.text) + ": " + why);
      RunWarning(kErrBitmapFileUnreadable);
    }
    return;
  }
  if (n == 0) {
    if (!CopySurfaceClipped(g_display.backBuffer.get(), loaded.get())) return;
  } else if (!BitmapSurface(n)) {
    if (!IsDdsFileName(op.text)) {
      loaded->hasKey = true;
      loaded->key = ImageColourKeyPixel();
    }
    BitmapSlot(n) = std::move(loaded);
  } else if (!CopySurfaceClipped(BitmapSurface(n), loaded.get())) {
    return;
  }
  Surface* s = BitmapSurface(n);
  if (s) SetBitmapInfo(n, s->Width(), s->Height(), s->Depth());
  g_draw.programBitmap = g_draw.execBitmap = uint32_t(n);
  g_draw.programHasTarget = s != nullptr;
}

void SaveBitmap(DrawOp& op) {
  const int32_t n = int32_t(op.object);
  if (n < 0 || n > 31) return RunError(kErrBitmapNumberOutOfRange);
  Surface* s = BitmapSurface(n);
  if (!s) return RunError(kErrBitmapMissing);
  std::string why;
  if (!SaveImageByExtension(*s, FsResolveForWrite(op.text), &why)) {
    LogEngineError(std::string(op.text) + ": " + why);
    return RunError(kErrBitmapNotSaved);
  }
  g_draw.execBitmap = uint32_t(n);
}

void CreateBitmap(DrawOp& op) {
  const int32_t n = int32_t(op.object);
  if (n == 0) return RunError(kErrScreenBitmapCreated);
  if (n < 0 || n > 31) return RunError(kErrBitmapNumberOutOfRange);
  if (!CreateBitmapSurface(n, op.c, op.d)) return RunError(kErrBitmapNotCreated);
  g_draw.programBitmap = g_draw.execBitmap = uint32_t(n);
  g_draw.programHasTarget = 1;
}

void DeleteBitmap(DrawOp& op) {
  const int32_t n = int32_t(op.object);
  if (n < 0 || n > 31) return RunError(kErrBitmapNumberOutOfRange);
  if (n == 0) return RunError(kErrScreenBitmapDeleted);
  if (!BitmapSurface(n)) return RunError(kErrBitmapMissing);
  ReleaseSurfaceSlot(n);
  if (g_draw.execBitmap == uint32_t(n)) g_draw.execBitmap = 0;
}

bool RectInside(const SurfRect& r, const Surface* s) {
  return r.left >= 0 && r.top >= 0 && r.right <= s->Width() && r.bottom <= s->Height();
}

void CopyBitmap(DrawOp& op) {
  const int32_t from = int32_t(op.object), to = op.values[4];
  if (from < 0 || from > 31 || to < 0 || to > 31) return RunError(kErrBitmapNumberOutOfRange);
  if (op.a == 0 && from == to) return RunError(kErrBitmapCopiedOntoItself);
  Surface* src = BitmapSurface(from);
  Surface* dst = BitmapSurface(to);
  if (!src || !dst) return RunError(kErrBitmapMissing);
  int32_t res;
  if (op.a == 0) {
    if (dst->Width() < src->Width() || dst->Height() < src->Height()) return RunError(kErrBitmapTooSmall);
    res = RetrySurfaceCall(dst, [&] { return SurfaceBltFast(dst, 0, 0, src, nullptr, 0); });
  } else {
    const int32_t* v = op.values;
    SurfRect s{v[0], v[1], Pull(int64_t(v[2]) + 1), Pull(int64_t(v[3]) + 1)};
    SurfRect d{v[5], v[6], Pull(int64_t(v[7]) + 1), Pull(int64_t(v[8]) + 1)};
    if (!RectInside(s, src)) return RunError(kErrBitmapAreaOutside);
    if (v[2] <= v[0] || v[3] <= v[1]) return RunError(kErrBitmapAreaEmpty);
    if (!RectInside(d, dst)) return RunError(kErrBitmapAreaOutside);
    if (v[7] <= v[5] || v[8] <= v[6]) return RunError(kErrBitmapAreaEmpty);
    res = RetrySurfaceCall(dst, [&] { return SurfaceBlt(dst, &d, src, &s, 0); });
  }
  if (res != kSurfOk && res != kSurfStillDrawing && g_display.active) RunError(kErrBitmapCopyFailed);
}

void BitmapEffect(DrawOp& op) {
  const int32_t n = int32_t(op.object);
  if (n < 0 || n > 31) return RunError(kErrBitmapNumberOutOfRange);
  Surface* s = BitmapSurface(n);
  if (!s) return RunError(kErrBitmapMissing);
  switch (op.code) {
    case kDrawMirrorBitmap: MirrorSurface(s); break;
    case kDrawFlipBitmap: FlipSurface(s); break;
    case kDrawBlurBitmap:
      if (op.values[0] < 1 || op.values[0] > 8) return RunError(kErrBlurOutOfRange);
      BlurSurface(s, op.values[0] + 1);
      break;
    case kDrawFadeBitmap:
      if (op.values[0] < 0 || op.values[0] > 100) return RunError(kErrFadeOutOfRange);
      FadeSurface(s, op.values[0]);
      break;
  }
}

void Clear(DrawOp& op, Surface* t) {
  if (!t) return;
  const int32_t n = int32_t(op.bitmapAtQueue);
  SurfRect area = n == 0 ? SurfRect{0, 0, g_display.width, g_display.height}
                         : SurfRect{0, 0, g_bitmapInfo[n].width, g_bitmapInfo[n].height};
  const Viewport* view = g_display.device ? &g_display.device->State().viewport : nullptr;
  const bool device = op.values[0] == 1 || (g_draw.backgroundPixel == 0 && n == 0 && view &&
                                            view->width == g_display.width && view->height == g_display.height);
  if (device) {
    // The device clears its render target, the screen, whichever bitmap was current.
    uint32_t colour = op.values[0] == 1 ? uint32_t(op.values[1]) : 0;
    Surface* back = g_display.backBuffer.get();
    const SurfRect screen{0, 0, g_display.width, g_display.height};
    if (g_display.device) g_display.device->Clear(kClearTarget, screen, colour, 1.0f, 0);
    // The CPU back buffer is the picture 2D work sees: it is cleared the same way.
    Fill(back, screen, PixelFromRgb(back->Format(), colour));
    return;
  }
  Fill(t, area, g_draw.backgroundPixel);
}

}  // namespace

void ExecuteDrawOp(DrawOp& op) {
  Surface* t = TargetOf(op);
  switch (op.code) {
    case kDrawSetCurrentBitmap: {
      int32_t n = int32_t(g_draw.programBitmap);
      if (n < 0 || n > 31) return RunError(kErrBitmapNumberOutOfRange);
      if (!BitmapSurface(n)) return RunError(kErrBitmapMissing);
      g_draw.execBitmap = uint32_t(n);
      break;
    }
    case kDrawLoadBitmap: LoadIntoBitmap(op); break;
    case kDrawSaveBitmap: SaveBitmap(op); break;
    case kDrawGrabScreen: RequestScreenGrab(op.text); break;
    case kDrawCreateBitmap: CreateBitmap(op); break;
    case kDrawDeleteBitmap: DeleteBitmap(op); break;
    case kDrawCopyBitmap: CopyBitmap(op); break;
    case kDrawMirrorBitmap:
    case kDrawFlipBitmap:
    case kDrawBlurBitmap:
    case kDrawFadeBitmap: BitmapEffect(op); break;
    case kDrawGetImage:
    case kDrawPasteImage:
    case kDrawFreeImage:
    case kDrawPasteSprite:
    case kDrawSaveImage:
    case kDrawRotateImage: ExecuteImageOp(op, t); break;
    case kDrawCls: Clear(op, t); break;
    case kDrawDot:
      if (t) FillPixel(t, op.a, op.b);
      break;
    case kDrawBox:
      if (t) Fill(t, SurfRect{Pull(op.a), Pull(op.b), Pull(int64_t(op.c) + 1), Pull(int64_t(op.d) + 1)},
                  g_draw.foregroundPixel);
      break;
    case kDrawLine:
      if (t) DrawLine(t, op.a, op.b, op.c, op.d);
      break;
    case kDrawEllipse:
      if (t) DrawEllipse(t, op.a, op.b, op.fc, op.fd);
      break;
    case kDrawInk:
      if (t) {
        ComputePixelShifts(t);
        SetDrawColours(uint32_t(op.c), int64_t(op.d));  // an ink of -1 keeps the foreground
      }
      break;
    case kDrawClsColour:
      if (t) {
        ComputePixelShifts(t);
        SetDrawColours(uint32_t(op.c), -1);
      }
      break;
    case kDrawReadPoint: {
      const int32_t n = int32_t(op.bitmapAtQueue);
      if (t && op.a >= 0 && op.b >= 0 && n < 32 && op.a < g_bitmapInfo[n].width && op.b < g_bitmapInfo[n].height)
        ReadSurfacePixel(t, op.a, op.b, op.cell);
      break;
    }
    case kDrawPrint:
    case kDrawLineInput:
    case kDrawSetTextFont:
    case kDrawSetTextSize:
    case kDrawTextOpaque:
    case kDrawTextTransparent:
    case kDrawTextNormal:
    case kDrawTextItalic:
    case kDrawTextBold:
    case kDrawTextBoldItalic:
    case kDrawText:
    case kDrawCentreText: ExecuteTextOp(op, t); break;
    default: break;
  }
}
