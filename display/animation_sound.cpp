// The sound track of a video animation. The sound engine has no streams yet: videos play
// silently until it has.
#include "display/animations.h"

int32_t AnimationSoundRate() { return 0; }
void RunAnimationSound(AnimationSlot&) {}
void HoldAnimationSound(AnimationSlot&) {}
void ReleaseAnimationSound(AnimationSlot&) {}
