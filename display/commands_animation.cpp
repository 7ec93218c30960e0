// Animation commands: load, play, loop, place, pause, resume and stop video animations 1..32,
// and their status queries.
#include "core/handler.h"
#include "display/animations.h"
#include "display/bitmaps.h"
#include "display/commands.h"

namespace {

// Checks an animation number: error 2001 outside 1..32, 2004 when it was not loaded.
bool CheckAnimation(int32_t n) {
  if (n < 1 || n > 32) {
    RunError(kErrAnimationNumberOutOfRange);
    return false;
  }
  if (!g_animations.status[n].exists) {
    RunError(kErrAnimationMissing);
    return false;
  }
  return true;
}

void MarkPlaying(int32_t n, uint8_t looping) {
  AnimationStatus& s = g_animations.status[n];
  s.playing = 1;
  s.looping = looping;
  s.paused = 0;
}

// Plays animation n into bitmap b from x1, y1 (to x2, y2 when stretched); looping plays on from
// where a paused animation stands. A play that fails is reported and changes no status.
void StartAnimation(int32_t n, int32_t usePlacement, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t b,
                    bool looping) {
  if (!PlayAnimation(n, usePlacement, x1, y1, x2, y2, b, looping ? 0 : 1)) return RunError(kErrAnimationNotPlayed);
  if (looping) SetAnimationFlag(n);
  else ClearAnimationFlag(n);
  MarkPlaying(n, looping ? 1 : 0);
}

void CmdLoadAnimation() {
  std::string file = OpString(0);
  int32_t n = OpInt(1);
  SkipOperands(2);
  if (n < 1 || n > 32) return RunError(kErrAnimationNumberOutOfRange);
  const FileLoadScope load(kErrAnimationNotLoaded, file);
  AnimationStatus& s = g_animations.status[n];
  if (s.exists) {
    DeleteAnimation(n);
    s.exists = 0;
  }
  if (!LoadAnimation(n, file)) return RunError(kErrAnimationNotLoaded);
  s = AnimationStatus{1, 0, 0, 0};
}

void CmdDeleteAnimation() {
  int32_t n = OpInt(0);
  SkipOperands(1);
  if (!CheckAnimation(n)) return;
  DeleteAnimation(n);
  g_animations.status[n].exists = 0;
}

void CmdPlayAnimation() {
  int32_t n = OpInt(0);
  SkipOperands(1);
  if (CheckAnimation(n)) StartAnimation(n, 0, 0, 0, 0, 0, 0, false);
}

void CmdStopAnimation() {
  int32_t n = OpInt(0);
  SkipOperands(1);
  if (!CheckAnimation(n)) return;
  if (!DeleteAnimationCommand(n)) return RunError(kErrAnimationNotPlaying);
  g_animations.status[n].playing = 0;
  g_animations.status[n].looping = 0;
}

void CmdPauseAnimation() {
  int32_t n = OpInt(0);
  SkipOperands(1);
  if (!CheckAnimation(n)) return;
  if (!g_animations.slots[n].videoOn) return RunError(kErrAnimationNotPlaying);
  if (g_animations.status[n].paused) return RunError(kErrAnimationAlreadyPaused);
  StopAnimationCommand(n);
  g_animations.status[n].paused = 1;
}

void CmdResumeAnimation() {
  int32_t n = OpInt(0);
  SkipOperands(1);
  if (!CheckAnimation(n)) return;
  if (!ResumeAnimationCommand(n)) return RunError(kErrAnimationNotResumed);
  g_animations.status[n].paused = 0;
}

void CmdLoopAnimation() {
  int32_t n = OpInt(0);
  SkipOperands(1);
  if (CheckAnimation(n)) StartAnimation(n, 0, 0, 0, 0, 0, 0, true);
}

void CmdPlayAnimationAt() {
  int32_t n = OpInt(0), x = OpInt(1), y = OpInt(2);
  SkipOperands(3);
  if (CheckAnimation(n)) StartAnimation(n, 1, x, y, 0, 0, 0, false);
}

void CmdPlayAnimationStretched() {
  int32_t n = OpInt(0), x1 = OpInt(1), y1 = OpInt(2), x2 = OpInt(3), y2 = OpInt(4);
  SkipOperands(5);
  if (CheckAnimation(n)) StartAnimation(n, 1, x1, y1, x2, y2, 0, false);
}

void CmdPlaceAnimation() {
  int32_t n = OpInt(0), x1 = OpInt(1), y1 = OpInt(2), x2 = OpInt(3), y2 = OpInt(4);
  SkipOperands(5);
  if (CheckAnimation(n)) PlaceAnimation(n, x1, y1, x2, y2);
}

void AnimationToBitmap(bool looping) {
  int32_t n = OpInt(0), b = OpInt(1), x1 = OpInt(2), y1 = OpInt(3), x2 = OpInt(4), y2 = OpInt(5);
  SkipOperands(6);
  if (!CheckAnimation(n)) return;
  if (b < 0 || b > 31) return RunError(kErrBitmapNumberOutOfRange);
  if (b != 0 && !BitmapSurface(b)) return RunError(kErrBitmapMissing);
  StartAnimation(n, 1, x1, y1, x2, y2, b, looping);
}
void CmdPlayAnimationToBitmap() { AnimationToBitmap(false); }
void CmdLoopAnimationToBitmap() { AnimationToBitmap(true); }

void CmdAnimationExist() {
  VarCell* out = OpCell(0);
  int32_t n = OpInt(1);
  SkipOperands(2);
  if (n < 1 || n > 32) return RunError(kErrAnimationNumberOutOfRange);
  out->i = g_animations.status[n].exists ? 1 : 0;
}

// Result k of animation n: playing, paused, looping, then x, y, width and height.
void AnimationField(int k) {
  VarCell* out = OpCell(0);
  int32_t n = OpInt(1);
  SkipOperands(2);
  if (!CheckAnimation(n)) return;
  const AnimationStatus& s = g_animations.status[n];
  int32_t r[4];
  GetAnimationRect(n, &r[0], &r[1], &r[2], &r[3]);
  // A paused animation is not playing.
  const int32_t v[7] = {s.playing && !s.paused ? 1 : 0, s.paused, s.looping, r[0], r[1], r[2], r[3]};
  out->i = v[k];
}
void CmdAnimationPlaying() { AnimationField(0); }
void CmdAnimationPaused() { AnimationField(1); }
void CmdAnimationLooping() { AnimationField(2); }
void CmdAnimationPositionX() { AnimationField(3); }
void CmdAnimationPositionY() { AnimationField(4); }
void CmdAnimationWidth() { AnimationField(5); }
void CmdAnimationHeight() { AnimationField(6); }

const CommandDef kAnimationCommands[] = {
    {2001, CmdLoadAnimation, "sl"},
    {2002, CmdDeleteAnimation, "l"},
    {2003, CmdPlayAnimation, "l"},
    {2004, CmdStopAnimation, "l"},
    {2005, CmdPauseAnimation, "l"},
    {2006, CmdResumeAnimation, "l"},
    {2007, CmdLoopAnimation, "l"},
    {2012, CmdPlayAnimationAt, "lll"},
    {2013, CmdPlayAnimationStretched, "lllll"},
    {2014, CmdPlaceAnimation, "lllll"},
    {2015, CmdPlayAnimationToBitmap, "llllll"},
    {2016, CmdLoopAnimationToBitmap, "llllll"},
    {2051, CmdAnimationExist, "ll"},
    {2052, CmdAnimationPlaying, "ll"},
    {2053, CmdAnimationPaused, "ll"},
    {2054, CmdAnimationLooping, "ll"},
    {2057, CmdAnimationPositionX, "ll"},
    {2058, CmdAnimationPositionY, "ll"},
    {2059, CmdAnimationWidth, "ll"},
    {2060, CmdAnimationHeight, "ll"},
};

}  // namespace

std::span<const CommandDef> AnimationCommands() { return kAnimationCommands; }
