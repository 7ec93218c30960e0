// Streams played through the manual-clock output.
#include <cstring>

#include "sound/engine/streams/stream_internal.h"
#include "tests/sound/mpeg_tools.h"
#include "tests/sound/sound_fixture.h"
#include "tests/support/temp_dir.h"

namespace {

std::vector<std::string> g_events;

bool OnEnd(SoundStream*, void*, int32_t, int32_t user) {
  g_events.push_back("end " + std::to_string(user));
  return true;
}
bool OnSync(SoundStream*, void* name, int32_t offset, int32_t) {
  g_events.push_back(std::string((const char*)name) + "@" + std::to_string(offset));
  return true;
}

class StreamTest : public SoundTest {
 protected:
  void SetUp() override {
    SoundTest::SetUp();
    g_events.clear();
  }
  // Advances the clock by `ms` in mix blocks.
  static void Play(int ms) {
    const uint32_t block = (uint32_t)DspGetBufferLength();
    for (int t = 0; t < ms; t += 25) ManualDriverAdvance(block);
  }
  // The left channel of what was played, from the first frame that is not silence.
  static std::vector<int16_t> Heard() {
    const std::vector<int16_t>& out = ManualDriverOutput();
    size_t first = 0;
    while (first < out.size() && out[first] == 0 && out[first + 1] == 0) first += 2;
    std::vector<int16_t> left;
    for (size_t i = first; i + 1 < out.size(); i += 2) left.push_back(out[i]);
    return left;
  }
  // What the mixer plays of the whole file loaded as a sample, on a fresh engine.
  std::vector<int16_t> PlayedAsSample(const std::string& path, int ms) {
    SoundEngineReset();
    StartManual();
    SoundSample* sample = SoundSampleLoad(kSoundFreeSample, path.c_str(), kSoundMpegAccurate, 0);
    if (!sample || SoundPlay(-1, sample) < 0) return {};
    Play(ms);
    std::vector<int16_t> heard = Heard();
    SoundEngineReset();
    ManualDriverClearOutput();
    StartManual();
    return heard;
  }
  static int MaxDiff(const std::vector<int16_t>& a, const std::vector<int16_t>& b, size_t n) {
    int m = 0;
    for (size_t i = 0; i < n; i++) m = std::max(m, std::abs(a[i] - b[i]));
    return m;
  }
};

TEST_F(StreamTest, WavStreamPlaysTheFileAndEndsOnce) {
  TempDir dir;
  const std::string wav = dir.File("s.wav");
  ASSERT_TRUE(MakeSignal(wav, 44100, 2, 0.5));
  const std::vector<int16_t> want = PlayedAsSample(wav, 1000);
  ASSERT_FALSE(want.empty());
  SoundStream* s = StreamOpen(wav.c_str(), 0, 0);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SoundSampleGetLength(StreamGetSample(s)), 8820u);  // two halves of 100 ms
  StreamSetEndCallback(s, OnEnd, 7);
  ASSERT_GE(StreamPlay(-1, s), 0);
  Play(1500);
  std::vector<int16_t> heard = Heard();
  ASSERT_GE(heard.size(), want.size());
  EXPECT_EQ(MaxDiff(heard, want, want.size()), 0);
  EXPECT_EQ(g_events, (std::vector<std::string>{"end 7"}));
  EXPECT_FALSE(s->playing);
  StreamClose(s);
}

TEST_F(StreamTest, LoopingStreamNeverEnds) {
  StartManual();
  TempDir dir;
  const std::string wav = dir.File("l.wav");
  ASSERT_TRUE(Shell("sox -R -n -r 22050 -c 1 -b 8 " + wav + " synth 0.15 sine 300"));
  SoundStream* s = StreamOpen(wav.c_str(), kSoundLoopNormal, 0);
  ASSERT_NE(s, nullptr);
  StreamSetEndCallback(s, OnEnd, 1);
  ASSERT_GE(StreamPlay(-1, s), 0);
  Play(2000);
  EXPECT_EQ(g_events, std::vector<std::string>{});
  EXPECT_TRUE(s->playing);
  // Still sounding at the end.
  const std::vector<int16_t>& out = ManualDriverOutput();
  int16_t loudest = 0;
  for (size_t i = out.size() - 2000; i < out.size(); i++) loudest = std::max<int16_t>(loudest, (int16_t)std::abs(out[i]));
  EXPECT_GT(loudest, 1000);
  StreamClose(s);
}

