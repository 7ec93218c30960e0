// The draw queue: records, producers, the refresh walk and the flush of mode changes.
#include "display/draw_queue.h"

#include <algorithm>
#include <cstring>

#include "core/errors.h"
#include "display/bitmaps.h"
#include "display/display.h"
#include "display/record_pools.h"

DrawState g_draw;
uint8_t ScreenPersistence = 1;

void SetScreenPersistence(uint8_t value) { ScreenPersistence = value; }

void SetDrawTargetsToBackBuffer() {
  g_draw.programBitmap = 0;
  g_draw.programHasTarget = 1;
  g_draw.execBitmap = 0;
  ScreenPersistence = g_display.pageFlipped ? 2 : 1;
}

void ResetDrawQueueState() {
  g_draw = DrawState{};
  ScreenPersistence = 1;
}

void SetDrawColours(uint32_t background, int64_t foreground) {
  const PixelShifts& s = g_pixelShifts;
  auto convert = [&](uint32_t rgb, uint32_t* pixel, uint8_t* bytes) {
    const uint32_t ch[3] = {(rgb >> 16) & 255, (rgb >> 8) & 255, rgb & 255};
    const uint32_t max[3] = {s.redMax, s.greenMax, s.blueMax};
    uint32_t q[3];
    for (int i = 0; i < 3; ++i) {
      q[i] = uint32_t(int32_t(double(max[i]) / 255.0 * double(ch[i])));
      bytes[i] = max[i] ? uint8_t(int32_t(255.0 / double(max[i]) * double(q[i]))) : 0;
    }
    *pixel = (q[0] << s.redShift) + (q[1] << s.greenShift) + q[2];
  };
  convert(background, &g_draw.backgroundPixel, g_draw.background);
  if (foreground != -1) convert(uint32_t(foreground), &g_draw.foregroundPixel, g_draw.foreground);
}

int8_t ScreenLifetime() { return g_draw.programBitmap != 0 ? 1 : int8_t(ScreenPersistence); }
int8_t ScreenLifetimeOf(int32_t bitmap) { return bitmap != 0 ? 1 : int8_t(ScreenPersistence); }

void CopyRecordText(DrawOp& op, const char* text) {
  size_t n = text ? std::min(std::strlen(text), sizeof op.text - 1) : 0;
  if (n) std::memcpy(op.text, text, n);
  op.text[n] = 0;
}

DrawOp* TakeDrawOp(uint32_t code, int8_t lifetime) {
  // Every field but the text is set; the text is emptied, not cleared.
  const uint32_t r = g_drawOpPool.Alloc([&](DrawOp& op) {
    op.code = code;
    op.a = op.b = op.c = op.d = 0;
    op.fc = op.fd = 0.0f;
    op.lifetime = lifetime;
    op.bitmapAtQueue = g_draw.programBitmap;
    op.hadTarget = g_draw.programHasTarget;
    op.object = 0;
    op.flag = op.newLine = op.transcribed = op.blankTail = 0;
    op.cell = nullptr;
    std::fill(op.values, op.values + 10, 0);
    op.text[0] = 0;
    op.word = CurrentCommandWord();
  });
  return r == kNoRecord ? nullptr : &g_drawOpPool[r];
}

namespace {
// A record of two corners on the screen's lifetime (boxes and lines).
void QueueCorners(uint32_t code, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  if (DrawOp* op = TakeDrawOp(code, ScreenLifetime())) {
    op->a = x1;
    op->b = y1;
    op->c = x2;
    op->d = y2;
  }
}
}  // namespace

void QueueSetCurrentBitmap(int32_t n) {
  TakeDrawOp(kDrawSetCurrentBitmap, 1);
  g_draw.programBitmap = uint32_t(n);
  g_draw.programHasTarget = BitmapSurface(n) != nullptr;
}

void QueueLoadBitmap(int32_t n, const char* file) {
  if (DrawOp* op = TakeDrawOp(kDrawLoadBitmap, ScreenLifetimeOf(n))) {
    op->object = uint32_t(n);
    CopyRecordText(*op, file);
  }
}

void QueueSaveBitmap(int32_t n, const char* file) {
  if (DrawOp* op = TakeDrawOp(kDrawSaveBitmap, 1)) {
    op->object = uint32_t(n);
    CopyRecordText(*op, file);
  }
}

void QueueScreenGrab(const char* file) {
  if (DrawOp* op = TakeDrawOp(kDrawGrabScreen, 1)) CopyRecordText(*op, file);
}

void QueueCreateBitmap(int32_t n, int32_t w, int32_t h) {
  if (DrawOp* op = TakeDrawOp(kDrawCreateBitmap, 1)) {
    op->object = uint32_t(n);
    op->c = w;
    op->d = h;
  }
}

void QueueDeleteBitmap(int32_t n) {
  if (DrawOp* op = TakeDrawOp(kDrawDeleteBitmap, 1)) op->object = uint32_t(n);
  if (uint32_t(n) == g_draw.programBitmap) {
    g_draw.programBitmap = 0;
    g_draw.programHasTarget = 1;
  }
}

void QueueCopyBitmap(int32_t from, int32_t to) {
  if (DrawOp* op = TakeDrawOp(kDrawCopyBitmap, ScreenLifetimeOf(to))) {
    op->object = uint32_t(from);
    op->a = 0;
    op->values[4] = to;
  }
}

