// The image bank: number table, surfaces, grabs, deferred deletion and record ageing.
#include "display/images.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "core/errors.h"
#include "display/bitmaps.h"
#include "display/display.h"
#include "display/draw_queue.h"
#include "display/record_pools.h"
#include "display/sprites.h"
#include "display/textures.h"

ImageBank g_images;

void ResetImageBank() {
  g_images.numbers.Reset(size_t(kMaxImageNumber) + 1);
  g_images.pending.Reset(size_t(kMaxImageNumber) + 1);
  g_images.surfaces.clear();
  g_images.imagesChanged = g_images.displayChanged = 0;
}

namespace {

bool Live(uint32_t r) { return r != 0 && g_imagePool.InUse(r); }

SurfacePtr& TableEntry(uint32_t r) {
  if (g_images.surfaces.size() <= r) g_images.surfaces.resize(std::max<size_t>(size_t(r) + 1, size_t(g_imagePool.Capacity())));
  return g_images.surfaces[r];
}

void ReleaseSurface(uint32_t r) {
  if (r < g_images.surfaces.size()) g_images.surfaces[r].reset();
  g_imagePool[r].surface = nullptr;
}

// Copies rect of src to 0,0 of the image's surface; false when the copy failed.
bool GrabInto(uint32_t r, Surface* src, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t mode) {
  bool copied = true;
  if (src && EnsureImageSurface(r, x2 - x1, y2 - y1)) {
    Surface* dst = g_imagePool[r].surface;
    const SurfRect rect{x1, y1, x2, y2};
    copied = RetrySurfaceCall(dst, [&] { return SurfaceBltFast(dst, 0, 0, src, &rect, 0); }) == kSurfOk;
  } else {
    ImageRecord& rec = g_imagePool[r];
    ReleaseSurface(r);
    rec.width = rec.height = 0;
    rec.inUse = 0;
  }
  NoteImageChanged(r, mode);
  return copied;
}

// The size that bounds drawing into a bitmap: the screen's for 0.
void BitmapBounds(int32_t n, int32_t* w, int32_t* h) {
  if (n == 0) {
    *w = g_display.width;
    *h = g_display.height;
  } else if (n > 0 && n < kBitmapSlots) {
    *w = g_bitmapInfo[n].width;
    *h = g_bitmapInfo[n].height;
  } else {
    *w = *h = 0;
  }
}

}  // namespace

uint32_t ImageRecordOf(int32_t number) {
  if (!ImageNumberValid(number) || g_images.numbers.empty()) return 0;
  return g_images.numbers[size_t(number)];
}

ImageRecord* ImageAt(uint32_t r) { return Live(r) ? &g_imagePool[r] : nullptr; }

Surface* ImageSurfaceOf(uint32_t r) {
  const ImageRecord* rec = ImageAt(r);
  return rec && rec->inUse ? rec->surface : nullptr;
}

uint32_t BindImageNumber(int32_t number) {
  if (!ImageNumberValid(number) || g_images.numbers.empty()) return 0;
  uint32_t& entry = g_images.numbers[size_t(number)];
  if (entry) return entry;
  // A number bound again while its old record counts down takes that record back.
  const uint32_t old = g_images.pending[size_t(number)];
  g_images.pending[size_t(number)] = 0;
  if (Live(old) && g_imagePool[old].countdown > 0) {
    g_imagePool[old].countdown = 0;
    entry = old;
    return entry;
  }
  const uint32_t r = AllocImageRecord();
  if (r == kNoRecord) return 0;
  TableEntry(r).reset();
  g_imagePool[r].number = number;
  entry = r;
  return r;
}

void StartImageCountdown(uint32_t r, int32_t number) {
  if (!Live(r)) return;
  g_imagePool[r].countdown = kImageDeletionFrames;
  if (ImageNumberValid(number) && !g_images.pending.empty()) g_images.pending[size_t(number)] = r;
}

namespace {

// A queued drawing operation names the record or a sprite shows it.
bool ImageStillNeeded(uint32_t r) {
  if (ImageShownBySprite(r)) return true;
  if (!g_drawOpPool.Created()) return false;
  bool named = false;
  g_drawOpPool.ForEachUsed([&](uint32_t, DrawOp& op) {
    const bool onImage = op.code == kDrawGetImage || op.code == kDrawPasteImage || op.code == kDrawFreeImage ||
                         op.code == kDrawSaveImage || op.code == kDrawRotateImage;
    named = named || (onImage && op.object == r);
  });
  return named;
}

// A record its number no longer reaches: freed now when nothing queued or shown uses it, so
// that loads into one number hold no more pictures than the frame draws; else counted down.
void RetireImage(uint32_t r) {
  if (!Live(r)) return;
  if (ImageStillNeeded(r)) {
    if (g_imagePool[r].countdown == 0) g_imagePool[r].countdown = kImageDeletionFrames;
  } else {
    FreeImageNow(r);
  }
}

}  // namespace

