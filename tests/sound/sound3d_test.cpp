// 3D sound: distance gain, rolloff, pan, Doppler and the listener's rotation.
#include <cmath>
#include <limits>

#include "sound/engine/engine_state.h"
#include "tests/sound/sound_fixture.h"

namespace {

class Sound3DTest : public SoundTest {
 protected:
  SoundChannel* c = nullptr;
  SoundSample* s = nullptr;
  void SetUp() override {
    SoundTest::SetUp();
    StartNoSound(2);
    s = SoundSampleAlloc(-1, 100, kSound16Bits | kSoundLoopNormal, 44100, 255, 128, 255);
    c = GetChannelRecord(SoundPlay(0, s));
  }
  void Place(float x, float y, float z, float vx = 0, float vy = 0, float vz = 0) {
    const float p[3] = {x, y, z}, v[3] = {vx, vy, vz};
    SoundSetChannel3DAttributes(0, p, v);
    Sound3DUpdate();
  }
};

}  // namespace

TEST_F(Sound3DTest, AtTheListenerTheSoundIsCentredAtFullGain) {
  Place(0, 0, 0);
  EXPECT_EQ(c->mixVolume, 255);
  EXPECT_EQ(c->mixPan, 128);
  EXPECT_EQ(SoundGetChannelVolume(0), 255);  // the program's value stays
}

TEST_F(Sound3DTest, DistanceRolloffAndPan) {
  Place(10, 0, 0);
  EXPECT_EQ(c->mixVolume, int32_t(255 * 0.1f));
  EXPECT_EQ(c->mixPan, 255);
  Place(-10, 0, 0);
  EXPECT_EQ(c->mixPan, 0);
  Sound3DSetRolloffFactor(0.002f);
  Place(0, 0, 501);
  EXPECT_EQ(c->mixVolume, 127);  // r = 1 + 500 x 0.002 = 2: gain 0.5
  EXPECT_EQ(c->mixPan, 128);
  // Beyond the maximum distance the sound is as loud as at the maximum.
  SoundSampleSetMinMaxDistance(s, 1, 100);
  Sound3DSetRolloffFactor(1);
  Place(0, 0, 5000);
  EXPECT_EQ(c->mixVolume, int32_t(255 * (1.0f / 100)));
  // A 2D sample is not placed.
  s->softwareOnly = true;
  Place(0, 0, 1);
  EXPECT_EQ(c->mixVolume, 2);
}

TEST_F(Sound3DTest, DopplerShiftAndFloor) {
  Place(0, 0, 100 - 34, 0, 0, -34);  // approaching at 34 units a second
  EXPECT_EQ(c->frequency, 44100);
  EXPECT_NEAR(double(c->step) + double(c->stepFrac) / 4294967296.0, 1.1, 0.0001);
  SoundSetChannelFrequency(0, 120);
  Place(0, 0, 400, 0, 0, 340);  // receding fast: the frequency stays at 100 Hz at least
  EXPECT_EQ(c->stepFrac, uint32_t((uint64_t(100) << 32) / 44100) & 0xFFFF0000u);
}

TEST_F(Sound3DTest, FactorsAreClamped) {
  Sound3DSetDistanceFactor(0);
  EXPECT_EQ(g_sound.listener.distanceScale, 1.0f / 0.0001f);
  Sound3DSetRolloffFactor(50);
  EXPECT_EQ(g_sound.listener.rolloff, 10.0f);
  Sound3DSetRolloffFactor(-1);
  EXPECT_EQ(g_sound.listener.rolloff, 0.00001f);
  SoundClose();
  Sound3DSetDopplerFactor(5);  // nothing before start-up
  EXPECT_EQ(g_sound.listener.doppler, 1.0f);
}

// 3D placement from positions a program may give: far beyond any sensible range, or not numbers.
// The sound keeps its frequency and a defined gain and pan instead of what an overflowing
// conversion would leave.
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

TEST_F(Sound3DTest, ListenerVectorsAndRotation) {
  Sound3DSetListener(nullptr, nullptr, 0, 0, 1, 0, 1, 0);
  EXPECT_EQ(g_sound.listener.right[0], 1.0f);
  float forward[3], top[3];
  Sound3DVectorsFromAngles(0, 90, 0, forward, top);
  EXPECT_NEAR(forward[0], 1.0f, 1e-5);
  EXPECT_NEAR(forward[1], 0.0f, 1e-6);
  EXPECT_NEAR(forward[2], 0.0008f, 0.00005f);
  EXPECT_NEAR(top[1], 1.0f, 1e-6);
  // Facing +x, a source at +x is straight ahead: centred.
  Sound3DSetListener(nullptr, nullptr, forward[0], forward[1], forward[2], top[0], top[1], top[2]);
  Place(10, 0, 0);
  EXPECT_NEAR(c->mixPan, 128, 1);
  float fx = 0;
  Sound3DGetListener(nullptr, nullptr, &fx, nullptr, nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(fx, forward[0]);
}
