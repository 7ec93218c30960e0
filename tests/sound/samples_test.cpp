// Samples: the table, mode bits, loop points and padding, locks, uploads and packed data.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <unistd.h>

#include "platform/host_files.h"
#include "sound/engine/drivers/driver.h"
#include "sound/engine/sample_decode.h"
#include "tests/sound/sound_fixture.h"
#include "tests/support/temp_dir.h"

TEST_F(SoundTest, SampleTableGrowsBy256) {
  EXPECT_EQ(SoundSampleAlloc(-1, 10, kSound16Bits, 44100, 255, 128, 255), nullptr);
  EXPECT_EQ(SoundGetError(), kSoundErrUninitialised);
  StartNoSound();
  for (int i = 0; i < 256; i++) ASSERT_NE(SoundSampleAlloc(-1, 4, kSound8Bits, 44100, 255, 128, 255), nullptr);
  SoundSample* s = SoundSampleAlloc(-1, 4, kSound8Bits, 44100, 255, 128, 255);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->index, 256);
  EXPECT_EQ(SoundGetMaxSamples(), 512);
  EXPECT_EQ(SoundGetSample(256), s);
  EXPECT_EQ(SoundGetSample(512), nullptr);
  EXPECT_EQ(SoundGetError(), kSoundErrInvalidParam);
  // A given index replaces what is there.
  SoundSample* t = SoundSampleAlloc(256, 8, kSound8Bits, 44100, 255, 128, 255);
  EXPECT_EQ(SoundGetSample(256), t);
  SoundSampleFree(t);
  EXPECT_EQ(SoundGetSample(256), nullptr);
  EXPECT_EQ(SoundSampleAlloc(-1, 0, kSound8Bits, 44100, 255, 128, 255), nullptr);
  EXPECT_EQ(SoundGetError(), kSoundErrInvalidParam);
}

TEST_F(SoundTest, ModeBitsAreNormalised) {
  StartNoSound();
  SoundSample* s = SoundSampleAlloc(-1, 4, kSound2D | kSoundHardware3D | kSound16Bits | kSound8Bits |
                                               kSoundStereo | kSoundMono | kSoundLoopBidi,
                                    44100, 255, 128, 255);
  ASSERT_NE(s, nullptr);
  EXPECT_FALSE(s->hardware3D);
  EXPECT_TRUE(s->softwareOnly);
  EXPECT_EQ(SoundSampleGetMode(s), kSoundLoopBidi | kSound16Bits | kSoundStereo);
  // No hardware voices: a hardware sample is stored in software.
  SoundSample* h = SoundSampleAlloc(-1, 4, kSoundHardware3D | kSound16Bits, 44100, 255, 128, 255);
  EXPECT_FALSE(h->hardware3D);
  EXPECT_EQ(h->ops, SoftwareSampleOps());
}

TEST_F(SoundTest, LoopPointsDefaultsAndNames) {
  StartNoSound();
  SoundSample* s = MonoSample(std::vector<int16_t>(20, 1));
  EXPECT_FALSE(SoundSampleSetLoopPoints(s, 5, 5));
  EXPECT_EQ(SoundGetError(), kSoundErrInvalidParam);
  EXPECT_FALSE(SoundSampleSetLoopPoints(s, 0, 20));
  EXPECT_TRUE(SoundSampleSetLoopPoints(s, 0, 19));
  int32_t start = -1, end = -1;
  EXPECT_TRUE(SoundSampleGetLoopPoints(s, &start, &end));
  EXPECT_EQ(start, 0);
  EXPECT_EQ(end, 19);
  EXPECT_FALSE(SoundSampleSetLoopMode(s, 3));
  EXPECT_EQ(SoundGetError(), kSoundOk);
  EXPECT_TRUE(SoundSampleSetDefaults(s, 22050, 0, 0, 7));
  int32_t f, v, p, pr;
  SoundSampleGetDefaults(s, &f, &v, &p, &pr);
  EXPECT_EQ(f, 22050);
  EXPECT_EQ(v, 255);
  EXPECT_EQ(p, 128);
  EXPECT_EQ(pr, 7);
  EXPECT_FALSE(SoundSampleSetMinMaxDistance(s, 5, 4));
  EXPECT_EQ(SoundSampleGetLength(nullptr), 0u);
  EXPECT_EQ(SoundGetError(), kSoundErrInvalidParam);
}

