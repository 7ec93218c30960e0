// The sound track of a video animation: the video's decoder thread resamples it to the
// engine's mix rate into its ring, and an engine stream plays it from there, so it is mixed,
// paused and recorded like every other sound.
#include "display/animations.h"
#include "sound/engine/sound_engine.h"
#include "sound/engine/streams/streams.h"

namespace {

constexpr int32_t kHalfBufferMs = 100;  // each of the stream's two halves

bool FillFromVideo(SoundStream*, void* dest, int32_t bytes, void* video) {
  static_cast<VideoStream*>(video)->ReadAudio(static_cast<int16_t*>(dest), size_t(bytes) / 4);
  return true;  // the pictures decide when the animation ends
}

}  // namespace

// The engine has channels only while it runs.
int32_t AnimationSoundRate() { return SoundGetMaxChannels() > 0 ? SoundGetMixRate() : 0; }

void RunAnimationSound(AnimationSlot& a) {
  if (a.sound) {
    StreamSetPaused(a.sound, false);
    return;
  }
  const int32_t rate = a.stream ? a.stream->AudioRate() : 0;
  if (rate <= 0) return;
  SoundStream* s = StreamCreate(FillFromVideo, rate * kHalfBufferMs / 1000 * 4, kSound16Bits | kSoundStereo | kSound2D,
                                rate, a.stream.get());
  if (!s) return;
  if (StreamPlay(kSoundFreeChannel, s) < 0) {
    StreamClose(s);  // no channel or no engine: the video plays silently
    return;
  }
  a.sound = s;
}

void HoldAnimationSound(AnimationSlot& a) {
  if (a.sound) StreamSetPaused(a.sound, true);
}

void ReleaseAnimationSound(AnimationSlot& a) {
  if (!a.sound) return;
  StreamClose(a.sound);  // no fill runs after this: the video can go
  a.sound = nullptr;
}
