#pragma once
#include <cstdint>
#include <vector>

#include "display/records.h"
#include "platform/surfaces.h"
#include "platform/zeroed_pages.h"

// The image bank: image numbers 1..65535 mapped to records of the image pool, each record
// with a surface of its own in the bank's surface table. Deleted records, and replaced ones
// that queued operations or sprites still use, count down two frames before they are freed,
// so queued pastes and sprites never reach a record that was given to another picture.

inline constexpr int32_t kMaxImageNumber = 65535;
inline constexpr int16_t kImageDeletionFrames = 2;

struct ImageBank {
  NumberTable numbers;     // image number -> record index, 0 none
  NumberTable pending;     // image number -> its record counting down after deletion
  std::vector<SurfacePtr> surfaces;  // record index -> the record's surface
  uint32_t imagesChanged = 0;        // a grab or a display change happened since the last ageing
  uint32_t displayChanged = 0;       // sprite backgrounds were dropped on a display change
};
extern ImageBank g_images;
void ResetImageBank();

inline bool ImageNumberValid(int32_t n) { return n >= 1 && n <= kMaxImageNumber; }
// The record of a bound number (0: unbound or out of range).
uint32_t ImageRecordOf(int32_t number);
// The record bound to number, made on first use (a record counting down after the number
// was deleted is taken back); 0 when the pool is full.
uint32_t BindImageNumber(int32_t number);
// Binds number to record. A record bound before (or counting down since the number was
// deleted) is freed at once when nothing uses it, else after the countdown.
void RebindImageNumber(int32_t number, uint32_t record);
// Unbinds the number; its record is freed after the countdown.
void DeleteImageNumber(int32_t number);
// Starts a record's countdown (the record stays valid until it ends).
void StartImageCountdown(uint32_t record, int32_t number);
ImageRecord* ImageAt(uint32_t record);
// The record's surface when it holds a picture.
Surface* ImageSurfaceOf(uint32_t record);

uint32_t GetImageColourKey();
// Gives the record a keyed surface of exactly w x h (an existing one of that size is kept)
// and resets its rectangles; false (and no surface) for a size below 1 or no memory.
bool EnsureImageSurface(uint32_t record, int32_t w, int32_t h);
// Copies x1,y1..x2,y2 of a bitmap into the image.
void GrabImageFromBitmap(uint32_t record, int32_t bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                         int32_t textureMode);
void NoteImageChanged(uint32_t record, int32_t textureMode);
// A new image record holding the whole of bitmap slot n (0 when it cannot be made).
uint32_t BitmapToImage(int32_t n);
// The pool's release step of a record: its surface goes.
void DropImageSurface(uint32_t record);
// Frees a record now: its surface, its number if still bound, and every sprite showing it.
void FreeImageNow(uint32_t record);

// Display changes: every image loses its texture (and with ForgetAllImages its surface).
void ReleaseAllImageTextures();
void ForgetAllImages();

// Clips a source rectangle drawn at x, y with a scale against 0,0..boundW,boundH, moving the
// matching source edge (the opposite one when mirrored or flipped); false when nothing is left.
bool ClipScaledRects(int32_t boundW, int32_t boundH, SurfRect* source, SurfRect* dest, int32_t x, int32_t y,
                     float scaleX, float scaleY, bool flipped, bool mirrored);
// Pastes the image at x, y of the target (bitmap number for the bounds), keyed or not.
int32_t BlitImageRecord(Surface* target, int32_t bitmap, uint32_t record, int32_t x, int32_t y, bool colourKey);

// The image operations of the draw queue (records named by index).
void QueueGetImage(uint32_t record, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t textureFlag);
void QueuePasteImage(uint32_t record, int32_t x, int32_t y, bool transparent);
void QueuePasteSprite(int32_t sprite, int32_t x, int32_t y);
void QueueSaveImage(uint32_t record, const char* file);
void QueueRotateImage(uint32_t record, int32_t angle);
// Runs codes 51 to 56 on the record's target (nullptr: the bitmap had no surface).
void ExecuteImageOp(DrawOp& op, Surface* target);
