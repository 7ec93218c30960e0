// The mixer thread against the program's thread: plays, stops, settings, frees and DSP units
// changing while blocks are mixed (run under the thread sanitizer in the sanitizer build).
#include <chrono>
#include <thread>

#include "tests/sound/sound_fixture.h"

namespace {
void* Touch(void*, void* input, int32_t length, void*) {
  // A program's unit that calls back into the engine from the mixer thread.
  SoundGetChannelsPlaying();
  static_cast<int16_t*>(input)[2 * (length - 1)] ^= 1;
  return input;
}
}  // namespace

TEST_F(SoundTest, ProgramThreadChangesWhileTheMixerThreadRuns) {
  SoundSetOutput(0);
  SoundSetBufferSize(50);
  ASSERT_TRUE(SoundInit(44100, 16, 0));
  SoundDspUnit* unit = DspCreateUnit(Touch, 150, nullptr);
  DspSetActive(unit, true);
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
  int round = 0;
  while (std::chrono::steady_clock::now() < until) {
    SoundSample* s = MonoSample(std::vector<int16_t>(size_t(200 + round % 50), int16_t(round)),
                                round % 3 ? kSoundLoopNormal : kSoundLoopBidi);
    int32_t h = SoundPlay(kSoundFreeChannel, s);
    SoundSetChannelVolume(h, round % 256);
    SoundSetChannelFrequency(kSoundAllChannels, 20000 + round);
    if (round % 7 == 0) SoundStopChannel(kSoundAllChannels);
    if (round % 11 == 0) DspSetPriority(unit, 150 + round % 3);
    Sound3DUpdate();
    SoundSampleFree(s);
    round++;
  }
  EXPECT_GT(round, 10);
  DspFreeUnit(unit);
}