void RebindImageNumber(int32_t number, uint32_t r) {
  if (!ImageNumberValid(number) || g_images.numbers.empty()) return;
  uint32_t& entry = g_images.numbers[size_t(number)];
  const uint32_t old = entry;
  entry = r;
  if (Live(r)) g_imagePool[r].number = number;
  if (old && old != r) RetireImage(old);
  // A record counting down since the number was deleted can no longer be taken back.
  uint32_t& pending = g_images.pending[size_t(number)];
  if (pending && pending != r) RetireImage(std::exchange(pending, 0));
}

void DeleteImageNumber(int32_t number) {
  const uint32_t r = ImageRecordOf(number);
  if (!r) return;
  g_images.numbers[size_t(number)] = 0;
  StartImageCountdown(r, number);
}

void DropImageSurface(uint32_t r) {
  if (r < g_images.surfaces.size()) g_images.surfaces[r].reset();
}

void FreeImageNow(uint32_t r) {
  if (!Live(r)) return;
  const int32_t n = g_imagePool[r].number;
  if (ImageNumberValid(n) && !g_images.numbers.empty()) {
    if (g_images.numbers[size_t(n)] == r) g_images.numbers[size_t(n)] = 0;
    if (g_images.pending[size_t(n)] == r) g_images.pending[size_t(n)] = 0;
  }
  ForgetImageInSprites(r);
  DetachImageTexture(r);
  ImageRecord& rec = g_imagePool[r];
  rec.width = rec.height = 0;
  rec.inUse = 0;
  rec.surface = nullptr;
  FreeImageRecord(r);
}

uint32_t GetImageColourKey() { return ImageColourKeyPixel(); }

bool EnsureImageSurface(uint32_t r, int32_t w, int32_t h) {
  if (!Live(r)) return false;
  const uint32_t key = GetImageColourKey();
  ImageRecord& rec = g_imagePool[r];
  SurfacePtr& entry = TableEntry(r);
  if (!(entry && rec.surfaceWidth == w && rec.surfaceHeight == h)) {
    entry.reset();
    rec.surface = nullptr;
    if (w < 1 || h < 1) return false;
    entry = SurfaceCreate(w, h, g_display.depth);
    if (!entry) return false;
    entry->hasKey = true;
    entry->key = key;
    rec.surface = entry.get();
    rec.surfaceWidth = w;
    rec.surfaceHeight = h;
  }
  rec.source = SurfRect{0, 0, w, h};
  rec.width = w;
  rec.height = h;
  rec.inUse = 1;
  return true;
}

void GrabImageFromBitmap(uint32_t r, int32_t bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t mode) {
  if (Live(r)) GrabInto(r, BitmapSurface(bitmap), x1, y1, x2, y2, mode);
}

void NoteImageChanged(uint32_t r, int32_t mode) {
  if (Live(r) && g_imagePool[r].texture > 0) RefreshImageTexture(r, 1, mode == 2 ? 1 : 0);
  g_images.imagesChanged = 1;
}

uint32_t BitmapToImage(int32_t n) {
  Surface* s = BitmapSurface(n);
  if (!s) return 0;
  SetBitmapInfo(n, s->Width(), s->Height(), s->Depth());
  const uint32_t r = AllocImageRecord();
  if (r == kNoRecord) return 0;
  TableEntry(r).reset();
  GrabImageFromBitmap(r, n, 0, 0, s->Width(), s->Height(), 0);
  return r;
}

bool TakeDisplayRestore() {
  const bool pending = g_display.restorePending != 0;
  g_display.restorePending = 0;
  return pending;
}

void TickRecordLifetimes() {
  if (g_imagePool.Created()) {
    g_imagePool.ForEachUsed([](uint32_t r, ImageRecord& rec) {
      if (rec.countdown > 0 && --rec.countdown == 0) FreeImageNow(r);
    });
  }
  AgeFrameRecords();
  if (g_images.imagesChanged) {
    g_images.imagesChanged = 0;
    if (g_images.displayChanged) g_display.restorePending = 1;
  }
  g_images.displayChanged = 0;
}

