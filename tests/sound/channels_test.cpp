// Channels: handles and serials, the choice of a channel by priority, volume, pan and mute.
#include "sound/engine/engine_state.h"
#include "tests/sound/sound_fixture.h"

TEST_F(SoundTest, FreeChannelSearchStartsAfterTheLastChoice) {
  EXPECT_EQ(SoundPlay(kSoundFreeChannel, nullptr), -1);
  EXPECT_EQ(SoundGetError(), kSoundErrUninitialised);
  StartNoSound(4);
  SoundSample* s = MonoSample(std::vector<int16_t>(100, 1), kSoundLoopNormal);
  int32_t a = SoundPlay(kSoundFreeChannel, s);
  int32_t b = SoundPlay(kSoundFreeChannel, s);
  EXPECT_EQ(a & 0xFFF, 0);
  EXPECT_EQ(b & 0xFFF, 1);
  SoundStopChannel(a);
  // Channel 0 is idle again, but the search goes on from channel 2.
  EXPECT_EQ(SoundPlay(kSoundFreeChannel, s) & 0xFFF, 2);
  EXPECT_EQ(SoundPlay(kSoundFreeChannel, s) & 0xFFF, 3);
  EXPECT_EQ(SoundPlay(kSoundFreeChannel, s) & 0xFFF, 0);
  EXPECT_EQ(SoundGetChannelsPlaying(), 4);
  EXPECT_EQ(SoundPlay(kSoundFreeChannel, nullptr), -1);
  EXPECT_EQ(SoundGetError(), kSoundErrInvalidParam);
}

TEST_F(SoundTest, BusyChannelsGiveWayByPriority) {
  StartNoSound(3);
  SoundSample* s = MonoSample(std::vector<int16_t>(100, 1), kSoundLoopNormal);
  for (int i = 0; i < 3; i++) SoundSetChannelPriority(SoundPlay(kSoundFreeChannel, s), 1);
  SoundSetChannelPriority(0, 200);
  // A new sound of priority 255 takes the lowest priority nearest the cursor: channel 1.
  EXPECT_EQ(SoundPlay(kSoundFreeChannel, s) & 0xFFF, 1);
  SoundSetChannelPriority(kSoundAllChannels, 200);
  SoundSampleSetDefaults(s, 0, 0, 0, 100);
  SoundSample* before = SoundGetChannelSample(2);
  EXPECT_EQ(SoundPlay(kSoundFreeChannel, s), -1);
  EXPECT_EQ(SoundGetError(), kSoundErrChannelAlloc);
  EXPECT_EQ(SoundGetChannelSample(2), before);
  EXPECT_EQ(SoundGetChannelPriority(2), 200);
  // An equal priority is enough.
  SoundSampleSetDefaults(s, 0, 0, 0, 200);
  EXPECT_NE(SoundPlay(kSoundFreeChannel, s), -1);
  // Reserved channels are never taken.
  SoundSetChannelReserved(kSoundAllChannels, true);
  SoundSampleSetDefaults(s, 0, 0, 0, 255);
  EXPECT_EQ(SoundPlay(kSoundFreeChannel, s), -1);
  EXPECT_EQ(SoundGetError(), kSoundErrChannelAlloc);
}

TEST_F(SoundTest, StaleHandlesNoLongerReachTheChannel) {
  StartNoSound(2);
  SoundSample* s = MonoSample(std::vector<int16_t>(100, 1));
  int32_t first = SoundPlay(0, s);
  int32_t second = SoundPlay(0, s);
  EXPECT_NE(first, second);
  EXPECT_FALSE(SoundSetChannelVolume(first, 10));
  EXPECT_EQ(SoundGetError(), kSoundErrInvalidParam);
  EXPECT_TRUE(SoundSetChannelVolume(second, 10));
  EXPECT_TRUE(SoundSetChannelVolume(0, 20));  // a plain index still works
  EXPECT_EQ(SoundGetChannelVolume(second), 20);
  EXPECT_FALSE(SoundSetChannelVolume(2, 1));  // the spare record is not in use
  EXPECT_FALSE(SoundSetChannelVolume(5, 1));
  for (int32_t channel : {-7, 2}) {  // 2: the channel count itself
    EXPECT_EQ(SoundPlay(channel, s), -1) << channel;
    EXPECT_EQ(SoundGetError(), kSoundErrInvalidParam) << channel;
  }
  // The serial after 0x7FFFF is 1.
  g_sound.channels[1].serial = 0x7FFFF;
  EXPECT_EQ(SoundPlay(1, s), int32_t(1 | (0x7FFFF << 12)));
  EXPECT_EQ(SoundPlay(1, s), int32_t(1 | (1 << 12)));
}