TEST_F(StreamTest, MpegStreamPlaysTheFile) {
  TempDir dir;
  const std::string src = dir.File("s.wav"), mp3 = dir.File("s.mp3");
  ASSERT_TRUE(MakeSignal(src, 32000, 2, 0.5));
  ASSERT_TRUE(Shell("lame -t --quiet -b 128 " + src + " " + mp3));
  const std::vector<int16_t> want = PlayedAsSample(mp3, 1000);
  ASSERT_FALSE(want.empty());
  SoundStream* s = StreamOpen(mp3.c_str(), kSoundMpegAccurate, 0);
  ASSERT_NE(s, nullptr);
  EXPECT_GT(s->frames.count, 20u);  // counted exactly for the time-to-position table
  ASSERT_GE(StreamPlay(-1, s), 0);
  Play(1000);
  std::vector<int16_t> heard = Heard();
  ASSERT_GE(heard.size(), want.size());
  EXPECT_EQ(MaxDiff(heard, want, want.size()), 0);
  StreamClose(s);
}

std::string Le32(uint32_t v) { return std::string((const char*)&v, 4); }

TEST_F(StreamTest, CuesFireInOrderBeforeTheEnd) {
  StartManual();
  // 8000 Hz 16-bit mono, 4000 samples, cues at 1000, 2000 and 3000 named by labels.
  std::string fmt = std::string("\x01\x00\x01\x00", 4) + Le32(8000) + Le32(16000) + std::string("\x02\x00\x10\x00", 4);
  std::string cue = Le32(3);
  for (uint32_t i = 1; i <= 3; i++) cue += Le32(i) + Le32(0) + "data" + Le32(0) + Le32(0) + Le32(1000 * i);
  std::string adtl = "adtl";
  const char* names[] = {"one", "two", "six"};
  for (uint32_t i = 1; i <= 3; i++) adtl += "labl" + Le32(8) + Le32(i) + names[i - 1] + std::string(1, '\0');
  std::string data(8000, '\0');
  for (size_t i = 0; i < data.size(); i += 2) data[i + 1] = 0x10;
  std::string body = "WAVEfmt " + Le32(16) + fmt + "cue " + Le32((uint32_t)cue.size()) + cue + "LIST" +
                     Le32((uint32_t)adtl.size()) + adtl + "data" + Le32((uint32_t)data.size()) + data;
  std::string file = "RIFF" + Le32((uint32_t)body.size()) + body;
  SoundStream* s = StreamOpen(file.data(), kSoundMemory, (int32_t)file.size());
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(StreamGetLengthMs(s), 500);
  StreamSetSyncCallback(s, OnSync, 0);
  StreamSetEndCallback(s, OnEnd, 3);
  ASSERT_GE(StreamPlay(-1, s), 0);
  Play(1500);
  EXPECT_EQ(g_events, (std::vector<std::string>{"one@1000", "two@2000", "six@3000", "end 3"}));
  StreamClose(s);
}

// Fills with a constant and counts its calls; a DSP unit of the stream negates what it gets.
bool FillConstant(SoundStream*, void* dest, int32_t bytes, void* user) {
  ++*(int*)user;
  int16_t* d = (int16_t*)dest;
  for (int32_t i = 0; i < bytes / 2; i++) d[i] = 1000;
  return true;
}
void* Negate(void* block, void* input, int32_t frames, void*) {
  int16_t* in = (int16_t*)input;
  int16_t* out = (int16_t*)block;
  for (int32_t i = 0; i < frames * 2; i++) out[i] = (int16_t)-in[i];
  return block;
}

