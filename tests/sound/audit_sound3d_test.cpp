// 3D placement from positions a program may give: far beyond any sensible range, or not numbers.
// The sound keeps its frequency and a defined gain and pan instead of what an overflowing
// conversion would leave.
#include <cmath>
#include <limits>

#include "sound/engine/engine_state.h"
#include "tests/sound/sound_fixture.h"

TEST_F(SoundTest, HugeAndUndefinedPositionsGiveDefinedMixValues) {
  StartNoSound(2);
  SoundSample* s = SoundSampleAlloc(-1, 100, kSound16Bits | kSoundLoopNormal, 44100, 255, 128, 255);
  SoundChannel* c = GetChannelRecord(SoundPlay(0, s));
  const float huge = 1e30f, nan = std::numeric_limits<float>::quiet_NaN();
  const float still[3] = {0, 0, 0};
  struct Case {
    float listener[3], sound[3];
  } cases[] = {{{huge, 0, 0}, {0, 0, 0}}, {{0, 0, 0}, {-1e38f, 1e38f, 1e38f}}, {{0, 0, 0}, {nan, 0, 0}}};
  for (const Case& k : cases) {
    Sound3DSetListener(k.listener, still, 0, 0, 1, 0, 1, 0);
    SoundSetChannel3DAttributes(0, k.sound, still);
    Sound3DUpdate();
    EXPECT_EQ(c->step, 1u) << k.sound[0];  // 44100 Hz on a 44100 Hz mix: no Doppler shift
    EXPECT_GE(c->mixVolume, 0);
    EXPECT_LE(c->mixVolume, 255);
    EXPECT_GE(c->mixPan, 0);
    EXPECT_LE(c->mixPan, 255);
  }
}
