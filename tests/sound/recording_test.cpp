// Recording on the manual clock: the capture input is fed known data and the recording copies
// it into the target as the clock moves.
#include <cstring>

#include "sound/engine/engine_state.h"
#include "tests/sound/sound_fixture.h"

namespace {

class RecordingTest : public SoundTest {
 protected:
  std::vector<int16_t> input;
  void SetUp() override {
    SoundTest::SetUp();
    StartManual();
    input.resize(300000);
    for (size_t i = 0; i < input.size(); i++) input[i] = int16_t(i * 7919);
    std::vector<uint8_t> bytes(input.size() * 2);
    std::memcpy(bytes.data(), input.data(), bytes.size());
    ManualDriverSetInput(bytes);
  }
  static SoundSample* Target(int32_t frames) {
    return SoundSampleAlloc(kSoundUnlisted, frames, kSound16Bits | kSoundMono, 44100, 255, 128, 255);
  }
  static void Run(uint32_t frames) {
    for (uint32_t done = 0; done < frames; done += 1104) ManualDriverAdvance(1104);
  }
};

}  // namespace

TEST_F(RecordingTest, OnceThroughStopsAtTheEndOfTheSample) {
  SoundSample* s = Target(220500);  // five seconds
  ASSERT_TRUE(SoundRecordStart(s, false));
  EXPECT_EQ(SoundRecordGetDriver(), 0);
  Run(230000);  // the capture ring of 22050 frames wraps many times meanwhile
  EXPECT_EQ(SoundRecordGetPosition(), 220500);
  const int16_t* d = reinterpret_cast<const int16_t*>(s->data);
  EXPECT_EQ(std::memcmp(d, input.data(), 220500 * 2), 0);
  EXPECT_EQ(d[220500], 0);  // nothing past the end, nothing wrapped into the start
  SoundRecordStop();
  SoundSampleFree(s);
}

TEST_F(RecordingTest, LoopingGoesRoundAndKeepsTheNewest) {
  SoundSample* s = Target(3000);
  ASSERT_TRUE(SoundRecordStart(s, true));
  Run(6624);  // six blocks of 1104 frames
  EXPECT_EQ(SoundRecordGetPosition(), 6624 % 3000);
  const int16_t* d = reinterpret_cast<const int16_t*>(s->data);
  for (int i = 0; i < 3000; i++) {
    int newest = i < 624 ? 6000 + i : 3000 + i;
    ASSERT_EQ(d[i], input[size_t(newest)]) << i;
  }
  SoundRecordStop();
  SoundSampleFree(s);
}

TEST_F(RecordingTest, StartingAgainStopsTheFirstRecording) {
  SoundSample* a = Target(50000);
  SoundSample* b = Target(50000);
  ASSERT_TRUE(SoundRecordStart(a, false));
  Run(1104);
  ASSERT_TRUE(SoundRecordStart(b, false));
  Run(2208);
  const int16_t* da = reinterpret_cast<const int16_t*>(a->data);
  EXPECT_NE(da[1000], 0);
  EXPECT_EQ(da[1200], 0);
  EXPECT_EQ(SoundRecordGetPosition(), 2208);
  SoundSampleFree(b);  // freeing the target stops its recording
  Run(1104);
  SoundSampleFree(a);
}

TEST_F(RecordingTest, DevicesAndRefusals) {
  EXPECT_EQ(SoundRecordGetNumDrivers(), 1);
  EXPECT_STREQ(SoundRecordGetDriverName(0), "Manual Input");
  EXPECT_TRUE(SoundRecordSetDriver(7));
  EXPECT_EQ(SoundRecordGetDriver(), 0);
  EXPECT_FALSE(SoundRecordStart(nullptr, false));
  EXPECT_EQ(SoundGetError(), kSoundErrInvalidParam);
  // Closing the engine stops an active recording and frees its unlisted target.
  ASSERT_TRUE(SoundRecordStart(Target(100000), false));
  SoundClose();
}

TEST_F(SoundTest, RecordingWithoutSoundFailsAndLeavesNoThread) {
  StartNoSound();
  SoundSample* s = SoundSampleAlloc(kSoundUnlisted, 1000, kSound16Bits, 44100, 255, 128, 255);
  EXPECT_FALSE(SoundRecordStart(s, false));
  EXPECT_EQ(SoundGetError(), kSoundErrRecord);
  SoundSampleFree(s);
}
