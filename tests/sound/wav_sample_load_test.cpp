// SoundSampleLoad through the WAV and MPEG readers.
#include <cstring>

#include "sound/engine/engine_state.h"
#include "tests/sound/mpeg_tools.h"
#include "tests/sound/sound_fixture.h"
#include "tests/support/temp_dir.h"

TEST_F(SoundTest, SampleLoadReadsWavThenMpeg) {
  StartNoSound();
  TempDir dir;
  const std::string wav8 = dir.File("a.wav"), mp3 = dir.File("b.mp3"), junk = dir.File("c.bin");
  ASSERT_TRUE(Shell("sox -R -D -n -r 11025 -c 1 -b 8 -e unsigned-integer " + wav8 + " synth 0.1 sine 500"));
  ASSERT_TRUE(MakeSignal(dir.File("s.wav"), 32000, 2, 0.3));
  ASSERT_TRUE(Shell("lame -t --quiet -b 96 " + dir.File("s.wav") + " " + mp3));
  dir.Write("c.bin", std::string(1000, '\x42'));

  SoundSample* w = SoundSampleLoad(kSoundFreeSample, wav8.c_str(), 0, 0);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(SoundSampleGetLength(w), 1103u);
  EXPECT_EQ(SoundSampleGetMode(w) & (kSound8Bits | kSoundMono), kSound8Bits | kSoundMono);
  int32_t freq = 0, vol = 0, pan = 0, prio = 0;
  SoundSampleGetDefaults(w, &freq, &vol, &pan, &prio);
  EXPECT_EQ(freq, 11025);
  EXPECT_EQ(pan, 128);
  // The data is signed: a sine starting at 0 begins near 0, not near -128.
  EXPECT_LT(std::abs((int8_t)w->data[0]), 4);

  SoundSample* m = SoundSampleLoad(kSoundFreeSample, mp3.c_str(), kSoundMpegAccurate, 0);
  ASSERT_NE(m, nullptr);
  std::vector<int16_t> ref = FfmpegDecode(mp3, 3);
  ASSERT_EQ(SoundSampleGetLength(m) * 2, ref.size());
  EXPECT_EQ(SoundSampleGetMode(m) & (kSound16Bits | kSoundStereo), kSound16Bits | kSoundStereo);
  std::vector<int16_t> ours(ref.size());
  std::memcpy(ours.data(), m->data, ours.size() * 2);
  EXPECT_LE(ComparePcm(ours, ref).max_diff, 2);

  EXPECT_EQ(SoundSampleLoad(kSoundFreeSample, junk.c_str(), 0, 0), nullptr);
  EXPECT_EQ(SoundGetError(), kSoundErrFileFormat);
  EXPECT_EQ(SoundSampleLoad(kSoundFreeSample, dir.File("none.wav").c_str(), 0, 0), nullptr);
  EXPECT_EQ(SoundGetError(), kSoundErrFileOpen);
  std::string bytes = dir.Read("a.wav");
  SoundSample* mem = SoundSampleLoad(kSoundFreeSample, bytes.data(), kSoundMemory, (int32_t)bytes.size());
  ASSERT_NE(mem, nullptr);
  EXPECT_EQ(SoundSampleGetName(mem), std::string("Memory file"));
}
