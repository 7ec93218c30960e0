#pragma once
#include <cstdint>
#include <vector>

#include "display/records.h"
#include "platform/surfaces.h"
#include "platform/zeroed_pages.h"

// Sprites: numbered 2D items (1..65535) showing an image of the bank at a position, with a
// hot spot, scale, mirror and flip, keyed or opaque, drawn every frame in three priority
// passes; those that save their background leave no trail. Sprites share the frame pool with
// the records of 3D objects, which the sprite routines skip.

inline constexpr int32_t kMaxSpriteNumber = 65535;

struct SpriteState {
  NumberTable numbers;        // sprite number -> frame record, 0 none
  // The pointer sprites: the arrow that follows the mouse and the environment's text caret,
  // frame records (-1 none) showing images cut from the default bitmap (-1 none).
  int32_t pointerFrame = -1, caretFrame = -1;
  int32_t pointerImage = -1, caretImage = -1, dotImage = -1, handImage = -1;
  int32_t active = 0;                   // shown and following the mouse (hidden: 0)
  int16_t blinkCounter = 0, blinkPhase = 0;  // caret blink: phase 0 shown, 1 hidden
  int32_t caretX = 0, caretY = 0;       // the text caret of the environment's editor
  int32_t pointerX = 0, pointerY = 0;   // the mouse position the pointer sprite follows
};
extern SpriteState g_sprites;
void ResetSprites();

inline bool SpriteNumberValid(int32_t n) { return n >= 1 && n <= kMaxSpriteNumber; }
// The frame record of a sprite number (0 none).
uint32_t SpriteRecordOf(int32_t number);
FrameRecord* FrameAt(uint32_t frame);
// The sprite's record, made with the defaults on first use (0 when the pool is full). A
// number whose deletion is pending is taken back: its countdown is cancelled.
uint32_t MakeSprite(int32_t number);
// Deletes the sprite: at once, or after the countdown when it saves its background.
void DeleteSprite(int32_t number);
// The scaled size of the sprite's picture (0 without an image).
int32_t SpriteWidth(const FrameRecord& f);
int32_t SpriteHeight(const FrameRecord& f);

// Draws one sprite with its top-left at x - offset x, y - offset y of the target; bitmap
// gives the clipping bounds (0: the screen).
void DrawSprite(Surface* target, int32_t bitmap, uint32_t frame, int32_t x, int32_t y);
// 1 when the sprites' boxes meet and two of their pixels share a set bit.
int32_t SpritesOverlap(uint32_t a, uint32_t b);
int32_t SpritePixelsOverlap(uint32_t imageA, const SurfRect& boxA, uint32_t imageB, const SurfRect& boxB, bool flippedA,
                            bool mirroredA, bool flippedB, bool mirroredB);

// Frame steps (the declarations the run loop uses are in display.h): end-of-frame ageing of
// deleted records, and the display change that drops saved backgrounds.
void AgeFrameRecords();
void ReleaseSpriteBackgrounds();
// The image record is going: sprites showing it show nothing.
void ForgetImageInSprites(uint32_t image);
// A sprite (not a 3D object's frame) shows the image record.
bool ImageShownBySprite(uint32_t image);