TEST_F(SoundTest, LoopPaddingFollowsTheLoopAndGivesTheDataBack) {
  StartNoSound();
  std::vector<int16_t> values = {10, 20, 30, 40, 50, 60};
  SoundSample* s = MonoSample(values, kSoundLoopNormal);
  const int16_t* d = reinterpret_cast<const int16_t*>(s->data);
  EXPECT_EQ(d[6], 10);  // after the last frame: the loop's first
  SoundSampleSetLoopMode(s, kSoundLoopBidi);
  EXPECT_EQ(d[6], 60);
  SoundSampleSetLoopMode(s, kSoundLoopOff);
  EXPECT_EQ(d[6], 0);
  // An inner loop pads inside the data; the frame comes back when the loop changes.
  SoundSampleSetLoopMode(s, kSoundLoopNormal);
  SoundSampleSetLoopPoints(s, 1, 3);
  EXPECT_EQ(d[4], 20);
  SoundSampleSetLoopMode(s, kSoundLoopOff);
  EXPECT_EQ(d[4], 50);
  SoundSampleSetLoopMode(s, kSoundLoopBidi);
  EXPECT_EQ(d[4], 40);
  // A lock shows the real data; the unlock pads again.
  void *p1, *p2;
  uint32_t l1, l2;
  ASSERT_TRUE(SoundSampleLock(s, 0, 12, &p1, &p2, &l1, &l2));
  EXPECT_EQ(static_cast<int16_t*>(p1)[4], 50);
  static_cast<int16_t*>(p1)[3] = 44;
  SoundSampleUnlock(s, p1, p2, l1, l2);
  EXPECT_EQ(d[4], 44);
  SoundSampleSetLoopPoints(s, 0, 5);
  EXPECT_EQ(d[4], 50);
}

TEST_F(SoundTest, LocksWrapAndAreClamped) {
  StartNoSound();
  SoundSample* s = SoundSampleAlloc(-1, 16, kSound16Bits | kSoundStereo, 44100, 255, 128, 255);  // 64 bytes
  void *p1, *p2;
  uint32_t l1, l2;
  ASSERT_TRUE(SoundSampleLock(s, 4, 100, &p1, &p2, &l1, &l2));
  EXPECT_EQ(p1, s->data + 4);
  EXPECT_EQ(l1, 60u);
  EXPECT_EQ(p2, s->data);
  EXPECT_EQ(l2, 4u);
  SoundSampleUnlock(s, p1, p2, l1, l2);
  ASSERT_TRUE(SoundSampleLock(s, 8, 8, &p1, &p2, &l1, &l2));
  EXPECT_EQ(p2, nullptr);
  EXPECT_EQ(l2, 0u);
  // The total byte count passes the check but is no place to lock; one more is refused.
  EXPECT_FALSE(SoundSampleLock(s, 64, 4, &p1, &p2, &l1, &l2));
  EXPECT_EQ(SoundGetError(), kSoundOk);
  EXPECT_FALSE(SoundSampleLock(s, 65, 4, &p1, &p2, &l1, &l2));
  EXPECT_EQ(SoundGetError(), kSoundErrInvalidParam);
  EXPECT_EQ(p1, nullptr);
  EXPECT_EQ(l1, 0u);
}

TEST_F(SoundTest, UploadConvertsUnsignedAndDeltaData) {
  StartNoSound();
  SoundSample* s = SoundSampleAlloc(-1, 4, kSound8Bits, 44100, 255, 128, 255);
  const uint8_t raw[4] = {0x80, 0x81, 0x7F, 0x00};
  SoundSampleUpload(s, raw, kSound8Bits | kSoundUnsigned);
  EXPECT_EQ(int8_t(s->data[0]), 0);
  EXPECT_EQ(int8_t(s->data[1]), 1);
  EXPECT_EQ(int8_t(s->data[3]), -128);
  const uint8_t delta[4] = {5, 5, 0xFF, 3};
  SoundSampleUpload(s, delta, kSound8Bits | kSoundDelta);
  EXPECT_EQ(s->data[0], 5);
  EXPECT_EQ(s->data[1], 10);
  EXPECT_EQ(s->data[2], 9);
  EXPECT_EQ(s->data[3], 12);
  // A wider mode than the sample's never writes past it.
  uint16_t wide[8] = {};
  EXPECT_TRUE(SoundSampleUpload(s, wide, kSound16Bits | kSoundStereo));
  EXPECT_FALSE(SoundSampleUpload(s, delta, kSound8Bits | kSoundPacked));  // packed needs a size
}

