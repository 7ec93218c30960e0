// Video animations: the 33 slots, opening, playing, placing, clipping, stopping and the frame
// step that draws each animation's picture due at the current time into its target.
#include "display/animations.h"

#include <algorithm>

#include "core/pack.h"
#include "display/bitmaps.h"
#include "display/display.h"
#include "platform/clock.h"

AnimationState g_animations;

namespace {

AnimationSlot& Slot(int32_t n) { return g_animations.slots[n]; }

Surface* TargetSurface(int32_t target) { return target == kNoTarget ? nullptr : BitmapSurface(target); }

int32_t Saturate(int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

bool Empty(const SurfRect& r) { return r.right <= r.left || r.bottom <= r.top; }

bool Inside(const SurfRect& r, const Surface* s) {
  return r.left >= 0 && r.top >= 0 && r.right <= s->Width() && r.bottom <= s->Height();
}

// Draws the slot's picture into its drawing target under the surface retry rule. Rectangles
// that are empty or no longer inside their surfaces (a target made smaller since) draw nothing.
void DrawPicture(AnimationSlot& a) {
  Surface* dst = TargetSurface(a.drawTarget);
  Surface* src = a.picture.get();
  if (!dst || !src || Empty(a.dest) || Empty(a.source) || !Inside(a.dest, dst) || !Inside(a.source, src)) return;
  if (dst == g_display.backBuffer.get()) {
    PrepareBackBuffer2D();
    g_display.backBufferChanged = 1;
  }
  const SurfRect d = a.dest, s = a.source;
  RetrySurfaceCall(dst, [&] {
    return a.stretch ? SurfaceBlt(dst, &d, src, &s, 0) : SurfaceBltFast(dst, d.left, d.top, src, &s, 0);
  });
}

PixelFormat DisplayFormat() {
  return g_display.backBuffer ? g_display.backBuffer->Format() : FormatForDepth(g_display.depth);
}

}  // namespace

int32_t OpenAnimationStream(int32_t n, const std::string& file) {
  AnimationSlot& a = Slot(n);
  std::string name = file;
  MapThroughPack(name, "avi");
  ReleaseAnimationSound(a);
  a.stream.reset();
  a.picture.reset();
  VideoOptions options;
  options.format = DisplayFormat();
  options.audioRate = AnimationSoundRate();
  std::string why;
  a.stream = VideoStream::Open(name, options, &why);
  if (!a.stream) {
    LogEngineError(file + ": " + why);
    return 0;
  }
  return 1;
}

int32_t LoadAnimation(int32_t n, const std::string& file) {
  if (!OpenAnimationStream(n, file)) return 0;
  AnimationSlot& a = Slot(n);
  a.file = file;
  a.placeX1 = a.placeY1 = a.placeX2 = a.placeY2 = 0;
  // The format sizes the rectangles at 0, 0 with the video's own size on the screen; the
  // file is opened again on the first play.
  a.target = 0;
  ReadAnimationFormat(n);
  a.dest = a.fullSource;
  CreateAnimationSample(n, a.target);
  DeleteAnimation(n);
  return 1;
}

void ReadAnimationFormat(int32_t n) {
  AnimationSlot& a = Slot(n);
  a.videoOn = 1;
  a.fullSource = SurfRect{0, 0, a.stream->Width(), a.stream->Height()};
  a.source = a.fullSource;
}

void ClipAnimationRect(int32_t n) {
  AnimationSlot& a = Slot(n);
  SurfRect& d = a.dest;
  SurfRect& s = a.source;
  s = a.fullSource;
  const int64_t dw = int64_t(d.right) - d.left, dh = int64_t(d.bottom) - d.top;
  if (dw <= 0 || dh <= 0) return;  // an empty destination draws nothing: nothing to cut
  const Surface* target = TargetSurface(a.target);
  const int64_t width = target ? target->Width() : g_display.width;
  const int64_t height = target ? target->Height() : g_display.height;
  const double kx = double(s.Width()) / double(dw), ky = double(s.Height()) / double(dh);
  // The cuts are taken in 64 bits and kept inside the picture.
  auto cut = [](int64_t by, double k) { return int64_t(double(by) * k); };
  if (d.left < 0) {
    s.left = int32_t(std::min<int64_t>(s.left + cut(-int64_t(d.left), kx), s.right));
    d.left = 0;
  }
  if (d.top < 0) {
    s.top = int32_t(std::min<int64_t>(s.top + cut(-int64_t(d.top), ky), s.bottom));
    d.top = 0;
  }
  if (d.right > width) {
    s.right = int32_t(std::max<int64_t>(s.right - cut(d.right - width, kx), s.left));
    d.right = int32_t(width);
  }
  if (d.bottom > height) {
    s.bottom = int32_t(std::max<int64_t>(s.bottom - cut(d.bottom - height, ky), s.top));
    d.bottom = int32_t(height);
  }
}

int32_t CreateAnimationSample(int32_t n, int32_t target) {
  AnimationSlot& a = Slot(n);
  if (!TargetSurface(target) || !a.stream) return 0;
  // The last picture of this stream stays until the next one replaces it.
  ClipAnimationRect(n);
  a.surfaceMade = 1;
  a.stretch = 1;
  a.drawTarget = target;
  return 1;
}

int32_t PlayAnimation(int32_t n, int32_t usePlacement, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                      int32_t target, uint8_t restart) {
  AnimationSlot& a = Slot(n);
  if (target != kNoTarget) a.target = target;
  if (a.videoOn) {
    if (!RewindAnimation(n)) return 0;
  } else if (a.stream && restart == 1) {
    DeleteAnimation(n);  // opened again below, from the start
  }
  if (usePlacement == 1) {
    a.placeX1 = x1, a.placeY1 = y1, a.placeX2 = x2, a.placeY2 = y2;
  } else {
    x1 = a.placeX1, y1 = a.placeY1, x2 = a.placeX2, y2 = a.placeY2;
  }
  if (!a.stream && !OpenAnimationStream(n, a.file)) return 0;
  ReadAnimationFormat(n);
  if (x2 == 0 && y2 == 0) {
    a.dest = SurfRect{x1, y1, Saturate(int64_t(x1) + a.fullSource.right), Saturate(int64_t(y1) + a.fullSource.bottom)};
  } else {
    a.dest = SurfRect{x1, y1, x2, y2};
  }
  if (!CreateAnimationSample(n, a.target)) {
    DeleteAnimation(n);
    return 0;
  }
  a.stream->Run(TimeMs());
  RunAnimationSound(a);
  return 1;
}

int32_t RewindAnimation(int32_t n) {
  AnimationSlot& a = Slot(n);
  if (!a.stream) return 0;
  a.stream->Rewind(TimeMs());
  return 1;
}

int32_t PlaceAnimation(int32_t n, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  AnimationSlot& a = Slot(n);
  a.placeX1 = x1, a.placeY1 = y1, a.placeX2 = x2, a.placeY2 = y2;
  a.dest = SurfRect{x1, y1, x2, y2};
  ClipAnimationRect(n);
  return 1;
}

int32_t GetAnimationRect(int32_t n, int32_t* x, int32_t* y, int32_t* width, int32_t* height) {
  const SurfRect& d = Slot(n).dest;
  *x = d.left;
  *y = d.top;
  *width = int32_t(uint32_t(d.right) - uint32_t(d.left));
  *height = int32_t(uint32_t(d.bottom) - uint32_t(d.top));
  return 1;
}

void StopAnimationStream(int32_t n) {
  AnimationSlot& a = Slot(n);
  if (a.stream) a.stream->Stop(TimeMs());
  HoldAnimationSound(a);
  a.videoOn = 0;
}

int32_t DeleteAnimation(int32_t n) {
  AnimationSlot& a = Slot(n);
  StopAnimationStream(n);
  ReleaseAnimationSound(a);
  a.picture.reset();
  a.stream.reset();
  return 1;
}

void ReleaseAllAnimations() {
  for (int32_t n = 0; n < kAnimationSlots; ++n) {
    DeleteAnimation(n);
    g_animations.slots[n] = AnimationSlot{};
    g_animations.status[n] = AnimationStatus{};
  }
}

void UpdateAnimations() {
  for (int32_t n = 0; n < kAnimationSlots; ++n) {
    if (!g_animations.status[n].exists) continue;
    if (g_animations.slots[n].videoOn) UpdateAnimationFrame(n);
    else RedrawAnimationFrame(n);
  }
}

int32_t UpdateAnimationFrame(int32_t n) {
  AnimationSlot& a = Slot(n);
  if (!a.surfaceMade || !a.stream) return 1;
  // The picture due now is drawn (late ones are dropped); on the virtual clock the decoder is
  // waited for, so runs are repeatable.
  VideoStream::Due due = a.stream->TakeDueFrame(TimeMs(), ClockIsVirtual(), &a.picture);
  if (due == VideoStream::Due::kEnded) {
    if (a.loop) {
      RewindAnimation(n);
    } else {
      StopAnimationStream(n);
      g_animations.status[n].playing = 0;
    }
  }
  DrawPicture(a);
  return 1;
}

int32_t RedrawAnimationFrame(int32_t n) {
  AnimationSlot& a = Slot(n);
  if (a.surfaceMade && a.picture) DrawPicture(a);
  return 1;
}

int32_t DeleteAnimationCommand(int32_t n) {
  if (!Slot(n).stream) return 0;
  DeleteAnimation(n);
  return 1;
}

int32_t StopAnimationCommand(int32_t n) {
  if (!Slot(n).videoOn) return 0;
  StopAnimationStream(n);
  return 1;
}

int32_t ResumeAnimationCommand(int32_t n) {
  const AnimationSlot& a = Slot(n);
  if (!a.stream || a.videoOn) return 0;
  return PlayAnimation(n, 0, 0, 0, 0, 0, kNoTarget, 0);
}

void HoldAnimationsWhileInactive() {
  for (AnimationSlot& a : g_animations.slots) {
    if (!a.videoOn || !a.stream || !a.stream->Running()) continue;
    a.stream->Stop(TimeMs());
    HoldAnimationSound(a);
    a.heldByFocus = 1;
  }
}

void RunAnimationsAgain() {
  for (AnimationSlot& a : g_animations.slots) {
    if (!a.heldByFocus) continue;
    a.heldByFocus = 0;
    if (!a.videoOn || !a.stream) continue;
    a.stream->Run(TimeMs());
    RunAnimationSound(a);
  }
}

void SetAnimationFlag(int32_t n) { Slot(n).loop = 1; }
void ClearAnimationFlag(int32_t n) { Slot(n).loop = 0; }
