// Sprite records, drawing, the priority passes, saved backgrounds and collision.
#include "display/sprites.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "core/errors.h"
#include "display/display.h"
#include "display/images.h"
#include "display/record_pools.h"

SpriteState g_sprites;

void ResetSprites() {
  g_sprites = SpriteState{};
  g_sprites.numbers.Reset(size_t(kMaxSpriteNumber) + 1);
}

namespace {

bool LiveFrame(uint32_t f) { return g_framePool.InUse(f); }

// Sizes scale and truncate toward zero; a scale that is not a number counts as 0.
int32_t Scaled(int32_t size, float scale) {
  const double v = double(size) * double(scale);
  return std::isfinite(v) ? int32_t(std::clamp(v, -2e9, 2e9)) : 0;
}

// Positions and offsets are any 32-bit values a program gives: their sums are kept in range.
int32_t Clamp32(int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

// The sprite's box on the screen (unclipped).
SurfRect SpriteBox(const FrameRecord& f) {
  const int64_t left = int64_t(f.x) - f.offsetX, top = int64_t(f.y) - f.offsetY;
  return {Clamp32(left), Clamp32(top), Clamp32(left + SpriteWidth(f)), Clamp32(top + SpriteHeight(f))};
}

}  // namespace

uint32_t SpriteRecordOf(int32_t number) {
  if (!SpriteNumberValid(number) || g_sprites.numbers.empty()) return 0;
  return g_sprites.numbers[size_t(number)];
}

FrameRecord* FrameAt(uint32_t f) { return LiveFrame(f) ? &g_framePool[f] : nullptr; }

uint32_t MakeSprite(int32_t number) {
  if (!SpriteNumberValid(number) || g_sprites.numbers.empty()) return 0;
  if (const uint32_t f = g_sprites.numbers[size_t(number)]) {
    FrameRecord& rec = g_framePool[f];
    if (!rec.exists) {  // deleted, its countdown running: take it back
      rec.exists = 1;
      rec.countdown = 0;
    }
    return f;
  }
  uint32_t f = AllocFrameRecord();
  // Record 0 means "none" in the number table: it stays taken, shown by nobody.
  if (f == 0) f = AllocFrameRecord();
  if (f == kNoRecord) return 0;
  FrameRecord& rec = g_framePool[f];
  rec.exists = 1;
  rec.imageRecord = -1;
  rec.savesBackground = 1;
  rec.scaleX = rec.scaleY = 1.0f;
  rec.transparent = 1;
  rec.visible = 1;
  rec.spriteNumber = number;
  g_sprites.numbers[size_t(number)] = f;
  return f;
}

void DeleteSprite(int32_t number) {
  const uint32_t f = SpriteRecordOf(number);
  if (!f) return;
  FrameRecord& rec = g_framePool[f];
  rec.exists = 0;
  if (!rec.savesBackground) {
    g_sprites.numbers[size_t(number)] = 0;
    FreeFrameRecord(f);
    return;
  }
  // Its saved backgrounds are put back into both buffers before the record goes.
  rec.imageRecord = -1;
  rec.countdown = 2;
}

int32_t SpriteWidth(const FrameRecord& f) {
  const ImageRecord* img = f.imageRecord > 0 ? ImageAt(uint32_t(f.imageRecord)) : nullptr;
  return img ? Scaled(img->width, f.scaleX) : 0;
}

int32_t SpriteHeight(const FrameRecord& f) {
  const ImageRecord* img = f.imageRecord > 0 ? ImageAt(uint32_t(f.imageRecord)) : nullptr;
  return img ? Scaled(img->height, f.scaleY) : 0;
}

bool ImageShownBySprite(uint32_t image) {
  if (!g_framePool.Created()) return false;
  bool shown = false;
  g_framePool.ForEachUsed([&](uint32_t, FrameRecord& f) {
    shown = shown || (!f.belongsTo3D && f.imageRecord == int32_t(image));
  });
  return shown;
}

void ForgetImageInSprites(uint32_t image) {
  if (!g_framePool.Created()) return;
  g_framePool.ForEachUsed([image](uint32_t, FrameRecord& f) {
    if (!f.belongsTo3D && f.imageRecord == int32_t(image)) f.imageRecord = -1;
  });
}

void DrawSprite(Surface* target, int32_t bitmap, uint32_t frame, int32_t x, int32_t y) {
  const FrameRecord* f = FrameAt(frame);
  if (!f || f->belongsTo3D || f->imageRecord < 1) return;
  const uint32_t r = uint32_t(f->imageRecord);
  Surface* img = ImageSurfaceOf(r);
  if (!target || !img) return;
  const ImageRecord& rec = g_imagePool[r];
  SurfRect src{rec.source.left, rec.source.top, rec.source.left + rec.width, rec.source.top + rec.height};
  src.right = std::min(src.right, img->Width());
  src.bottom = std::min(src.bottom, img->Height());
  const int32_t boundW = bitmap == 0 ? g_display.width : target->Width();
  const int32_t boundH = bitmap == 0 ? g_display.height : target->Height();
  SurfRect dst;
  const int32_t left = Clamp32(int64_t(x) - f->offsetX), top = Clamp32(int64_t(y) - f->offsetY);
  if (!ClipScaledRects(boundW, boundH, &src, &dst, left, top, f->scaleX, f->scaleY, f->flipped == 1, f->mirrored == 1))
    return;
  const uint32_t flags = (f->flipped == 1 ? uint32_t(kBltMirrorUpDown) : 0u) |
                         (f->mirrored == 1 ? uint32_t(kBltMirrorLeftRight) : 0u) |
                         (f->transparent == 1 ? uint32_t(kBltKeySrc) : 0u);
  RetrySurfaceCall(target, [&] { return SurfaceBltFx(target, dst, img, src, flags); });
}

void DrawAllSprites() {
  Surface* back = g_display.backBuffer.get();
  if (!back || !g_framePool.Created() || g_framePool.UsedHead() == kNoRecord) return;
  PrepareBackBuffer2D();
  g_display.backBufferChanged = 1;
  for (uint32_t pass = 0; pass < 3; ++pass)
    for (uint32_t f = g_framePool.UsedHead(); f != kNoRecord; f = g_framePool[f].next) {
      const FrameRecord& rec = g_framePool[f];
      if (rec.priority == pass && rec.visible == 1 && rec.imageRecord != -1 && !rec.belongsTo3D)
        DrawSprite(back, 0, f, rec.x, rec.y);
    }
}

void RestoreSpriteBackgrounds() {
  Surface* back = g_display.backBuffer.get();
  if (!back || !g_framePool.Created() || g_framePool.UsedHead() == kNoRecord) return;
  const int32_t b = g_display.bufferIndex & 1;
  bool touched = false;
  for (uint32_t f = g_framePool.UsedHead(); f != kNoRecord; f = g_framePool[f].next) {
    const FrameRecord& rec = g_framePool[f];
    if (!rec.savesBackground || rec.backgroundImage[b] < 0 || rec.savedRect[b].right < 1) continue;
    const uint32_t bg = uint32_t(rec.backgroundImage[b]);
    Surface* img = ImageSurfaceOf(bg);
    if (!img) continue;
    if (!touched) {
      PrepareBackBuffer2D();
      touched = true;
    }
    const SurfRect src = g_imagePool[bg].source;
    RetrySurfaceCall(back, [&] { return SurfaceBltFast(back, rec.savedRect[b].left, rec.savedRect[b].top, img, &src, 0); });
  }
  if (touched) g_display.backBufferChanged = 1;
}

void SaveSpriteBackgrounds() {
  Surface* back = g_display.backBuffer.get();
  if (!back || !g_framePool.Created() || g_framePool.UsedHead() == kNoRecord) return;
  const int32_t b = g_display.bufferIndex & 1;
  bool prepared = false;
  for (uint32_t f = g_framePool.UsedHead(); f != kNoRecord; f = g_framePool[f].next) {
    if (!g_framePool[f].savesBackground) continue;
    FrameRecord* rec = &g_framePool[f];
    rec->savedRect[b].right = 0;
    // A deleted sprite (no image) and a sprite scaled to nothing save nothing.
    const SurfRect box = SpriteBox(*rec);
    if (box.Width() <= 0 || box.Height() <= 0) continue;
    const SurfRect clip{std::max(box.left, 0), std::max(box.top, 0), std::min(box.right, g_display.width),
                        std::min(box.bottom, g_display.height)};
    if (clip.Width() <= 0 || clip.Height() <= 0) continue;
    if (rec->backgroundImage[b] < 0) {
      const uint32_t bg = AllocImageRecord();
      rec = &g_framePool[f];
      if (bg == kNoRecord) continue;
      rec->backgroundImage[b] = int32_t(bg);
    }
    const uint32_t bg = uint32_t(rec->backgroundImage[b]);
    ImageRecord* img = ImageAt(bg);
    // The save surface holds the visible part (never more than the screen).
    if (!img->surface || img->surfaceWidth < clip.Width() || img->surfaceHeight < clip.Height()) {
      if (!EnsureImageSurface(bg, clip.Width(), clip.Height())) {
        RunError(101);
        continue;
      }
      img = ImageAt(bg);
    }
    img->source = SurfRect{0, 0, clip.Width(), clip.Height()};
    img->width = clip.Width();
    img->height = clip.Height();
    img->inUse = 1;
    if (!prepared) {
      PrepareBackBuffer2D();
      prepared = true;
    }
    Surface* dst = img->surface;
    if (RetrySurfaceCall(dst, [&] { return SurfaceBltFast(dst, 0, 0, back, &clip, 0); }) == kSurfOk)
      rec->savedRect[b] = clip;
  }
}

void ReleaseSpriteBackgrounds() {
  if (g_framePool.Created()) {
    g_framePool.ForEachUsed([](uint32_t f, FrameRecord&) {
      if (!g_framePool[f].savesBackground) return;
      for (int b = 0; b < 2; ++b) {
        const int32_t bg = g_framePool[f].backgroundImage[b];
        if (bg >= 0) FreeImageNow(uint32_t(bg));
        g_framePool[f].backgroundImage[b] = -1;
        g_framePool[f].savedRect[b] = SurfRect{};
      }
    });
  }
  g_images.displayChanged = 1;
}

void AgeFrameRecords() {
  if (!g_framePool.Created()) return;
  g_framePool.ForEachUsed([](uint32_t f, FrameRecord& rec) {
    if (rec.countdown < 1 || --rec.countdown > 0) return;
    const int32_t n = rec.spriteNumber;
    if (SpriteNumberValid(n) && g_sprites.numbers[size_t(n)] == f) g_sprites.numbers[size_t(n)] = 0;
    g_framePool[f].spriteNumber = 0;
    FreeFrameRecord(f);
  });
}

int32_t SpritesOverlap(uint32_t a, uint32_t b) {
  const FrameRecord* fa = FrameAt(a);
  const FrameRecord* fb = FrameAt(b);
  if (!fa || !fb || !fa->exists || !fb->exists || fa->imageRecord < 1 || fb->imageRecord < 1) return 0;
  const SurfRect ba = SpriteBox(*fa), bb = SpriteBox(*fb);
  // An empty box (no picture, scale 0) touches nothing.
  if (ba.Width() <= 0 || ba.Height() <= 0 || bb.Width() <= 0 || bb.Height() <= 0) return 0;
  if (ba.left > bb.right || ba.top > bb.bottom || ba.right <= bb.left || ba.bottom <= bb.top) return 0;
  return SpritePixelsOverlap(uint32_t(fa->imageRecord), ba, uint32_t(fb->imageRecord), bb, fa->flipped == 1,
                             fa->mirrored == 1, fb->flipped == 1, fb->mirrored == 1);
}

int32_t SpritePixelsOverlap(uint32_t imageA, const SurfRect& boxA, uint32_t imageB, const SurfRect& boxB,
                            bool flippedA, bool mirroredA, bool flippedB, bool mirroredB) {
  Surface* sa = ImageSurfaceOf(imageA);
  Surface* sb = ImageSurfaceOf(imageB);
  if (!sa || !sb || boxA.Width() <= 0 || boxA.Height() <= 0 || boxB.Width() <= 0 || boxB.Height() <= 0) return 0;
  struct Side {
    Surface* s;
    const ImageRecord* rec;
    SurfRect box;
    bool flipped, mirrored;
    double rx, ry;
    int32_t bpp;
  };
  auto side = [](Surface* s, uint32_t image, const SurfRect& box, bool flipped, bool mirrored) {
    const ImageRecord* rec = ImageAt(image);
    return Side{s, rec, box, flipped, mirrored, double(rec->width) / box.Width(), double(rec->height) / box.Height(),
                s->Format().BytesPerPixel()};
  };
  const Side a = side(sa, imageA, boxA, flippedA, mirroredA), b = side(sb, imageB, boxB, flippedB, mirroredB);
  const int32_t left = std::max(boxA.left, boxB.left), top = std::max(boxA.top, boxB.top);
  const int32_t right = std::min(boxA.right, boxB.right), bottom = std::min(boxA.bottom, boxB.bottom);
  // Image column under screen column x (row under screen row y): through the ratio, turned
  // over when mirrored (flipped) as drawing does (after the cut to a whole column), kept inside
  // the picture.
  auto column = [](const Side& s, int32_t x) {
    const int32_t w = std::min(s.rec->width, s.s->Width() - s.rec->source.left);
    const int64_t lx = int64_t(double(x - s.box.left) * s.rx);
    return int32_t(std::clamp<int64_t>(s.mirrored ? w - 1 - lx : lx, 0, w - 1));
  };
  auto row = [](const Side& s, int32_t y) {
    const int32_t h = std::min(s.rec->height, s.s->Height() - s.rec->source.top);
    const int64_t ly = int64_t(double(y - s.box.top) * s.ry);
    return int32_t(std::clamp<int64_t>(s.flipped ? h - 1 - ly : ly, 0, h - 1));
  };
  // Both mappings are monotonic, so screen positions that land on the same pair of image
  // columns (rows) form runs; one position per run is tested, which bounds the work by the
  // image sizes however far the sprites are scaled up.
  auto runStarts = [](int32_t from, int32_t to, auto&& key) {
    std::vector<int32_t> starts;
    for (int32_t pos = from; pos < to;) {
      starts.push_back(pos);
      const auto k = key(pos);
      // Last position of the run: gallop, then halve.
      int64_t good = pos, step = 1;
      while (good + step < to && key(int32_t(good + step)) == k) {
        good += step;
        step *= 2;
      }
      for (int64_t bad = std::min<int64_t>(good + step, to); bad - good > 1;) {
        const int64_t mid = good + (bad - good) / 2;
        (key(int32_t(mid)) == k ? good : bad) = mid;
      }
      pos = int32_t(good + 1);
    }
    return starts;
  };
  const std::vector<int32_t> xs =
      runStarts(left, right, [&](int32_t x) { return std::pair(column(a, x), column(b, x)); });
  const std::vector<int32_t> ys = runStarts(top, bottom, [&](int32_t y) { return std::pair(row(a, y), row(b, y)); });
  auto pixel = [](const Side& s, int32_t col, int32_t r) {
    return LoadPixel(s.s->Row(s.rec->source.top + r) + (s.rec->source.left + col) * s.bpp, s.bpp);
  };
  for (int32_t y : ys) {
    const int32_t ra = row(a, y), rb = row(b, y);
    for (int32_t x : xs)
      if (pixel(a, column(a, x), ra) & pixel(b, column(b, x), rb)) return 1;
  }
  return 0;
}