TEST_F(SoundTest, RawFilesAndMemoryLoad) {
  StartNoSound();
  TempDir dir;
  std::string path = dir.path() + "/ten.raw";
  FILE* f = std::fopen(path.c_str(), "wb");
  const char bytes[10] = {1, 0, 2, 0, 3, 0, 4, 0, 5, 0};
  std::fwrite(bytes, 1, 10, f);
  std::fclose(f);
  SoundSample* s = SoundSampleLoadRaw(-1, path.c_str(), kSound16Bits | kSoundStereo);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SoundSampleGetLength(s), 2u);
  EXPECT_EQ(SoundSampleGetName(s), path);
  SoundSample* m = SoundSampleLoad(-1, bytes, kSoundRaw | kSoundMemory | kSound8Bits, 10);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(SoundSampleGetLength(m), 10u);
  EXPECT_STREQ(SoundSampleGetName(m), "Memory file");
  EXPECT_EQ(SoundSampleLoadRaw(-1, (dir.path() + "/missing.raw").c_str(), kSound8Bits), nullptr);
  EXPECT_EQ(SoundGetError(), kSoundErrFileOpen);
  // Past the size of a sample (a sparse file): the memory error is the size limit.
  const std::string huge = dir.path() + "/huge.raw";
  std::FILE* h = std::fopen(huge.c_str(), "wb");
  ASSERT_TRUE(h && ftruncate(fileno(h), (int64_t(1) << 30) + 8) == 0);
  std::fclose(h);
  ClearSizeLimitNote();
  EXPECT_EQ(SoundSampleLoadRaw(-1, huge.c_str(), kSound8Bits), nullptr);
  EXPECT_EQ(SoundGetError(), kSoundErrMemory);
  EXPECT_TRUE(SoundErrorWasSizeLimit());
  // So is a WAV whose data is past it; the next load starts without that note.
  const auto le = [](uint32_t v, int bytes) {
    std::string out;
    for (int k = 0; k < bytes; ++k) out += char((v >> (8 * k)) & 0xFF);
    return out;
  };
  const uint32_t data = 0x48000000;
  const std::string header = "RIFF" + le(36 + data, 4) + "WAVEfmt " + le(16, 4) + le(1, 2) + le(2, 2) + le(44100, 4) +
                             le(176400, 4) + le(4, 2) + le(16, 2) + "data" + le(data, 4);
  const std::string wav = dir.path() + "/huge.wav";
  std::FILE* w = std::fopen(wav.c_str(), "wb");
  ASSERT_TRUE(w && std::fwrite(header.data(), 1, header.size(), w) == header.size() &&
              ftruncate(fileno(w), int64_t(header.size()) + data) == 0);
  std::fclose(w);
  EXPECT_EQ(SoundSampleLoad(-1, wav.c_str(), 0, 0), nullptr);
  EXPECT_TRUE(SoundErrorWasSizeLimit());
  EXPECT_EQ(SoundSampleLoad(-1, (dir.path() + "/missing.wav").c_str(), 0, 0), nullptr);
  EXPECT_FALSE(SoundErrorWasSizeLimit());
  // And an MP3 whose frames decode past it: a second of silence, over and over (25 MB).
  const std::string second = dir.path() + "/second.mp3", silence = dir.path() + "/silence.wav";
  ASSERT_EQ(std::system(("sox -n -r 44100 -c 2 " + silence + " trim 0 1 2>/dev/null && lame --quiet -m s -b 32 --resample 44.1 " + silence +
                         " " + second).c_str()),
            0);
  std::string one, many;
  ASSERT_TRUE(FsReadHostFile(second, one) && !one.empty());
  while (many.size() < (size_t(25) << 20)) many += one;
  const std::string mp3 = dir.path() + "/long.mp3";
  std::FILE* m3 = std::fopen(mp3.c_str(), "wb");
  ASSERT_TRUE(m3 && std::fwrite(many.data(), 1, many.size(), m3) == many.size());
  std::fclose(m3);
  for (const uint32_t mode : {0u, uint32_t(kSoundMpegAccurate)}) {
    EXPECT_EQ(SoundSampleLoad(-1, mp3.c_str(), mode, 0), nullptr) << mode;
    EXPECT_TRUE(SoundErrorWasSizeLimit()) << mode;
  }
  EXPECT_EQ(SoundSampleLoad(-1, bytes, kSoundMemory, 10), nullptr);
  EXPECT_EQ(SoundGetError(), kSoundErrFileFormat);
  EXPECT_EQ(SoundSampleLoad(-1, bytes, kSoundMemory | kSoundRaw, 0), nullptr);
  EXPECT_EQ(SoundGetError(), kSoundErrInvalidParam);
}

// ---- packed data ----