void QueueCopyBitmapRect(int32_t from, int32_t fx1, int32_t fy1, int32_t fx2, int32_t fy2, int32_t to, int32_t tx1,
                         int32_t ty1, int32_t tx2, int32_t ty2) {
  if (DrawOp* op = TakeDrawOp(kDrawCopyBitmap, ScreenLifetimeOf(to))) {
    op->object = uint32_t(from);
    op->a = 1;
    const int32_t v[9] = {fx1, fy1, fx2, fy2, to, tx1, ty1, tx2, ty2};
    std::copy(v, v + 9, op->values);
  }
}

void QueueBitmapEffect(uint32_t code, int32_t n, int32_t amount) {
  if (DrawOp* op = TakeDrawOp(code, ScreenLifetimeOf(n))) {
    op->object = uint32_t(n);
    op->values[0] = amount;
  }
}

void QueueCls() {
  if (DrawOp* op = TakeDrawOp(kDrawCls, ScreenLifetime())) op->values[0] = op->values[1] = 0;
}

void QueueClsDevice(uint32_t colour) {
  if (DrawOp* op = TakeDrawOp(kDrawCls, ScreenLifetime())) {
    op->values[0] = 1;
    op->values[1] = int32_t(colour);
  }
}

void QueueDot(int32_t x, int32_t y) {
  if (DrawOp* op = TakeDrawOp(kDrawDot, ScreenLifetime())) {
    op->a = x;
    op->b = y;
  }
}

void QueueBox(int32_t x1, int32_t y1, int32_t x2, int32_t y2) { QueueCorners(kDrawBox, x1, y1, x2, y2); }

void QueueLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2) { QueueCorners(kDrawLine, x1, y1, x2, y2); }

void QueueEllipse(int32_t x, int32_t y, float rx, float ry) {
  if (DrawOp* op = TakeDrawOp(kDrawEllipse, ScreenLifetime())) {
    op->a = x;
    op->b = y;
    op->fc = rx;
    op->fd = ry;
  }
}

void QueueInk(uint32_t foreground, uint32_t background) {
  if (DrawOp* op = TakeDrawOp(kDrawInk, ScreenLifetime())) {
    op->c = int32_t(background);
    op->d = int32_t(foreground);
  }
}

void QueueClsColor(uint32_t colour) {
  if (DrawOp* op = TakeDrawOp(kDrawClsColour, ScreenLifetime())) op->c = int32_t(colour);
}

void QueueReadPoint(int32_t x, int32_t y, VarCell* result) {
  if (DrawOp* op = TakeDrawOp(kDrawReadPoint, ScreenLifetime())) {
    op->a = x;
    op->b = y;
    op->cell = result;
  }
}

void QueueTextAt(const char* text, const int32_t* x, const int32_t* y) {
  if (DrawOp* op = TakeDrawOp(kDrawLineInput, ScreenLifetime())) {
    op->a = *x;
    op->b = *y;
    CopyRecordText(*op, text);
  }
}

void QueueTextState(uint32_t code, int32_t value, const char* text) {
  if (DrawOp* op = TakeDrawOp(code, 1)) {
    op->values[0] = value;
    CopyRecordText(*op, text);
  }
}

void QueueTextAtPoint(uint32_t code, int32_t x, int32_t y, const char* text) {
  if (DrawOp* op = TakeDrawOp(code, ScreenLifetime())) {
    op->a = x;
    op->b = y;
    op->transcribed = 0;
    CopyRecordText(*op, text);
  }
}

void RunDrawQueue() {
  if (!g_display.backBuffer || !g_drawOpPool.Created()) return;
  if (g_drawOpPool.UsedHead() == kNoRecord) return;
  PrepareBackBuffer2D();
  g_display.backBufferChanged = 1;
  const int32_t errorBefore = g_errorCode;
  for (uint32_t r = g_drawOpPool.UsedHead(); r != kNoRecord;) {
    DrawOp& op = g_drawOpPool[r];
    op.lifetime = int8_t(op.lifetime - 1);
    // Errors of the operation name the line that queued it, not the refresh that runs it. The
    // program stops at the first: saves it queued after that line are not carried out, so the
    // one the message names is the only file lost.
    g_queuedOpWord = op.word;
    const bool save = op.code == kDrawSaveImage || op.code == kDrawSaveBitmap || op.code == kDrawGrabScreen;
    if (!save || g_errorCode <= 0 || g_errorCode == errorBefore) ExecuteDrawOp(op);
    g_queuedOpWord = -1;
    DrawOp& after = g_drawOpPool[r];
    uint32_t next = after.next;
    if (after.lifetime < 1) FreeDrawOp(r);
    r = next;
  }
}

void RunQueuedSaves() {
  if (!g_drawOpPool.Created()) return;
  for (uint32_t r = g_drawOpPool.UsedHead(); r != kNoRecord; r = g_drawOpPool[r].next) {
    if (g_drawOpPool[r].code == kDrawSaveImage || g_drawOpPool[r].code == kDrawSaveBitmap) {
      RunDrawQueue();
      return;
    }
  }
}

void FlushDrawQueue() {
  if (!g_drawOpPool.Created()) return;
  for (uint32_t r = g_drawOpPool.UsedHead(); r != kNoRecord;) {
    DrawOp& op = g_drawOpPool[r];
    op.lifetime = int8_t(op.lifetime - 1);
    uint32_t next = op.next;
    if (op.lifetime < 1) FreeDrawOp(r);
    r = next;
  }
}

int32_t DrawQueueSize() { return g_drawOpPool.Created() ? g_drawOpPool.Count() : 0; }
