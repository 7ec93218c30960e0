#pragma once
#include <cstdint>

#include "core/cells.h"
#include "display/records.h"

// The deferred drawing queue: command handlers append records, RunDrawQueue executes them
// once per refresh at the start of the frame.

// Shared drawing state of the producers and the executor.
struct DrawState {
  uint32_t programBitmap = 0;    // the program's current bitmap (0..31)
  uint8_t programHasTarget = 1;  // it had a surface when it was made current
  uint32_t execBitmap = 0;       // the executor's current bitmap
  uint32_t foregroundPixel = 0, backgroundPixel = 0;
  uint8_t foreground[3] = {0, 0, 0}, background[3] = {0, 0, 0};  // red, green, blue after quantising
};
extern DrawState g_draw;
// 2 when the display is page-flipped, 1 otherwise.
extern uint8_t ScreenPersistence;

void SetScreenPersistence(uint8_t value);
void SetDrawTargetsToBackBuffer();
void ResetDrawQueueState();
// Sets the background from 0x00RRGGBB and the foreground unless it is -1, in the pixel format
// ComputePixelShifts last read.
void SetDrawColours(uint32_t background, int64_t foreground);

// Takes a record stamped with the program's current bitmap (nullptr when none is left).
DrawOp* TakeDrawOp(uint32_t code, int8_t lifetime);
int8_t ScreenLifetime();                 // L: 1 off screen, else ScreenPersistence
int8_t ScreenLifetimeOf(int32_t bitmap); // L(n)
void FlushDrawQueue();

// Producers.
void QueueSetCurrentBitmap(int32_t n);
void QueueLoadBitmap(int32_t n, const char* file);
void QueueSaveBitmap(int32_t n, const char* file);
// The screen saved to the file after the refresh that runs this record is shown.
void QueueScreenGrab(const char* file);
void QueueCreateBitmap(int32_t n, int32_t w, int32_t h);
void QueueDeleteBitmap(int32_t n);
void QueueCopyBitmap(int32_t from, int32_t to);
void QueueCopyBitmapRect(int32_t from, int32_t fx1, int32_t fy1, int32_t fx2, int32_t fy2, int32_t to, int32_t tx1,
                         int32_t ty1, int32_t tx2, int32_t ty2);
void QueueBitmapEffect(uint32_t code, int32_t n, int32_t amount);
void QueueCls();
void QueueClsDevice(uint32_t colour);
void QueueDot(int32_t x, int32_t y);
void QueueBox(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
void QueueLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
void QueueEllipse(int32_t x, int32_t y, float rx, float ry);
void QueueInk(uint32_t foreground, uint32_t background);
void QueueClsColor(uint32_t colour);
void QueueReadPoint(int32_t x, int32_t y, VarCell* result);
void QueueTextAt(const char* text, const int32_t* x, const int32_t* y);
void QueueTextState(uint32_t code, int32_t value, const char* text);
void QueueTextAtPoint(uint32_t code, int32_t x, int32_t y, const char* text);
// Copies at most 255 bytes and a terminator into a record's text field.
void CopyRecordText(DrawOp& op, const char* text);

// Executes one record (the walk of RunDrawQueue calls it; tests call it directly).
void ExecuteDrawOp(DrawOp& op);