TEST_F(StreamTest, CallerFilledStreamRunsItsDspUnits) {
  int calls = 0;
  SoundStream* early = StreamCreate(FillConstant, 17640, kSound16Bits | kSoundStereo, 44100, &calls);
  EXPECT_EQ(StreamPlay(-1, early), -1);  // the engine is not started
  EXPECT_EQ(SoundGetError(), kSoundErrUninitialised);
  StreamClose(early);
  StartManual();
  SoundStream* s = StreamCreate(FillConstant, 17640, kSound16Bits | kSoundStereo, 44100, &calls);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SoundSampleGetLength(StreamGetSample(s)), 8820u);  // 4410-frame blocks, two of them
  StreamAddDsp(s, Negate, 10, nullptr);
  ASSERT_GE(StreamPlay(-1, s), 0);
  EXPECT_EQ(calls, 2);  // both halves primed
  Play(1000);
  EXPECT_GE(calls, 10);
  const std::vector<int16_t>& out = ManualDriverOutput();
  EXPECT_LT(out[out.size() - 2], -100);
  EXPECT_TRUE(StreamSetPaused(s, true));
  EXPECT_TRUE(SoundGetChannelPaused(s->channel));
  StreamClose(s);
}

TEST_F(StreamTest, UnsignedSixteenBitRawStreamCentresOn0x8000) {
  TempDir dir;
  const struct {
    const char* value;  // little-endian unsigned
    int16_t heard;      // sign of what plays
  } cases[] = {{"\x00\x80", 0}, {"\x00\xC0", 1}, {"\x00\x40", -1}};
  for (const auto& c : cases) {
    std::string data;
    for (int k = 0; k < 8000; k++) data += std::string(c.value, 2);
    dir.Write("u.raw", data);
    SoundEngineReset();  // a fresh ring: nothing of the last case is heard
    StartManual();
    SoundStream* s = StreamOpenRaw(dir.File("u.raw").c_str(), kSound16Bits | kSoundMono | kSoundUnsigned, 0);
    ASSERT_NE(s, nullptr);
    ManualDriverClearOutput();
    ASSERT_GE(StreamPlay(-1, s), 0);
    Play(150);
    int lowest = 0, highest = 0;
    for (int16_t v : ManualDriverOutput()) lowest = std::min<int>(lowest, v), highest = std::max<int>(highest, v);
    EXPECT_EQ(highest > 0, c.heard > 0) << c.heard;
    EXPECT_EQ(lowest < 0, c.heard < 0) << c.heard;
    StreamClose(s);
  }
}

TEST_F(StreamTest, OpeningAndPositions) {
  StartManual();
  TempDir dir;
  dir.Write("r.raw", std::string(40000, '\x01'));
  EXPECT_EQ(StreamOpen("http://example/a.mp3", 0, 0), nullptr);
  EXPECT_EQ(SoundGetError(), kSoundErrFileFormat);
  EXPECT_EQ(StreamOpen(dir.File("none.wav").c_str(), 0, 0), nullptr);
  EXPECT_EQ(SoundGetError(), kSoundErrFileOpen);
  dir.Write("junk.bin", std::string(3000, '\x33'));
  EXPECT_EQ(StreamOpen(dir.File("junk.bin").c_str(), 0, 0), nullptr);
  EXPECT_EQ(SoundGetError(), kSoundErrFileFormat);
  SoundStream* s = StreamOpenRaw(dir.File("r.raw").c_str(), kSound16Bits | kSoundStereo, 0);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(StreamGetLength(s), 40000);
  EXPECT_TRUE(StreamSetPosition(s, 1001));
  EXPECT_EQ(s->pending_position, 1000);
  EXPECT_FALSE(StreamSetPosition(s, 40000));
  EXPECT_EQ(SoundGetError(), kSoundErrInvalidParam);
  EXPECT_FALSE(StreamSetTime(s, StreamGetLengthMs(s) + 1));
  ASSERT_GE(StreamPlay(-1, s), 0);
  EXPECT_EQ(s->pending_position, -1);
  EXPECT_EQ(StreamGetPosition(s), 1000 + 2 * 17640);  // applied, then both halves read
  EXPECT_FALSE(StreamStop(nullptr));
  StreamClose(s);
}

}  // namespace