namespace {
// Writes codes of given widths least significant bit first.
struct BitWriter {
  std::vector<uint8_t> bytes;
  uint64_t bit = 0;
  void Put(uint32_t v, int w) {
    for (int i = 0; i < w; i++, bit++) {
      if (bit / 8 >= bytes.size()) bytes.push_back(0);
      if ((v >> i) & 1) bytes[bit / 8] |= uint8_t(1 << (bit % 8));
    }
  }
};
std::vector<uint8_t> Block(const BitWriter& w) {
  std::vector<uint8_t> out(w.bytes.size() + 2);
  out[0] = uint8_t(w.bytes.size());
  out[1] = uint8_t(w.bytes.size() >> 8);
  for (size_t i = 0; i < w.bytes.size(); i++) out[i + 2] = w.bytes[i];
  return out;
}
}  // namespace

TEST(PackedSamples, NineBitCodesAreSignedByteDeltas) {
  BitWriter w;
  for (uint32_t v : {5u, 0xFEu, 0x80u}) w.Put(v, 9);  // +5, -2, -128
  std::vector<uint8_t> src = Block(w);
  uint8_t out[3];
  EXPECT_TRUE(DecodePackedSamples(src.data(), uint32_t(src.size()), out, 3, false, false));
  EXPECT_EQ(int8_t(out[0]), 5);
  EXPECT_EQ(int8_t(out[1]), 3);
  EXPECT_EQ(int8_t(out[2]), int8_t(3 - 128));
  EXPECT_TRUE(DecodePackedSamples(src.data(), uint32_t(src.size()), out, 3, false, true));
  EXPECT_EQ(int8_t(out[1]), 8);  // second order: 5, 5 + 3
}

TEST(PackedSamples, WidthChangesAndSmallCodes) {
  BitWriter w;
  w.Put(0x100 | 3, 9);  // width (3 + 1) & 255 = 4
  w.Put(7, 4);          // +7
  w.Put(0xE, 4);        // -2
  w.Put(8, 4);          // 2^(4-1): a new width follows in 3 bits: (5) + 1 = 6 >= 4 -> 7
  w.Put(5, 3);
  w.Put(0x7F, 7);       // 7-bit border: (255 >> 2) - 4 = 59 < 127 <= 67? no: a delta of -1
  std::vector<uint8_t> src = Block(w);
  uint8_t out[3];
  EXPECT_TRUE(DecodePackedSamples(src.data(), uint32_t(src.size()), out, 3, false, false));
  EXPECT_EQ(int8_t(out[0]), 7);
  EXPECT_EQ(int8_t(out[1]), 5);
  EXPECT_EQ(int8_t(out[2]), 4);
}

TEST(PackedSamples, BlocksRestartTheirSumsAndDamageStopsCleanly) {
  std::vector<uint8_t> src;
  for (uint32_t n : {32768u, 7232u}) {
    BitWriter w;
    w.Put(1, 9);
    for (uint32_t i = 1; i < n; i++) w.Put(0, 9);
    std::vector<uint8_t> b = Block(w);
    src.insert(src.end(), b.begin(), b.end());
  }
  std::vector<uint8_t> out(40000);
  EXPECT_TRUE(DecodePackedSamples(src.data(), uint32_t(src.size()), out.data(), 40000, false, false));
  EXPECT_EQ(out[0], 1);
  EXPECT_EQ(out[32767], 1);
  EXPECT_EQ(out[32768], 1);  // the second block's sum starts again from its own first delta
  // Cut short: the first block stays, the rest is silence, nothing is read past the end.
  std::vector<uint8_t> cut(src.begin(), src.begin() + 2 + 36864 + 100);
  std::fill(out.begin(), out.end(), 9);
  EXPECT_FALSE(DecodePackedSamples(cut.data(), uint32_t(cut.size()), out.data(), 40000, false, false));
  EXPECT_EQ(out[100], 1);
  EXPECT_EQ(out[39999], 0);
  // A width beyond the widest code is damage.
  BitWriter bad;
  bad.Put(0x100 | 20, 9);
  std::vector<uint8_t> b = Block(bad);
  EXPECT_FALSE(DecodePackedSamples(b.data(), uint32_t(b.size()), out.data(), 4, false, false));
}

TEST(PackedSamples, SixteenBitCodes) {
  BitWriter w;
  w.Put(1000, 17);
  w.Put(0xFFFF, 17);  // -1
  std::vector<uint8_t> src = Block(w);
  int16_t out[2];
  EXPECT_TRUE(DecodePackedSamples(src.data(), uint32_t(src.size()), reinterpret_cast<uint8_t*>(out), 2, true, false));
  EXPECT_EQ(out[0], 1000);
  EXPECT_EQ(out[1], 999);
}
