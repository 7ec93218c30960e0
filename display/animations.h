#pragma once
// Video animations 1..32: video files played onto the screen or into a drawing bitmap, at their
// own size or stretched, once or looping, with pause and resume and their sound. Each frame,
// UpdateAnimations draws every existing animation's picture due at the current time.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/surfaces.h"
#include "platform/video.h"

inline constexpr int32_t kAnimationSlots = 33;  // 1..32; slot 0 is never used by the commands
inline constexpr int32_t kNoTarget = -1;        // no drawing target (a bitmap number otherwise)

struct SoundStream;

struct AnimationSlot {
  std::string file;
  int32_t target = kNoTarget;           // bitmap the picture goes to (0: the back buffer)
  std::unique_ptr<VideoStream> stream;  // the opened file
  uint8_t videoOn = 0;                  // its pictures are being taken (playing)
  SurfacePtr picture;                   // the last picture taken, drawn every frame
  SurfRect dest, source, fullSource;
  int32_t surfaceMade = 0, stretch = 0;
  int32_t drawTarget = kNoTarget;       // target given when the pictures started
  int32_t loop = 0;
  int32_t placeX1 = 0, placeY1 = 0, placeX2 = 0, placeY2 = 0;
  SoundStream* sound = nullptr;         // the sound track's engine stream, once played
  uint8_t heldByFocus = 0;              // held while the window is inactive
};

struct AnimationStatus {
  uint8_t exists = 0, playing = 0, paused = 0, looping = 0;
};

struct AnimationState {
  AnimationSlot slots[kAnimationSlots];
  AnimationStatus status[kAnimationSlots];
};
extern AnimationState g_animations;

int32_t OpenAnimationStream(int32_t slot, const std::string& file);
int32_t LoadAnimation(int32_t slot, const std::string& file);
void ReadAnimationFormat(int32_t slot);
void ClipAnimationRect(int32_t slot);
int32_t CreateAnimationSample(int32_t slot, int32_t target);
// target: a bitmap number, or kNoTarget to keep the slot's; restart 1 opens the file again.
int32_t PlayAnimation(int32_t slot, int32_t usePlacement, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                      int32_t target, uint8_t restart);
int32_t RewindAnimation(int32_t slot);
int32_t PlaceAnimation(int32_t slot, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
int32_t GetAnimationRect(int32_t slot, int32_t* x, int32_t* y, int32_t* width, int32_t* height);
void StopAnimationStream(int32_t slot);
int32_t DeleteAnimation(int32_t slot);
int32_t UpdateAnimationFrame(int32_t slot);
int32_t RedrawAnimationFrame(int32_t slot);
int32_t DeleteAnimationCommand(int32_t slot);
int32_t StopAnimationCommand(int32_t slot);
int32_t ResumeAnimationCommand(int32_t slot);
void SetAnimationFlag(int32_t slot);
void ClearAnimationFlag(int32_t slot);
// UpdateAnimations and ReleaseAllAnimations are the display's frame steps (display/display.h).

// While the full-screen window is inactive, every playing animation holds, pictures and sound
// together, as all other audio does; it runs on from there when the window is active again.
void HoldAnimationsWhileInactive();
void RunAnimationsAgain();

// The sound track through the sound engine (display/animation_sound.cpp): the rate sound is
// decoded at (0: no engine, no sound), and its engine stream made and played, held, or closed
// with the pictures.
int32_t AnimationSoundRate();
void RunAnimationSound(AnimationSlot& a);
void HoldAnimationSound(AnimationSlot& a);
void ReleaseAnimationSound(AnimationSlot& a);
