// End to end through SDL's disk audio driver: a tone played into the output file, and a tone
// read from the input file recorded into a sample.
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "tests/sound/sound_fixture.h"
#include "tests/support/temp_dir.h"

namespace {

class DiskAudioTest : public SoundTest {
 protected:
  TempDir dir;
  void SetUp() override {
    SoundTest::SetUp();
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", dir.File("out.raw").c_str(), 1);
    setenv("SDL_DISKAUDIOFILEIN", dir.File("in.raw").c_str(), 1);
  }
  void TearDown() override {
    SoundTest::TearDown();
    setenv("SDL_AUDIODRIVER", "dummy", 1);
  }
  // Waits (real time: the device plays at its own pace) until done says so or 5 s passed.
  template <typename Done>
  static bool WaitFor(Done done) {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done()) {
      if (std::chrono::steady_clock::now() > until) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
  }
  static std::vector<int16_t> Tone(size_t frames, int32_t amplitude) {
    std::vector<int16_t> v(frames);
    for (size_t i = 0; i < frames; i++) {
      v[i] = int16_t(std::lround(amplitude * std::sin(2 * M_PI * 1000.0 * double(i) / 44100.0)));
    }
    return v;
  }
};

}  // namespace

TEST_F(DiskAudioTest, ToneArrivesAtItsFrequencyAndLevelWithoutGaps) {
  SoundSetOutput(2);
  ASSERT_TRUE(SoundInit(44100, 8, 0));
  ASSERT_EQ(SoundGetOutput(), 2);
  SoundSample* tone = MonoSample(Tone(441, 16000), kSoundLoopNormal, -1);  // ten periods
  int64_t start = SoundGetChannelPosition(kSoundMixBufferChannel);
  int32_t h = SoundPlay(kSoundFreeChannel, tone);
  ASSERT_NE(h, -1);
  ASSERT_TRUE(WaitFor([&] { return SoundGetChannelPosition(kSoundMixBufferChannel) > start + 44100 * 3 / 2; }));
  SoundStopChannel(h);
  SoundClose();

  std::string raw = dir.Read("out.raw");
  std::vector<int16_t> out(raw.size() / 2);
  std::memcpy(out.data(), raw.data(), out.size() * 2);
  size_t frames = out.size() / 2;
  size_t first = 0;
  while (first < frames && std::abs(out[2 * first]) < 500) first++;
  ASSERT_LT(first + 128 + 44100, frames);
  size_t from = first + 128;  // past the fade-in
  int crossings = 0, peak = 0, quietRun = 0, longestQuiet = 0;
  for (size_t i = from; i < from + 44100; i++) {
    int16_t l = out[2 * i], r = out[2 * i + 1];
    ASSERT_EQ(l, r);
    if ((out[2 * i - 2] < 0) != (l < 0)) crossings++;
    peak = std::max(peak, std::abs(int(l)));
    quietRun = std::abs(l) < 2000 ? quietRun + 1 : 0;
    longestQuiet = std::max(longestQuiet, quietRun);
  }
  EXPECT_NEAR(crossings, 2000, 4);
  EXPECT_NEAR(peak, 16000 * 255 / 256, 100);
  EXPECT_LT(longestQuiet, 4);  // a gap would leave a run of silence
}

TEST_F(DiskAudioTest, CaptureRecordsTheInputIntoASample) {
  std::vector<int16_t> in = Tone(44100, 12000);
  dir.Write("in.raw", std::string(reinterpret_cast<const char*>(in.data()), in.size() * 2));
  SoundSetOutput(2);
  ASSERT_TRUE(SoundInit(44100, 8, 0));
  SoundSample* s = SoundSampleAlloc(kSoundUnlisted, 22050, kSound16Bits | kSoundMono, 44100, 255, 128, 255);
  ASSERT_TRUE(SoundRecordStart(s, false));
  ASSERT_TRUE(WaitFor([] { return SoundRecordGetPosition() >= 22050; }));
  SoundRecordStop();
  void *p1, *p2;
  uint32_t l1, l2;
  ASSERT_TRUE(SoundSampleLock(s, 0, 22050 * 2, &p1, &p2, &l1, &l2));
  EXPECT_EQ(std::memcmp(p1, in.data(), 22050 * 2), 0);
  SoundSampleUnlock(s, p1, p2, l1, l2);
  SoundSampleFree(s);
}