void ReleaseAllImageTextures() {
  if (!g_imagePool.Created()) return;
  g_imagePool.ForEachUsed([](uint32_t r, ImageRecord& rec) {
    if (rec.texture > 0) ReleaseTexture(rec.texture, true);
    g_imagePool[r].texture = 0;
  });
  g_images.imagesChanged = 1;
}

void ForgetAllImages() {
  if (!g_imagePool.Created()) return;
  g_imagePool.ForEachUsed([](uint32_t r, ImageRecord& rec) {
    if (!rec.inUse) return;
    if (rec.texture > 0) ReleaseTexture(rec.texture, true);
    ImageRecord& again = g_imagePool[r];
    again.texture = 0;
    again.inUse = 0;
    again.width = again.height = 0;
    again.surfaceWidth = again.surfaceHeight = 0;
    ReleaseSurface(r);
  });
  g_images.surfaces.clear();
  g_images.imagesChanged = 1;
}

bool ClipScaledRects(int32_t boundW, int32_t boundH, SurfRect* src, SurfRect* dst, int32_t x, int32_t y, float scaleX,
                     float scaleY, bool flipped, bool mirrored) {
  // Sizes and moves truncate toward zero; a scale that leaves nothing draws nothing.
  auto trunc = [](double v) { return std::isfinite(v) ? int64_t(std::clamp(v, -4e9, 4e9)) : int64_t(0); };
  const int64_t w = trunc(double(src->Width()) * double(scaleX)), h = trunc(double(src->Height()) * double(scaleY));
  if (w <= 0 || h <= 0) return false;
  int64_t left = x, top = y, right = left + w, bottom = top + h;
  int64_t sl = src->left, st = src->top, sr = src->right, sb = src->bottom;
  if (left < 0) {
    const int64_t m = trunc(double(-left) / double(scaleX));
    mirrored ? sr -= m : sl += m;
    left = 0;
  }
  if (top < 0) {
    const int64_t m = trunc(double(-top) / double(scaleY));
    flipped ? sb -= m : st += m;
    top = 0;
  }
  if (right > boundW) {
    const int64_t m = trunc(double(right - boundW) / double(scaleX));
    mirrored ? sl += m : sr -= m;
    right = boundW;
  }
  if (bottom > boundH) {
    const int64_t m = trunc(double(bottom - boundH) / double(scaleY));
    flipped ? st += m : sb -= m;
    bottom = boundH;
  }
  if (right <= left || bottom <= top || sr <= sl || sb <= st) return false;
  *src = SurfRect{int32_t(sl), int32_t(st), int32_t(sr), int32_t(sb)};
  *dst = SurfRect{int32_t(left), int32_t(top), int32_t(right), int32_t(bottom)};
  return true;
}

int32_t BlitImageRecord(Surface* target, int32_t bitmap, uint32_t r, int32_t x, int32_t y, bool colourKey) {
  Surface* img = ImageSurfaceOf(r);
  if (!target || !img) return 1;
  int32_t w, h;
  BitmapBounds(bitmap, &w, &h);
  SurfRect src = g_imagePool[r].source, dst;
  if (!ClipScaledRects(w, h, &src, &dst, x, y, 1.0f, 1.0f, false, false)) return 1;
  RetrySurfaceCall(target, [&] {
    return SurfaceBltFast(target, dst.left, dst.top, img, &src, colourKey ? uint32_t(kBltKeySrc) : 0u);
  });
  return 1;
}

void QueueGetImage(uint32_t r, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t textureFlag) {
  DrawOp* taken = TakeDrawOp(kDrawGetImage, 1);
  if (!taken) return;
  DrawOp& op = *taken;
  op.object = r;
  op.a = x1;
  op.b = y1;
  op.c = x2;
  op.d = y2;
  op.values[0] = textureFlag;
  if (ImageRecord* rec = ImageAt(r)) {
    rec->width = int32_t(uint32_t(x2) - uint32_t(x1));
    rec->height = int32_t(uint32_t(y2) - uint32_t(y1));
    // A new image exists at once, blank until the grab runs with the frame: a texture made
    // from it meanwhile is filled in then.
    int32_t w = 0, h = 0;
    BitmapBounds(int32_t(op.bitmapAtQueue), &w, &h);
    const bool inside = x1 >= 0 && y1 >= 0 && x1 < x2 && y1 < y2 && x2 <= w && y2 <= h;
    if (inside && !ImageSurfaceOf(r)) EnsureImageSurface(r, x2 - x1, y2 - y1);
  }
}

