// The runtime's pointer sprites: the arrow (or caret, dot or hand) that follows the mouse and
// the environment's text caret. Both are frame records of the sprite pool, drawn in the last
// priority pass, showing image records that share the default bitmap's surface (the bank's
// surface table has no entry for them, so freeing them leaves the sheet alone).
#include "display/display.h"
#include "display/images.h"
#include "display/pointer_picture.h"
#include "display/record_pools.h"
#include "display/sprites.h"

namespace {

constexpr int32_t kOffScreen = -256;
// The caret stays shown, then hidden, for this many frames and one more.
constexpr int16_t kCaretBlinkFrames = 20;
constexpr uint32_t kPointerPriority = 2;

// Cuts one picture from the sheet into the image record held in index (made when there is
// none). Without a sheet the record holds no picture and the sprite draws nothing.
void CutImage(int32_t& index, const SurfRect& rect) {
  if (index < 0 || !ImageAt(uint32_t(index))) {
    uint32_t r = AllocImageRecord();
    // Record 0 means "none" to the image routines: it stays taken, shown by nobody.
    if (r == 0) r = AllocImageRecord();
    if (r == kNoRecord) {
      index = -1;
      return;
    }
    index = int32_t(r);
  }
  ImageRecord& img = g_imagePool[uint32_t(index)];
  Surface* sheet = g_display.defaultBitmap.get();
  img.inUse = sheet ? 1 : 0;
  img.texture = 0;
  img.surface = sheet;
  img.source = rect;
  img.width = rect.Width();
  img.height = rect.Height();
  img.surfaceWidth = sheet ? sheet->Width() : 0;
  img.surfaceHeight = sheet ? sheet->Height() : 0;
  img.countdown = 0;
  img.number = 0;
}

void CutImages() {
  CutImage(g_sprites.pointerImage, kPointerArrowRect);
  CutImage(g_sprites.caretImage, kPointerCaretRect);
  CutImage(g_sprites.dotImage, kPointerDotRect);
  CutImage(g_sprites.handImage, kPointerHandRect);
}

int32_t MakeFrame(int32_t x, int32_t y, int32_t saveBackground) {
  const uint32_t f = AllocFrameRecord();
  if (f == kNoRecord) return -1;
  FrameRecord& rec = g_framePool[f];
  rec.exists = 1;
  rec.visible = 1;
  rec.transparent = 1;
  rec.imageRecord = g_sprites.pointerImage;
  rec.x = x;
  rec.y = y;
  rec.savesBackground = saveBackground == 1 ? 1 : 0;
  rec.priority = kPointerPriority;
  return int32_t(f);
}

// What both sprites cover, saved for both buffers of a flipping display.
void SaveBothBuffers() {
  const int32_t current = g_display.bufferIndex;
  g_display.bufferIndex = 1;
  SaveSpriteBackgrounds();
  g_display.bufferIndex = 0;
  SaveSpriteBackgrounds();
  g_display.bufferIndex = current;
}

void FreeImage(int32_t& index) {
  if (index >= 0) FreeImageNow(uint32_t(index));
  index = -1;
}

FrameRecord* PointerFrame() { return g_sprites.pointerFrame < 0 ? nullptr : FrameAt(uint32_t(g_sprites.pointerFrame)); }
FrameRecord* CaretFrame() { return g_sprites.caretFrame < 0 ? nullptr : FrameAt(uint32_t(g_sprites.caretFrame)); }

void MoveFrame(FrameRecord* f, int32_t x, int32_t y) {
  if (!f) return;
  f->x = x;
  f->y = y;
}

}  // namespace

int CreatePointerSprites(int32_t saveBackground) {
  if (!PointerFrame()) {
    CutImages();
    g_sprites.pointerFrame = MakeFrame(320, 100, saveBackground);
    g_sprites.caretFrame = MakeFrame(kOffScreen, kOffScreen, saveBackground);
    if (saveBackground == 1 && PointerFrame()) SaveBothBuffers();
  }
  // Without a pointer sprite (no pools, or full) the window keeps the mouse.
  g_sprites.active = PointerFrame() ? 1 : 0;
  return 1;
}