TEST_F(SoundTest, VolumePanAndMuteFollowMasterAndSeparation) {
  StartNoSound(2);
  // Long enough to be still playing on a slow machine: a finished channel keeps its old mix.
  SoundSample* s = MonoSample(std::vector<int16_t>(441000, 1));
  int32_t h = SoundPlay(kSoundFreeChannel, s);
  SoundChannel* c = GetChannelRecord(h);
  SoundSetChannelVolume(h, 300);
  EXPECT_EQ(SoundGetChannelVolume(h), 255);
  SoundSetMasterVolume(128);
  EXPECT_EQ(c->mixVolume, 128);
  SoundSetPanSeparation(0.5f);
  SoundSetChannelPan(h, 0);
  EXPECT_EQ(SoundGetChannelPan(h), 64);
  SoundSetChannelPanRaw(h, 0);
  EXPECT_EQ(SoundGetChannelPan(h), 0);
  SoundSetMasterVolume(100);
  SoundSetChannelMute(h, true);
  EXPECT_TRUE(SoundGetChannelMute(h));
  SoundSetChannelMute(h, false);
  EXPECT_EQ(c->mixVolume, 255);  // the stored volume, not the scaled one
  SoundSetChannelVolumeAbsolute(h, 200);
  SoundSetMasterVolume(10);
  EXPECT_EQ(c->mixVolume, 200);  // absolute volumes ignore the master volume
}

TEST_F(SoundTest, AllChannelsHandleActsOnEachChannel) {
  StartNoSound(3);
  SoundSample* s = MonoSample(std::vector<int16_t>(100, 1), kSoundLoopNormal);
  EXPECT_NE(SoundPlay(kSoundAllChannels, s), -1);
  EXPECT_EQ(SoundGetChannelsPlaying(), 3);
  EXPECT_TRUE(SoundSetChannelMute(kSoundAllChannels, true));
  EXPECT_TRUE(SoundSetChannelReverbMix(kSoundAllChannels, 3.0f));
  float mix = 0;
  EXPECT_TRUE(SoundGetChannelReverbMix(2, &mix));
  EXPECT_EQ(mix, 1.0f);
  for (int i = 0; i < 3; i++) EXPECT_TRUE(SoundGetChannelMute(i));
  EXPECT_TRUE(SoundSetChannelPaused(kSoundAllChannels, true));
  EXPECT_TRUE(SoundGetChannelPaused(1));
  EXPECT_EQ(SoundGetChannelLevel(1), 0.0f);
  SoundStopAllChannels();
  EXPECT_EQ(SoundGetChannelsPlaying(), 0);
  EXPECT_EQ(SoundGetChannelPriority(0), 0);
}

TEST_F(SoundTest, FreeingASampleStopsItsChannels) {
  StartNoSound(2);
  SoundSample* s = MonoSample(std::vector<int16_t>(100, 1), kSoundLoopNormal);
  int32_t h = SoundPlayWithFrequency(kSoundFreeChannel, s, 22050, 100, 30);
  EXPECT_EQ(SoundGetChannelFrequency(h), 22050);
  EXPECT_EQ(SoundGetChannelVolume(h), 100);
  SoundSampleFree(s);
  EXPECT_FALSE(SoundIsChannelPlaying(h));
  EXPECT_EQ(SoundGetChannelSample(h), nullptr);
}

TEST_F(SoundTest, RestartedBidirectionalLoopPlaysForwardFromTheStart) {
  StartManual(44100, 2);
  SoundSample* s = MonoSample(std::vector<int16_t>(20000, 100), kSoundLoopBidi);
  const int32_t h = SoundPlay(0, s);
  SoundChannel* c = GetChannelRecord(h);
  const uint32_t block = uint32_t(DspGetBufferLength());
  for (int k = 0; k < 100 && c->direction != 2; ++k) ManualDriverAdvance(block);
  ASSERT_EQ(c->direction, 2);
  SoundStopChannel(h);
  const int32_t again = SoundPlay(0, s);
  EXPECT_EQ(c->direction, 1);
  EXPECT_EQ(SoundGetChannelPosition(again), 0);
  ManualDriverAdvance(block);
  EXPECT_EQ(c->direction, 1);
  EXPECT_GT(SoundGetChannelPosition(again), 0);
}