void QueuePasteImage(uint32_t r, int32_t x, int32_t y, bool transparent) {
  DrawOp* taken = TakeDrawOp(kDrawPasteImage, ScreenLifetime());
  if (!taken) return;
  DrawOp& op = *taken;
  op.object = r;
  op.a = x;
  op.b = y;
  op.c = transparent ? 1 : 0;
}

void QueuePasteSprite(int32_t sprite, int32_t x, int32_t y) {
  DrawOp* taken = TakeDrawOp(kDrawPasteSprite, ScreenLifetime());
  if (!taken) return;
  DrawOp& op = *taken;
  op.object = uint32_t(sprite);
  op.a = x;
  op.b = y;
}

void QueueSaveImage(uint32_t r, const char* file) {
  if (DrawOp* op = TakeDrawOp(kDrawSaveImage, 1)) {
    op->object = r;
    CopyRecordText(*op, file);
  }
}

void QueueRotateImage(uint32_t r, int32_t angle) {
  if (DrawOp* op = TakeDrawOp(kDrawRotateImage, 1)) {
    op->object = r;
    op->a = angle;
  }
}

namespace {

void RunGrab(const DrawOp& op, Surface* target) {
  if (!target) return;
  const uint32_t r = op.object;
  const int32_t n = int32_t(op.bitmapAtQueue);
  if (op.a >= op.c || op.b >= op.d) return RunError(504);
  int32_t w, h;
  BitmapBounds(n, &w, &h);
  if (op.a < 0 || op.b < 0 || op.c > w || op.d > h) return RunError(503);
  if (!Live(r)) return;
  // A texture the image has is refreshed by the grab, in the mode asked for (2: transparent).
  const int32_t flag = op.values[0];
  const bool copied = GrabInto(r, n == 0 ? g_display.backBuffer.get() : BitmapSurface(n), op.a, op.b, op.c, op.d, flag);
  if (!copied && g_display.active) return RunError(500);
  if (flag > 0 && g_imagePool[r].texture <= 0 && g_imagePool[r].inUse) AcquireImageTextureEx(r, 1, flag == 2 ? 1 : 0);
}

void RunSave(const DrawOp& op) {
  const uint32_t r = op.object;
  Surface* img = ImageSurfaceOf(r);
  if (!img) return RunError(502);
  const ImageRecord& rec = g_imagePool[r];
  if (!CreateBitmapSurface(kScratchSlot, rec.width, rec.height)) return RunError(kErrImageNotSaved);
  BlitImageRecord(BitmapSurface(kScratchSlot), kScratchSlot, r, 0, 0, false);
  std::string why;
  // SAVE IMAGE never writes over a file, one made since the command too.
  const bool saved = SaveSurfaceSlot(kScratchSlot, op.text, &why, false);
  ReleaseSurfaceSlot(kScratchSlot);
  // The message names the file and the cause after the error's own text.
  if (!saved && why == "already exists") {
    RunFileError(kErrFileExists, op.text, why);
  } else if (!saved) {
    LogEngineError(std::string(op.text) + ": " + why);
    RunError(kErrImageNotSaved);
  }
}

void RunRotate(const DrawOp& op, Surface* target) {
  const uint32_t r = op.object;
  if (!target || !ImageSurfaceOf(r) || r >= g_images.surfaces.size() || !g_images.surfaces[r]) return;
  SurfacePtr& entry = g_images.surfaces[r];
  if (!RotateSurface(&entry, op.a)) return;  // the picture stays as it was
  ImageRecord& rec = g_imagePool[r];
  rec.surface = entry.get();
  rec.surfaceWidth = rec.width = entry->Width();
  rec.surfaceHeight = rec.height = entry->Height();
  rec.source = SurfRect{0, 0, rec.width, rec.height};
  if (rec.texture > 0) {
    DetachImageTexture(r);
    rec.texture = 0;
  }
}

}  // namespace

void ExecuteImageOp(DrawOp& op, Surface* target) {
  switch (op.code) {
    case 51: RunGrab(op, target); break;
    case 52:
      if (target && ImageSurfaceOf(op.object))
        BlitImageRecord(target, int32_t(op.bitmapAtQueue), op.object, op.a, op.b, op.c == 1);
      break;
    case 53: FreeImageNow(op.object); break;
    case 54: {
      const uint32_t f = SpriteRecordOf(int32_t(op.object));
      if (target && f) DrawSprite(target, int32_t(op.bitmapAtQueue), f, op.a, op.b);
      break;
    }
    case 55: RunSave(op); break;
    case 56: RunRotate(op, target); break;
    default: break;
  }
}