int RecreatePointerSprites(int32_t saveBackground) {
  if (!PointerFrame()) return 1;
  g_sprites.active = 1;
  CutImages();
  PointerFrame()->imageRecord = g_sprites.pointerImage;
  if (FrameRecord* caret = CaretFrame()) caret->imageRecord = g_sprites.pointerImage;
  if (saveBackground == 1) SaveBothBuffers();
  return 1;
}

void ReleasePointerSprites() {
  if (!PointerFrame()) {
    g_sprites.active = 0;
    return;
  }
  // Freeing a frame record frees its saved backgrounds.
  for (int32_t* frame : {&g_sprites.pointerFrame, &g_sprites.caretFrame}) {
    if (*frame >= 0 && FrameAt(uint32_t(*frame))) FreeFrameRecord(uint32_t(*frame));
    *frame = -1;
  }
  FreeImage(g_sprites.pointerImage);
  FreeImage(g_sprites.caretImage);
  FreeImage(g_sprites.dotImage);
  FreeImage(g_sprites.handImage);
  g_sprites.active = 0;
}

int HidePointerSprites() {
  if (!PointerFrame()) return 1;
  g_sprites.active = 0;
  MoveFrame(PointerFrame(), kOffScreen, kOffScreen);
  MoveFrame(CaretFrame(), kOffScreen, kOffScreen);
  return 1;
}

int SetPointerShape(int32_t shape) {
  if (!g_sprites.active || !PointerFrame()) return 1;
  FrameRecord* caret = CaretFrame();
  switch (shape) {
    case 1: PointerFrame()->imageRecord = g_sprites.pointerImage; break;
    case 2: PointerFrame()->imageRecord = g_sprites.caretImage; break;
    case 3: PointerFrame()->imageRecord = g_sprites.dotImage; break;
    case 4:
      // The next frame shows the caret at once: the blink starts from a full count, hidden.
      g_sprites.blinkCounter = kCaretBlinkFrames;
      g_sprites.blinkPhase = 1;
      if (caret) caret->imageRecord = g_sprites.caretImage;
      break;
    case 5: MoveFrame(caret, kOffScreen, kOffScreen); break;
    case 6: PointerFrame()->imageRecord = g_sprites.handImage; break;
    default: break;
  }
  return 1;
}

bool PointerSpritesPresent() { return g_sprites.active != 0; }

void SetPointerSpritePosition(int32_t x, int32_t y) {
  g_sprites.pointerX = x;
  g_sprites.pointerY = y;
}

void SetCaretSpritePosition(int32_t x, int32_t y) {
  g_sprites.caretX = x;
  g_sprites.caretY = y;
}

void UpdatePointerSprites() {
  // Hidden sprites stay off screen until they are shown again.
  if (g_sprites.active) {
    if (FrameRecord* caret = CaretFrame(); caret && caret->imageRecord == g_sprites.caretImage) {
      if (++g_sprites.blinkCounter > kCaretBlinkFrames) {
        g_sprites.blinkCounter = 0;
        g_sprites.blinkPhase = int16_t(1 - g_sprites.blinkPhase);
      }
      if (g_sprites.blinkPhase)
        MoveFrame(caret, kOffScreen, kOffScreen);
      else
        MoveFrame(caret, g_sprites.caretX - 1, g_sprites.caretY - 1);
    }
    MoveFrame(PointerFrame(), g_sprites.pointerX - 1, g_sprites.pointerY - 1);
  }
  if (!g_framePool.Created()) return;
  g_framePool.ForEachUsed([](uint32_t, FrameRecord& rec) {
    if (!rec.belongsTo3D) return;
    for (int i = 0; i < 3; ++i) rec.previousPosition[i] = rec.position[i];
  });
}
