// Header checks, damaged frames, tags and wrappers around MPEG audio data.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "sound/engine/files/sound_loaders.h"
#include "tests/sound/mpeg_tools.h"
#include "tests/support/temp_dir.h"

namespace {

std::vector<uint8_t> Header(int version, int layer_bits, int bitrate, int rate, int pad, int mode, bool crc = false) {
  uint32_t h = 0xFFE00000u | (uint32_t)version << 19 | (uint32_t)layer_bits << 17 | (crc ? 0u : 1u) << 16 |
               (uint32_t)bitrate << 12 | (uint32_t)rate << 10 | (uint32_t)pad << 9 | (uint32_t)mode << 6;
  return {(uint8_t)(h >> 24), (uint8_t)(h >> 16), (uint8_t)(h >> 8), (uint8_t)h};
}

// An encoded file made at test time: `seconds` of the test signal through `encoder`.
std::vector<uint8_t> Encoded(const TempDir& dir, int rate, int channels, const std::string& encoder,
                             double seconds = 0.5) {
  const std::string src = dir.File("e.wav"), out = dir.File("e.mpa");
  if (!MakeSignal(src, rate, channels, seconds) || !Shell(encoder + " " + src + " " + out)) return {};
  return ReadBytes(out);
}

// Offsets of the frames of a bare stream.
std::vector<size_t> Frames(const std::vector<uint8_t>& data) {
  std::vector<size_t> at;
  MpegDecoder dec;
  for (size_t p = 0; p + 4 <= data.size();) {
    MpegDecoderReset(&dec);
    int body = 0;
    if (!MpegParseHeader(&dec, &data[p], nullptr, nullptr, &body)) break;
    at.push_back(p);
    p += 4 + body;
  }
  return at;
}

void SetBits(std::vector<uint8_t>& d, size_t byte, int bit, int n, uint32_t v) {
  for (int i = 0; i < n; i++) {
    size_t b = bit + i;
    uint8_t mask = (uint8_t)(0x80 >> (b & 7));
    if ((v >> (n - 1 - i)) & 1) d[byte + b / 8] |= mask;
    else d[byte + b / 8] &= (uint8_t)~mask;
  }
}

uint32_t GetBits(const std::vector<uint8_t>& d, size_t byte, int bit, int n) {
  uint32_t v = 0;
  for (int i = 0; i < n; i++) v = v << 1 | ((d[byte + (bit + i) / 8] >> (7 - (bit + i) % 8)) & 1);
  return v;
}

TEST(MpegHeader, RefusesWhatItCannotDecode) {
  struct {
    std::vector<uint8_t> h;
    bool ok;
    int body;
  } cases[] = {
      {Header(3, 2, 8, 0, 0, 0), true, 413},   // layer II, 128 kbit/s, 44100 Hz
      {Header(3, 1, 9, 0, 1, 0), true, 414},   // layer III, 128 kbit/s, padded
      {Header(2, 1, 8, 0, 0, 3), true, 204},   // MPEG-2 layer III, 64 kbit/s, 22050 Hz
      {Header(0, 1, 8, 2, 0, 3), true, 572},   // MPEG 2.5 layer III, 64 kbit/s, 8000 Hz
      {Header(3, 3, 8, 0, 0, 0), false, 0},    // layer I
      {Header(3, 0, 8, 0, 0, 0), false, 0},    // reserved layer
      {Header(3, 2, 8, 3, 0, 0), false, 0},    // sampling index 3
      {Header(3, 2, 0, 0, 0, 0), false, 0},    // free format
      {Header(3, 2, 15, 0, 0, 0), false, 0},   // bitrate index 15
      {{0xFE, 0xFB, 0x90, 0x00}, false, 0},    // no sync byte
  };
  for (auto& c : cases) {
    MpegDecoder dec;
    MpegDecoderReset(&dec);
    int body = -1;
    EXPECT_EQ(MpegParseHeader(&dec, c.h.data(), nullptr, nullptr, &body), c.ok);
    if (c.ok) {
      EXPECT_EQ(body, c.body);
    }
  }
}

TEST(MpegFrames, OutputSizesAndLayerLock) {
  TempDir dir;
  std::vector<uint8_t> stereo = Encoded(dir, 44100, 2, "lame -t --quiet -b 128 -m j");
  std::vector<uint8_t> mono_lsf = Encoded(dir, 22050, 1, "lame -t --quiet -b 32 -m m");
  std::vector<uint8_t> layer2 = Encoded(dir, 44100, 2, "twolame --quiet -b 192");
  ASSERT_FALSE(stereo.empty() || mono_lsf.empty() || layer2.empty());
  MpegDecoder dec;
  MpegDecoderReset(&dec);
  std::vector<int16_t> out(kMpegMaxFrameOutput / 2);
  int bytes = 0;
  ASSERT_TRUE(MpegDecodeFrame(&dec, stereo.data(), stereo.size(), out.data(), &bytes));
  EXPECT_EQ(bytes, 4608);
  EXPECT_FALSE(MpegParseHeader(&dec, layer2.data(), nullptr, nullptr, nullptr));  // locked to layer III
  MpegDecoderReset(&dec);
  ASSERT_TRUE(MpegDecodeFrame(&dec, mono_lsf.data(), mono_lsf.size(), out.data(), &bytes));
  EXPECT_EQ(bytes, 1152);
  // A frame longer than the bytes handed over is not decoded.
  MpegDecoderReset(&dec);
  EXPECT_FALSE(MpegDecodeFrame(&dec, stereo.data(), 100, out.data(), &bytes));
}

TEST(MpegFrames, BadSideInformationWritesNothing) {
  TempDir dir;
  std::vector<uint8_t> mono = Encoded(dir, 44100, 1, "lame -t --quiet -b 96 -m m");
  ASSERT_FALSE(mono.empty());
  // MPEG-1 mono side information: main data begin 9, private 5, scfsi 4, part2_3 12, big values 9.
  SetBits(mono, 4, 30, 9, 289);
  MpegDecoder dec;
  MpegDecoderReset(&dec);
  std::vector<int16_t> out(kMpegMaxFrameOutput / 2, 7);
  int bytes = -1;
  EXPECT_TRUE(MpegDecodeFrame(&dec, mono.data(), mono.size(), out.data(), &bytes));
  EXPECT_EQ(bytes, 0);
  EXPECT_EQ(out[0], 7);
}

TEST(MpegFrames, StreamStartingInsideTheReservoirStillPlays) {
  TempDir dir;
  std::vector<uint8_t> data = Encoded(dir, 44100, 2, "lame -t --quiet -b 64 -m j --resample 44.1", 1.0);
  std::vector<size_t> at = Frames(data);
  size_t cut = 0;
  for (size_t i = 1; i < at.size() && !cut; i++)
    if (GetBits(data, at[i] + 4, 0, 9) > 0) cut = at[i];  // main data begin of the frame
  ASSERT_NE(cut, 0u);
  std::vector<uint8_t> tail(data.begin() + (long)cut, data.end());
  std::vector<int16_t> pcm = DecodeFrames(tail);
  EXPECT_EQ(pcm.size(), Frames(tail).size() * 2304);
}

TEST(MpegFrames, CheckWordIsSkippedNotVerified) {
  TempDir dir;
  std::vector<uint8_t> data = Encoded(dir, 48000, 2, "twolame --quiet -b 192 -p");
  ASSERT_FALSE(data.empty());
  std::vector<int16_t> good = DecodeFrames(data);
  for (size_t p : Frames(data)) data[p + 4] ^= 0xFF;
  EXPECT_EQ(DecodeFrames(data), good);
}

TEST(MpegFrames, FullScaleClipsInsteadOfWrapping) {
  TempDir dir;
  const std::string src = dir.File("loud.wav"), enc = dir.File("loud.mp2");
  ASSERT_TRUE(Shell("sox -R -n -r 44100 -c 1 -b 16 " + src + " synth 0.3 square 200 vol 0.999"));
  ASSERT_TRUE(Shell("twolame --quiet -b 192 -m m " + src + " " + enc));
  std::vector<int16_t> ours = DecodeFrames(ReadBytes(enc)), ref = FfmpegDecode(enc, 2);
  EXPECT_EQ(*std::max_element(ours.begin(), ours.end()), 32767);
  EXPECT_EQ(*std::min_element(ours.begin(), ours.end()), -32768);
  EXPECT_LE(ComparePcm(ours, ref).max_diff, 2);
}

TEST(MpegFrames, DamagedFramesDecodeWithoutFault) {
  TempDir dir;
  for (const char* enc : {"lame -t --quiet -b 128 -m j", "lame -t --quiet -b 32 -m m --resample 8",
                          "twolame --quiet -b 192 -m j"}) {
    std::vector<uint8_t> clean = Encoded(dir, 44100, 2, enc);
    ASSERT_FALSE(clean.empty());
    std::mt19937 rng(7);
    for (int round = 0; round < 20; round++) {
      std::vector<uint8_t> d = clean;
      for (size_t p : Frames(clean))
        for (int k = 0; k < 3; k++) d[p + 4 + rng() % 40] ^= (uint8_t)(1u << (rng() % 8));  // side information
      for (int k = 0; k < 30; k++) d[rng() % d.size()] = (uint8_t)rng();
      DecodeFrames(d);
    }
  }
}

struct LoadCase {
  const char* name;
  std::string prefix;  // bytes placed before the stream
  bool loads;
};

TEST(MpegLoader, TagsWrappersAndTheSearchWindow) {
  TempDir dir;
  const std::string mp3 = dir.File("a.mp3");
  std::vector<uint8_t> data = Encoded(dir, 32000, 2, "lame -t --quiet -b 96 -m s");
  ASSERT_FALSE(data.empty());
  WriteBytes(mp3, data);
  const std::vector<int16_t> plain = LoadMpeg(mp3, kSoundModeExactMpeg);
  ASSERT_FALSE(plain.empty());
  auto id3 = [](uint32_t size) {
    std::string t = "ID3\x03";
    t += '\0';
    t += '\0';
    for (int s = 21; s >= 0; s -= 7) t += (char)((size >> s) & 0x7F);
    return t + std::string(size, 'x');
  };
  const LoadCase cases[] = {
      {"leading TAG block", "TAG" + std::string(125, '\xff'), true},
      {"chained ID3 tags", id3(300) + id3(20), true},
      {"junk within the window", std::string(200, '\x11'), true},
      {"junk past the window", std::string(300, '\x11'), false},
  };
  for (const LoadCase& c : cases) {
    std::vector<uint8_t> file(c.prefix.begin(), c.prefix.end());
    file.insert(file.end(), data.begin(), data.end());
    WriteBytes(mp3, file);
    SoundFiles().last_error = 0;
    EXPECT_EQ(LoadMpeg(mp3, kSoundModeExactMpeg) == plain, c.loads) << c.name;
    EXPECT_EQ(SoundFiles().last_error, c.loads ? 0 : 10) << c.name;
  }
  // A first frame marked dual channel ahead of stereo frames decodes the same: the mode may change per frame.
  std::vector<uint8_t> dual = data;
  SetBits(dual, 3, 0, 2, 2);
  WriteBytes(mp3, dual);
  EXPECT_EQ(LoadMpeg(mp3, kSoundModeExactMpeg), plain);
  // MPEG data inside a RIFF file's data chunk.
  WriteBytes(mp3, data);
  const std::string wav = dir.File("w.wav");
  ASSERT_TRUE(Shell("ffmpeg -v error -y -i " + mp3 + " -c:a copy " + wav));
  EXPECT_EQ(LoadMpeg(wav, 0), plain);
}

TEST(MpegLoader, InformationFrameHoldsNoAudio) {
  TempDir dir;
  const std::string f = dir.File("i.mp3");
  for (const char* encoder : {"lame --quiet -b 128", "lame --quiet -V 2"}) {  // "Info", then "Xing"
    const std::vector<uint8_t> data = Encoded(dir, 44100, 2, encoder);
    const std::vector<size_t> at = Frames(data);
    ASSERT_GT(at.size(), 2u) << encoder;
    WriteBytes(f, std::vector<uint8_t>(data.begin() + (long)at[1], data.end()));
    const std::vector<int16_t> audio = LoadMpeg(f, kSoundModeExactMpeg);
    ASSERT_FALSE(audio.empty()) << encoder;
    WriteBytes(f, data);
    EXPECT_EQ(LoadMpeg(f, kSoundModeExactMpeg), audio) << encoder;
    EXPECT_EQ(LoadMpeg(f, 0), audio) << encoder;
  }
}

TEST(MpegLoader, SecondHeaderMustAgreeWithTheFirst) {
  TempDir dir;
  const std::string f = dir.File("s.mp3");
  const std::vector<uint8_t> data = Encoded(dir, 44100, 2, "lame -t --quiet -b 128");
  const std::vector<size_t> at = Frames(data);
  ASSERT_GT(at.size(), 2u);
  struct Change {
    const char* name;
    size_t byte;
    int bit, n;
    uint32_t value;
  } const changes[] = {{"rate 48000", 2, 4, 2, 1}, {"layer II", 1, 5, 2, 2}};
  for (const Change& c : changes) {
    std::vector<uint8_t> d = data;
    SetBits(d, at[1] + c.byte, c.bit, c.n, c.value);
    WriteBytes(f, d);
    SoundFiles().last_error = 0;
    EXPECT_TRUE(LoadMpeg(f, 0).empty()) << c.name;
    EXPECT_EQ(SoundFiles().last_error, 10) << c.name;
  }
}

// A file of encoded frames followed by a long run of zeros, served without being stored; the
// largest read asked of it is kept.
struct VirtualFile {
  std::vector<uint8_t> head;
  int64_t size = 0, pos = 0;
  uint32_t largest = 0;
} g_virtual;

TEST(MpegLoader, BytesAfterTheLastFrameAreNotRead) {
  TempDir dir;
  g_virtual = VirtualFile{Encoded(dir, 44100, 2, "twolame --quiet -b 192"), 0x30000000};
  ASSERT_FALSE(g_virtual.head.empty());
  WriteBytes(dir.File("head.mp2"), g_virtual.head);
  const std::vector<int16_t> alone = LoadMpeg(dir.File("head.mp2"), 0);
  SoundUserFileProcs procs;
  procs.open = [](const char*) -> void* { return &g_virtual; };
  procs.close = [](void*) {};
  procs.read = [](void* b, uint32_t n, void*) -> uint32_t {
    VirtualFile& v = g_virtual;
    v.largest = std::max(v.largest, n);
    const uint32_t k = (uint32_t)std::min<int64_t>(n, v.size - v.pos);
    for (uint32_t i = 0; i < k; i++, v.pos++)
      ((uint8_t*)b)[i] = v.pos < (int64_t)v.head.size() ? v.head[(size_t)v.pos] : 0;
    return k;
  };
  procs.seek = [](void*, int32_t off, int32_t origin) -> int32_t {
    g_virtual.pos = origin == 0 ? off : origin == 1 ? g_virtual.pos + off : g_virtual.size + off;
    return 0;
  };
  procs.tell = [](void*) -> int32_t { return (int32_t)g_virtual.pos; };
  SoundFileSetUserProcs(procs);
  SoundFile* f = SoundFileOpen("virtual", kSoundFileDisk, 0);
  SoundFilePcm pcm;
  EXPECT_TRUE(f && DecodeMpegFileToPcm(f, 0, &pcm));
  SoundFileClose(f);
  SoundFilesReset();
  EXPECT_EQ(pcm.data.size(), alone.size() * 2);
  EXPECT_LT(g_virtual.largest, 1u << 20);
}

TEST(MpegLoader, RefusesFreeFormatAndStopsAtALayerSwitch) {
  TempDir dir;
  const std::string f = dir.File("f.mp2");
  std::vector<uint8_t> free_format = Encoded(dir, 44100, 2, "twolame --quiet --freeformat -b 192");
  ASSERT_FALSE(free_format.empty());
  WriteBytes(f, free_format);
  EXPECT_TRUE(LoadMpeg(f, 0).empty());
  EXPECT_EQ(SoundFiles().last_error, 10);

  std::vector<uint8_t> l3 = Encoded(dir, 44100, 2, "lame -t --quiet -b 128");
  std::vector<uint8_t> l2 = Encoded(dir, 44100, 2, "twolame --quiet -b 128");
  std::vector<uint8_t> both = l3;
  both.insert(both.end(), l2.begin(), l2.end());
  WriteBytes(f, l3);
  std::vector<int16_t> first = LoadMpeg(f, 0);
  WriteBytes(f, both);
  std::vector<int16_t> mixed = LoadMpeg(f, 0);
  ASSERT_GE(mixed.size(), first.size());
  EXPECT_TRUE(std::equal(first.begin(), first.end(), mixed.begin()));
  EXPECT_TRUE(std::all_of(mixed.begin() + (long)first.size(), mixed.end(), [](int16_t v) { return v == 0; }));
}

TEST(MpegLoader, ProbeReportsFormatLengthAndFrames) {
  TempDir dir;
  const std::string f = dir.File("p.mp3");
  WriteBytes(f, Encoded(dir, 24000, 1, "lame -t --quiet -b 32 -m m --resample 24", 1.0));
  SoundFile* file = SoundFileOpen(f.c_str(), kSoundFileDisk, 0);
  ASSERT_NE(file, nullptr);
  MpegSource src;
  MpegFrameTable table;
  ASSERT_TRUE(ProbeSoundFile(file, kSoundModeExactMpeg, &src, &table, nullptr));
  EXPECT_EQ(src.frequency, 24000);
  EXPECT_EQ(src.mode & kSoundModeFormatBits, kSoundMode16Bits | kSoundModeSigned | kSoundModeMono);
  EXPECT_EQ(src.frame_output, 1152u);
  EXPECT_EQ(src.decoded_length, table.count * 1152u);
  EXPECT_EQ(src.length_ms, (uint32_t)(table.count * 576.0 / 24000 * 1000));
  ASSERT_GT(table.count, 2u);
  EXPECT_EQ(table.offsets[0], 0u);
  FreeSampleMpegDecoder(&src);
  ASSERT_TRUE(ProbeSoundFile(file, 0, &src, nullptr, nullptr));  // estimated length
  EXPECT_NEAR((double)src.decoded_length, table.count * 1152.0, 2 * 1152.0);
  FreeSampleMpegDecoder(&src);
  SoundFileClose(file);
}

}  // namespace
