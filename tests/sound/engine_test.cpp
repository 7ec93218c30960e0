// Engine settings, start and close, the no-sound output and the last-error rule.
#include <cstdlib>
#include <string>
#include <thread>

#include "sound/engine/engine_state.h"
#include "tests/sound/sound_fixture.h"

TEST_F(SoundTest, SettingsAreClampedBeforeStart) {
  EXPECT_TRUE(SoundSetMixer(2));
  EXPECT_EQ(SoundGetMixer(), 4);
  EXPECT_FALSE(SoundSetMixer(9));
  EXPECT_EQ(SoundGetError(), kSoundErrInvalidParam);
  EXPECT_TRUE(SoundSetBufferSize(80));
  EXPECT_EQ(SoundGetBufferSetting(), 150);
  EXPECT_TRUE(SoundSetBufferSize(10));
  EXPECT_EQ(SoundGetBufferSetting(), 100);
  SoundSetPanSeparation(2.5f);
  EXPECT_EQ(g_sound.panSeparation, 1.0f);
  SoundSetPanSeparation(-1.0f);
  EXPECT_EQ(g_sound.panSeparation, 0.0f);
  SoundSetMasterVolume(300);
  EXPECT_EQ(SoundGetMasterVolume(), 255);
  EXPECT_FALSE(SoundSetMaxHardwareChannels(-1));
  EXPECT_EQ(SoundGetError(), kSoundErrInvalidParam);
}

TEST_F(SoundTest, DriverIndexBeyondTheListSelectsNoSound) {
  SoundSetOutput(2);
  // The device output lists the devices the system has: the headless driver's one, by its name.
  const char* driver = std::getenv("SDL_AUDIODRIVER");
  if (driver && std::string(driver) == "dummy") {
    EXPECT_EQ(SoundGetNumDrivers(), 1);
    EXPECT_STREQ(SoundGetDriverName(0), "System audio output device");
  }
  EXPECT_TRUE(SoundSetDriver(57));
  EXPECT_EQ(SoundGetOutput(), 0);
  EXPECT_EQ(SoundGetNumDrivers(), 1);
  EXPECT_STREQ(SoundGetDriverName(-4), "No Sound Driver");
  EXPECT_EQ(SoundGetDriverName(1), nullptr);
  EXPECT_EQ(SoundGetError(), kSoundErrInvalidParam);
  uint32_t caps = 99;
  EXPECT_TRUE(SoundGetDriverCaps(0, &caps));
  EXPECT_EQ(caps, 0u);
}

TEST_F(SoundTest, StartUpSettingsAreRefusedWhileRunning) {
  StartNoSound();
  EXPECT_EQ(SoundGetNumHardwareChannels(), 0);
  EXPECT_EQ(SoundGetMaxChannels(), 8);
  EXPECT_EQ(SoundGetMaxSamples(), 256);
  EXPECT_EQ(SoundGetBufferSetting(), 100);  // the no-sound output's 50 ms
  EXPECT_FALSE(SoundSetMixer(5));
  EXPECT_EQ(SoundGetError(), kSoundErrInitialised);
  EXPECT_FALSE(SoundSetBufferSize(500));
  EXPECT_FALSE(SoundSetOutput(1));
  EXPECT_FALSE(SoundSetWindowHandle(nullptr));
  EXPECT_FALSE(SoundSetMinHardwareChannels(3));
  EXPECT_EQ(SoundGetMixer(), 4);
  EXPECT_EQ(SoundGetOutput(), 0);
  SoundSetMasterVolume(100);
  EXPECT_EQ(SoundGetMasterVolume(), 100);
  SoundClose();
  EXPECT_EQ(SoundGetBufferSetting(), -1);
  EXPECT_EQ(SoundGetMaxSamples(), 0);
  EXPECT_EQ(SoundGetError(), kSoundErrUninitialised);
}

TEST_F(SoundTest, StartFailsForBadArgumentsBeforeTouchingTheDriver) {
  EXPECT_FALSE(SoundInit(44100, 0, 0));
  EXPECT_EQ(SoundGetError(), kSoundErrInvalidParam);
  EXPECT_FALSE(SoundInit(0, 8, 0));
  EXPECT_EQ(SoundGetMaxChannels(), 0);
}

TEST_F(SoundTest, NoSoundOutputPlaysSilentlyAndItsClockMovesTheMixer) {
  StartNoSound();
  SoundSample* s = MonoSample(std::vector<int16_t>(1000, 1000), kSoundLoopNormal);
  ASSERT_NE(s, nullptr);
  int32_t h = SoundPlay(kSoundFreeChannel, s);
  EXPECT_NE(h, -1);
  EXPECT_TRUE(SoundIsChannelPlaying(h));
  int64_t before = SoundGetChannelPosition(kSoundMixBufferChannel);
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_GT(SoundGetChannelPosition(kSoundMixBufferChannel), before);
}

TEST_F(SoundTest, FourthOutputAndUnknownOutputsStartWithoutSound) {
  for (int32_t type : {3, 7}) {
    SoundSetOutput(type);
    ASSERT_TRUE(SoundInit(44100, 4, 0));
    EXPECT_STREQ(SoundGetDriverName(0), "No Sound Driver");
    SoundClose();
  }
}

TEST_F(SoundTest, MissingAudioDeviceFallsBackToNoSound) {
  const char* old = std::getenv("SDL_AUDIODRIVER");
  std::string saved = old ? old : "";
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  SoundSetOutput(2);
  EXPECT_TRUE(SoundInit(44100, 4, 0));
  EXPECT_EQ(SoundGetError(), kSoundErrInit);
  EXPECT_EQ(SoundGetOutput(), 0);
  EXPECT_NE(SoundPlay(kSoundFreeChannel, MonoSample({1, 2, 3})), -1);
  SoundClose();
  setenv("SDL_AUDIODRIVER", saved.c_str(), 1);
}

TEST_F(SoundTest, WorkerThreadsLeaveTheOwnersErrorForItToRead) {
  StartNoSound();
  SoundSetMixer(3);
  ASSERT_EQ(SoundGetError(), kSoundErrInitialised);
  std::thread([] { SoundGetMixRate(); }).join();
  EXPECT_EQ(SoundGetError(), kSoundErrInitialised);
  SoundGetMixRate();
  EXPECT_EQ(SoundGetError(), kSoundOk);
}

TEST_F(SoundTest, ReverbValuesAreKept) {
  EXPECT_FALSE(SoundSetReverb(3, 0.5f, 1.0f, 0.25f));
  StartNoSound();
  EXPECT_TRUE(SoundSetReverb(3, 0.5f, 1.0f, 0.25f));
  int32_t env = 0;
  float volume = 0, damping = 0;
  EXPECT_TRUE(SoundGetReverb(&env, &volume, nullptr, &damping));
  EXPECT_EQ(env, 3);
  EXPECT_EQ(volume, 0.5f);
  EXPECT_EQ(damping, 0.25f);
}

TEST_F(SoundTest, StartAndCloseManyTimes) {
  SoundSetOutput(0);
  for (int i = 0; i < 100; i++) {
    ASSERT_TRUE(SoundInit(44100, 16, 0));
    SoundSample* s = MonoSample(std::vector<int16_t>(300, 5), kSoundLoopNormal);
    SoundPlay(kSoundFreeChannel, s);
    SoundSampleFree(SoundSampleAlloc(kSoundUnlisted, 10, kSound16Bits, 44100, 255, 128, 255));
    SoundClose();
  }
}
