// The mixer and stream threads against the program's thread: plays, stops, settings, frees,
// DSP units and streams changing while blocks are mixed (run under the thread sanitizer in the
// sanitizer build).
#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>

#include "sound/engine/streams/streams.h"
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

namespace {
// A caller's source: a number of fills, then the end.
bool FillCounted(SoundStream*, void* dest, int32_t bytes, void* user) {
  std::memset(dest, 0x11, size_t(bytes));
  return --*static_cast<int*>(user) > 0;
}
}  // namespace

// Streams used as the music devices use them: started, paused, restarted and closed on the
// program's thread while the stream thread refills them and stops those that ended.
TEST_F(SoundTest, StreamsChangeWhileTheStreamThreadRuns) {
  SoundSetOutput(0);
  SoundSetBufferSize(20);
  ASSERT_TRUE(SoundInit(44100, 16, 0));
  struct Live {
    SoundStream* stream;
    int fills;
    std::chrono::steady_clock::time_point closeAt;
  };
  std::vector<std::unique_ptr<Live>> live;
  const auto start = std::chrono::steady_clock::now();
  int round = 0;
  while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(300)) {
    const auto now = std::chrono::steady_clock::now();
    if (live.size() < 4) {
      auto l = std::make_unique<Live>(Live{nullptr, 1 + round % 3, now + std::chrono::milliseconds(round % 7 * 15)});
      l->stream = StreamCreate(FillCounted, 441 * 4, kSound2D | kSound16Bits | kSoundStereo, 44100, &l->fills);
      ASSERT_NE(l->stream, nullptr);
      ASSERT_GE(StreamPlay(kSoundFreeChannel, l->stream), 0);
      live.push_back(std::move(l));
    }
    for (size_t k = 0; k < live.size();) {
      SoundStream* s = live[k]->stream;
      StreamSetPaused(s, round % 5 == 0);
      StreamGetTime(s);
      if (now < live[k]->closeAt) {
        ++k;
        continue;
      }
      if (round % 2) StreamStop(s);
      StreamClose(s);
      live.erase(live.begin() + std::ptrdiff_t(k));
    }
    round++;
  }
  for (auto& l : live) StreamClose(l->stream);
  EXPECT_GT(round, 10);
}

// On an output with a clock of its own the stream thread refills a playing stream, though no
// stream played when the engine started.
TEST_F(SoundTest, APlayingStreamIsRefilledByTheStreamThread) {
  SoundSetOutput(0);
  SoundSetBufferSize(20);
  ASSERT_TRUE(SoundInit(44100, 16, 0));
  std::atomic<int> fills{0};
  const auto fill = [](SoundStream*, void* dest, int32_t bytes, void* user) {
    std::memset(dest, 0x11, size_t(bytes));
    ++*static_cast<std::atomic<int>*>(user);
    return true;
  };
  SoundStream* s = StreamCreate(fill, 441 * 4, kSound2D | kSound16Bits | kSoundStereo, 44100, &fills);
  ASSERT_NE(s, nullptr);
  ASSERT_GE(StreamPlay(kSoundFreeChannel, s), 0);
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (fills.load() < 6 && std::chrono::steady_clock::now() < giveUp)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_GE(fills.load(), 6);
  StreamClose(s);
}
