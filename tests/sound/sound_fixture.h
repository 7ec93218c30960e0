#pragma once
// Engine set-up for the sound tests: a clean engine on the no-sound or the manual-clock output.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "sound/engine/drivers/driver_manual.h"
#include "sound/engine/sound_engine.h"

class SoundTest : public testing::Test {
 protected:
  void SetUp() override {
    ManualDriverInstall(false);
    SoundEngineReset();
  }
  void TearDown() override {
    SoundEngineReset();
    ManualDriverInstall(false);
  }
  // Starts on the no-sound output.
  void StartNoSound(int32_t channels = 8) {
    SoundSetOutput(0);
    ASSERT_TRUE(SoundInit(44100, channels, 0));
  }
  // Starts on the manual clock output.
  void StartManual(int32_t rate = 44100, int32_t channels = 8) {
    ManualDriverInstall(true);
    ASSERT_TRUE(SoundInit(rate, channels, 0));
  }
  // A 16-bit mono sample filled with values.
  static SoundSample* MonoSample(const std::vector<int16_t>& values, uint32_t loop = kSoundLoopOff,
                                 int32_t pan = 128) {
    SoundSample* s = SoundSampleAlloc(kSoundFreeSample, int32_t(values.size()),
                                      kSound16Bits | kSoundMono | kSound2D | loop, 44100, 255, pan,
                                      255);
    if (s) SoundSampleUpload(s, values.data(), kSound16Bits | kSoundMono);
    return s;
  }
};
