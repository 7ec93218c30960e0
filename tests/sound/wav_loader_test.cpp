// WAV loading through the file layer, compared with sox's own decodes.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <optional>

#include "sound/engine/files/sound_loaders.h"
#include "tests/sound/mpeg_tools.h"
#include "tests/support/temp_dir.h"

namespace {

std::vector<int16_t> AsPcm16(const SoundFilePcm& pcm) {
  std::vector<int16_t> out;
  if (pcm.mode & kSoundMode8Bits) {
    for (uint8_t b : pcm.data) out.push_back((int16_t)((int8_t)b * 256));
  } else {
    for (size_t i = 0; i + 1 < pcm.data.size(); i += 2) out.push_back((int16_t)(pcm.data[i] | pcm.data[i + 1] << 8));
  }
  return out;
}

bool LoadWav(const std::string& path, SoundFilePcm* pcm) {
  SoundFile* f = SoundFileOpen(path.c_str(), kSoundFileDisk, 0);
  bool ok = f && DecodeWavFileToPcm(f, 0, pcm);
  SoundFileClose(f);
  return ok;
}

struct WavCase {
  const char* name;
  int rate, channels;
  const char* encoding;  // sox output options
  int tolerance;         // 0: exact
  int block_slack;       // samples per channel a padded last block may add
};
void PrintTo(const WavCase& c, std::ostream* os) { *os << c.name; }

class WavVsSox : public testing::TestWithParam<WavCase> {};

TEST_P(WavVsSox, MatchesSoxDecode) {
  const WavCase& c = GetParam();
  TempDir dir;
  const std::string src = dir.File("src.wav"), wav = dir.File("v.wav"), ref = dir.File("ref.raw");
  ASSERT_TRUE(MakeSignal(src, c.rate, c.channels, 0.4));
  ASSERT_TRUE(Shell(std::string("sox -D ") + src + " " + c.encoding + " " + wav));
  ASSERT_TRUE(Shell("sox -D " + wav + " -b 16 -e signed-integer -t raw " + ref));
  SoundFilePcm pcm;
  ASSERT_TRUE(LoadWav(wav, &pcm));
  EXPECT_EQ(pcm.frequency, c.rate);
  EXPECT_EQ(pcm.mode & (kSoundModeMono | kSoundModeStereo), c.channels == 1 ? kSoundModeMono : kSoundModeStereo);
  std::vector<int16_t> ours = AsPcm16(pcm), theirs = ReadPcm16(ref);
  if (c.channels > 2) {  // sox's decode as a 16-bit WAV, mixed down by the PCM path
    const std::string wide = dir.File("ref.wav");
    SoundFilePcm mixed;
    ASSERT_TRUE(Shell("sox -D " + wav + " -b 16 -e signed-integer " + wide));
    ASSERT_TRUE(LoadWav(wide, &mixed));
    theirs = AsPcm16(mixed);
  }
  ASSERT_GE(ours.size(), theirs.size());
  EXPECT_LE(ours.size() - theirs.size(), (size_t)c.block_slack * std::min(c.channels, 2));
  ours.resize(theirs.size());
  PcmDiff d = ComparePcm(ours, theirs);
  EXPECT_LE(d.max_diff, c.tolerance);
  EXPECT_EQ(pcm.loop_end, pcm.Samples() - 1);
}

const WavCase kWavCases[] = {
    {"u8_mono_8k", 8000, 1, "-b 8 -e unsigned-integer", 0, 0},
    {"s16_stereo_44k", 44100, 2, "-b 16", 0, 0},
    {"s24_stereo_48k", 48000, 2, "-b 24", 0, 0},
    {"s32_mono_22k", 22050, 1, "-b 32 -e signed-integer", 0, 0},
    {"float_stereo_32k", 32000, 2, "-b 32 -e floating-point", 1, 0},
    {"double_mono_16k", 16000, 1, "-b 64 -e floating-point", 1, 0},
    {"mulaw_mono_8k", 8000, 1, "-e mu-law", 0, 0},
    {"alaw_stereo_11k", 11025, 2, "-e a-law", 0, 0},
    {"ima_mono_22k", 22050, 1, "-e ima-adpcm", 0, 1017},
    {"ima_stereo_44k", 44100, 2, "-e ima-adpcm", 0, 2041},
    {"ms_mono_12k", 12000, 1, "-e ms-adpcm", 0, 2036},
    {"ms_stereo_24k", 24000, 2, "-e ms-adpcm", 0, 2036},
    {"ms_3ch_8k", 8000, 3, "-e ms-adpcm", 0, 2036},
    {"ms_8ch_8k", 8000, 8, "-e ms-adpcm", 0, 2036},
    {"extensible_s24_stereo", 48000, 2, "-b 24 -t wavpcm", 0, 0},
};
INSTANTIATE_TEST_SUITE_P(Variants, WavVsSox, testing::ValuesIn(kWavCases),
                         [](const testing::TestParamInfo<WavCase>& i) { return std::string(i.param.name); });

// A RIFF file assembled chunk by chunk.
struct Riff {
  std::string body;
  void Chunk(const char* id, const std::string& data, std::optional<int32_t> size = std::nullopt) {
    body += std::string(id, 4);
    uint32_t n = size ? (uint32_t)*size : (uint32_t)data.size();
    body += std::string((const char*)&n, 4);
    body += data;
    if (data.size() & 1) body += '\0';
  }
  std::string File(uint32_t riff_size = 0) const {
    uint32_t n = riff_size ? riff_size : (uint32_t)body.size() + 4;
    return "RIFF" + std::string((const char*)&n, 4) + "WAVE" + body;
  }
};

std::string Le32(uint32_t v) { return std::string((const char*)&v, 4); }
std::string Le16(uint16_t v) { return std::string((const char*)&v, 2); }
std::string PcmFormat(int channels, int bits, int rate) {
  return Le16(1) + Le16((uint16_t)channels) + Le32(rate) + Le32(rate * channels * bits / 8) +
         Le16((uint16_t)(channels * bits / 8)) + Le16((uint16_t)bits);
}
std::string Samples16(int n) {
  std::string s;
  for (int i = 0; i < n; i++) s += Le16((uint16_t)(i * 100));
  return s;
}

SoundFile* Memory(const std::string& s) { return SoundFileOpen(s.data(), kSoundFileMemory, (uint32_t)s.size()); }

TEST(RiffWalk, CuesLabelsLoopsAndFormatBlock) {
  Riff r;
  r.Chunk("fmt ", PcmFormat(1, 16, 22050));  // 16 bytes: the block grows to 18 with extra size 0
  std::string cue = Le32(2);
  for (uint32_t i = 0; i < 2; i++) cue += Le32(i + 1) + Le32(0) + "data" + Le32(0) + Le32(0) + Le32(100 * (i + 1));
  r.Chunk("cue ", cue);
  r.Chunk("LIST", "adtl" + std::string("labl") + Le32(4 + 6) + Le32(2) + "second" + std::string("labl") + Le32(4 + 4) +
                      Le32(9) + "none" + std::string("labl") + Le32(4 + 300) + Le32(1) + std::string(300, 'L'));
  std::string smpl(36, '\0');
  smpl += Le32(1) + Le32(0) + Le32(10) + Le32(40) + Le32(0) + Le32(0);
  r.Chunk("smpl", smpl);
  r.Chunk("data", Samples16(64));
  const std::string file = r.File();
  SoundFile* f = Memory(file);
  std::vector<uint8_t> fmt;
  int64_t offset = 0;
  uint32_t length = 0;
  SoundCueList cues;
  SoundLoopPoints loop;
  ASSERT_TRUE(ParseRiffWave(f, &fmt, &offset, &length, &cues, &loop));
  EXPECT_EQ(fmt.size(), 18u);
  EXPECT_EQ(WaveFormatFrom(fmt).extra_size, 0);
  EXPECT_EQ(length, 128u);
  EXPECT_EQ(file.substr((size_t)offset, 4), Samples16(2));
  ASSERT_EQ(cues.count, 2);
  EXPECT_EQ(cues.entries[0].offset, 100u);
  EXPECT_EQ(cues.entries[1].offset, 200u);
  EXPECT_EQ(std::string(cues.entries[0].label), std::string(255, 'L'));  // cut to the field
  EXPECT_STREQ(cues.entries[1].label, "second");
  EXPECT_EQ(loop.start, 10);
  EXPECT_EQ(loop.end, 40);
  SoundFilePcm pcm;
  ASSERT_TRUE(DecodeWavFileToPcm(f, 0, &pcm));
  EXPECT_TRUE(pcm.loop_from_file);
  EXPECT_EQ(pcm.loop_start, 10);
  SoundFileClose(f);
}

TEST(RiffWalk, DamagedSizesAndMissingChunks) {
  SoundFilePcm pcm;
  {  // a data chunk claiming more than the file holds is cut to the bytes present
    Riff r;
    r.Chunk("fmt ", PcmFormat(2, 16, 44100));
    r.Chunk("data", Samples16(10), 1 << 30);
    const std::string s = r.File();
    SoundFile* f = Memory(s);
    ASSERT_TRUE(DecodeWavFileToPcm(f, 0, &pcm));
    EXPECT_EQ(pcm.data.size(), 20u);
    SoundFileClose(f);
  }
  {  // smpl loop 0..0 keeps the whole sample; a cue count beyond its chunk is cut
    Riff r;
    r.Chunk("fmt ", PcmFormat(1, 8, 8000));
    r.Chunk("cue ", Le32(1000000) + std::string(24, '\0'));
    r.Chunk("smpl", std::string(60, '\0'));
    r.Chunk("data", std::string(30, '\x80'));
    const std::string s = r.File();
    SoundFile* f = Memory(s);
    SoundCueList cues;
    ASSERT_TRUE(ParseRiffWave(f, nullptr, nullptr, nullptr, &cues, nullptr));
    EXPECT_EQ(cues.count, 1);
    ASSERT_TRUE(DecodeWavFileToPcm(f, 0, &pcm));
    EXPECT_FALSE(pcm.loop_from_file);
    EXPECT_EQ(pcm.loop_end, 29);
    EXPECT_EQ(pcm.data[0], 0);  // unsigned 0x80 became signed 0
    SoundFileClose(f);
  }
  struct {
    const char* name;
    std::string file;
    int error;
    std::string damage;
  } bad[] = {
      {"not RIFF", "RIFX" + std::string(40, '\0'), 10, ""},
      {"no format", [] { Riff r; r.Chunk("data", Samples16(4)); return r.File(); }(), 11, "no format chunk"},
      {"no data", [] { Riff r; r.Chunk("fmt ", PcmFormat(1, 16, 8000)); return r.File(); }(), 11, "no data chunk"},
      {"short format", [] { Riff r; r.Chunk("fmt ", PcmFormat(1, 16, 8000).substr(0, 10)); r.Chunk("data", Samples16(4)); return r.File(); }(), 11,
       "a format chunk of 10 bytes, shorter than its fields"},
      {"negative size", [] { Riff r; r.Chunk("fmt ", PcmFormat(1, 16, 8000)); r.Chunk("junk", "", -8); r.Chunk("data", Samples16(4)); return r.File(); }(), 11,
       "a chunk runs past the end of the file before the data chunk"},
      {"unknown codec", [] { Riff r; std::string f = PcmFormat(1, 16, 8000); f[0] = 0x55; r.Chunk("fmt ", f); r.Chunk("data", Samples16(4)); return r.File(); }(), 10, ""},
      {"no whole sample", [] { Riff r; r.Chunk("fmt ", PcmFormat(2, 16, 8000)); r.Chunk("data", "abc"); return r.File(); }(), 11,
       "the data chunk holds no whole sample"},
      {"rate past the limit", [] { Riff r; r.Chunk("fmt ", PcmFormat(1, 16, 21474837)); r.Chunk("data", Samples16(4)); return r.File(); }(), 10, ""},
  };
  for (auto& b : bad) {
    SoundFilesBeginLoad();
    SoundFile* f = Memory(b.file);
    EXPECT_FALSE(DecodeWavFileToPcm(f, 0, &pcm)) << b.name;
    EXPECT_EQ(SoundFiles().last_error, b.error) << b.name;
    EXPECT_EQ(SoundFiles().damage, b.damage) << b.name;
    SoundFileClose(f);
    // A walk that fails gives no format.
    f = Memory(b.file);
    std::vector<uint8_t> fmt;
    if (!ParseRiffWave(f, &fmt, nullptr, nullptr, nullptr, nullptr)) {
      EXPECT_TRUE(fmt.empty()) << b.name;
    }
    SoundFileClose(f);
  }
}

// Sample encodings a WAV may hold, written from a value of full scale 1.
enum class Enc { U8, S16, S24, S32, F32, F64, Ext16, ExtMask4 };
std::string EncodeSample(Enc e, double v) {
  switch (e) {
    case Enc::U8: return std::string(1, (char)(uint8_t)(128 + std::lround(v * 127)));
    case Enc::S24: { const int32_t x = (int32_t)std::lround(v * 8388607); return std::string((const char*)&x, 3); }
    case Enc::S32: return Le32((uint32_t)(int32_t)std::lround(v * 2147483647.0));
    case Enc::F32: { const float f = (float)v; return std::string((const char*)&f, 4); }
    case Enc::F64: return std::string((const char*)&v, 8);
    default: return Le16((uint16_t)(int16_t)std::lround(v * 32767));
  }
}
std::string FormatBlock(Enc e, int channels, int rate) {
  const int bits = e == Enc::U8 ? 8 : e == Enc::S24 ? 24 : e == Enc::S32 || e == Enc::F32 ? 32 : e == Enc::F64 ? 64 : 16;
  const uint16_t tag = e == Enc::F32 || e == Enc::F64 ? 3 : 1;
  const bool ext = e == Enc::Ext16 || e == Enc::ExtMask4;
  const int align = channels * bits / 8;
  std::string f = Le16(ext ? 0xFFFE : tag) + Le16((uint16_t)channels) + Le32(rate) + Le32(rate * align) +
                  Le16((uint16_t)align) + Le16((uint16_t)bits);
  // Mask 0: the usual layout; 0x107: front left, right and centre, then back centre.
  if (ext) f += Le16(22) + Le16((uint16_t)bits) + Le32(e == Enc::ExtMask4 ? 0x107 : 0) + Le16(1) + std::string(14, '\x10');
  return f;
}

// Where a channel of each count is heard after the mixdown to stereo: L, R, B (both alike) or
// nothing (the low-frequency channel); the usual layouts of 3 to 8 channels.
const char* const kHeard[9] = {"", "", "LR", "LRB", "LRLR", "LRBLR", "LRB-LR", "LRB-BLR", "LRB-LRLR"};

TEST(WavChannels, EveryCountAndEncodingLoadsAsMonoOrStereoWithEachChannelHeardOnItsSide) {
  const Enc encodings[] = {Enc::U8, Enc::S16, Enc::S24, Enc::S32, Enc::F32, Enc::F64, Enc::Ext16, Enc::ExtMask4};
  constexpr int kFrames = 4;
  for (Enc e : encodings) {
    for (int channels = 1; channels <= 8; channels++) {
      if (e == Enc::ExtMask4 && channels != 4) continue;
      SCOPED_TRACE(testing::Message() << "encoding " << (int)e << ", " << channels << " channels");
      // Segment k sounds on channel k alone.
      std::string data;
      for (int k = 0; k < channels; k++)
        for (int f = 0; f < kFrames; f++)
          for (int c = 0; c < channels; c++) data += EncodeSample(e, c == k ? 0.5 : 0.0);
      Riff r;
      r.Chunk("fmt ", FormatBlock(e, channels, 22050));
      r.Chunk("data", data);
      const std::string file = r.File();
      SoundFile* f = Memory(file);
      SoundFilePcm pcm;
      ASSERT_TRUE(DecodeWavFileToPcm(f, 0, &pcm));
      SoundFileClose(f);
      const int out = channels == 1 ? 1 : 2;
      EXPECT_EQ(pcm.mode & (kSoundModeMono | kSoundModeStereo), out == 1 ? kSoundModeMono : kSoundModeStereo);
      EXPECT_EQ(pcm.frequency, 22050);
      const std::vector<int16_t> v = AsPcm16(pcm);
      ASSERT_EQ(v.size(), (size_t)(channels * kFrames * out));
      const std::string heard = channels <= 2 ? std::string("LR").substr(0, (size_t)channels)
                                : e == Enc::ExtMask4 ? "LRBB" : kHeard[channels];
      for (int k = 0; k < channels; k++) {
        const int16_t l = v[(size_t)k * kFrames * out], right = out == 2 ? v[(size_t)k * kFrames * out + 1] : l;
        const char side = heard[(size_t)k];
        SCOPED_TRACE(testing::Message() << "channel " << k << " heard " << side << ": " << l << ", " << right);
        EXPECT_LE(std::max(std::abs(l), std::abs(right)), 16384 + 256);  // never louder than its source
        if (channels <= 2) {
          EXPECT_NEAR(side == 'R' ? right : l, 16384, 256);
          if (out == 2) {
            EXPECT_EQ(side == 'R' ? l : right, 0);
          }
        } else {
          EXPECT_EQ(l > 0, side == 'L' || side == 'B');
          EXPECT_EQ(right > 0, side == 'R' || side == 'B');
          if (side == 'B') {
            EXPECT_EQ(l, right);
          }
        }
      }
    }
  }
}

TEST(WavChannels, Rf64IsReadThroughItsSizeChunk) {
  // The sizes stand in "ds64"; the RIFF and data sizes say 0xFFFFFFFF.
  const std::string data = Samples16(6);
  std::string ds64 = Le32(0) + Le32(0) + Le32((uint32_t)data.size()) + Le32(0) + Le32(6) + Le32(0) + Le32(0);
  Riff r;
  r.Chunk("ds64", ds64);
  r.Chunk("fmt ", PcmFormat(1, 16, 8000));
  r.Chunk("data", data, -1);
  r.Chunk("LIST", "INFOjunk");  // a chunk after the data: the data's true size is needed to step past it
  std::string file = r.File();
  file.replace(0, 4, "RF64");
  file.replace(4, 4, Le32(0xFFFFFFFF));
  file.replace(20, 8, Le32((uint32_t)file.size() - 8) + Le32(0));  // ds64's RIFF size
  SoundFile* f = Memory(file);
  SoundFilePcm pcm;
  ASSERT_TRUE(DecodeWavFileToPcm(f, 0, &pcm));
  SoundFileClose(f);
  EXPECT_EQ(AsPcm16(pcm), (std::vector<int16_t>{0, 100, 200, 300, 400, 500}));
}

// A well-formed file the reader does not take is refused with what it is.
TEST(WavChannels, RefusalsNameWhatIsNotSupported) {
  const auto wav = [](std::string format, const std::string& data = Samples16(8)) {
    Riff r;
    r.Chunk("fmt ", format);
    r.Chunk("data", data);
    return r.File();
  };
  std::string nine = PcmFormat(9, 16, 8000), twelve = PcmFormat(1, 12, 8000), gsm = PcmFormat(1, 16, 8000),
              half = PcmFormat(1, 16, 8000);
  gsm[0] = 0x31;
  half[0] = 3;  // 16-bit float
  Riff rmid;
  rmid.Chunk("data", "MThd");
  std::string midi = rmid.File();
  midi.replace(8, 4, "RMID");
  const struct {
    std::string file, what;
  } cases[] = {
      {wav(nine, Samples16(18)), "a WAV of 9 channels (1 to 8 are read)"},
      {wav(twelve), "a 12-bit PCM WAV (8, 16, 24 and 32 bits are read)"},
      {wav(gsm), "a WAV of encoding 0x0031"},
      {wav(half), "a 16-bit float WAV (32 and 64 bits are read)"},
      {wav(PcmFormat(1, 16, 21474837)), "a WAV of 21474837 Hz (at most 1000000)"},
      {midi, "MIDI music"},
  };
  for (const auto& c : cases) {
    SoundFiles().unsupported.clear();
    SoundFile* f = Memory(c.file);
    SoundFilePcm pcm;
    EXPECT_FALSE(DecodeWavFileToPcm(f, 0, &pcm)) << c.what;
    SoundFileClose(f);
    EXPECT_EQ(SoundFiles().last_error, 10) << c.what;
    EXPECT_EQ(SoundFiles().unsupported, c.what);
  }
}

TEST(RiffWalk, OddSizedChunkIsFollowedByItsPadByte) {
  Riff r;
  r.Chunk("fmt ", PcmFormat(1, 16, 8000));
  r.Chunk("note", "odd");  // three bytes and a pad byte
  r.Chunk("data", Samples16(6));
  const std::string s = r.File();
  SoundFile* f = Memory(s);
  SoundFilePcm pcm;
  ASSERT_TRUE(DecodeWavFileToPcm(f, 0, &pcm));
  EXPECT_EQ(AsPcm16(pcm), (std::vector<int16_t>{0, 100, 200, 300, 400, 500}));
  SoundFileClose(f);
}

// A file of the header followed by a hole the file system does not store.
void WriteSparse(const std::string& path, const std::string& head, uint64_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(head.data(), 1, head.size(), f);
  std::fclose(f);
  ASSERT_EQ(truncate(path.c_str(), (off_t)size), 0);
}

TEST(SoundFileLayer, SourcesDecodingPastTheSampleLimitAreRefusedUnread) {
  TempDir dir;
  // 1.2 GB of 16-bit stereo PCM.
  Riff wav;
  wav.Chunk("fmt ", PcmFormat(2, 16, 44100));
  const std::string head = wav.File(0x48000024u) + "data" + Le32(0x48000000u);
  WriteSparse(dir.File("big.wav"), head, head.size() + 0x48000000u);
  // 17 MB of the smallest layer II frames (MPEG-2, 8 kbit/s, 16000 Hz, stereo): 72 bytes that
  // decode to 4608.
  std::string frame(72, '\0');
  frame[0] = '\xFF', frame[1] = '\xF5', frame[2] = '\x18', frame[3] = '\x00';
  std::string frames;
  for (int k = 0; k < 240000; k++) frames += frame;
  dir.Write("tiny.mp2", frames);
  const struct {
    const char* file;
    bool (*decode)(SoundFile*, uint32_t, SoundFilePcm*);
  } cases[] = {{"big.wav", DecodeWavFileToPcm}, {"tiny.mp2", DecodeMpegFileToPcm}};
  for (const auto& c : cases) {
    SoundFile* f = SoundFileOpen(dir.File(c.file).c_str(), kSoundFileDisk, 0);
    ASSERT_NE(f, nullptr) << c.file;
    SoundFiles().last_error = 0;
    SoundFilePcm pcm;
    EXPECT_FALSE(c.decode(f, 0, &pcm)) << c.file;
    EXPECT_EQ(SoundFiles().last_error, 12) << c.file;
    EXPECT_EQ(pcm.data.capacity(), 0u) << c.file;
    SoundFileClose(f);
  }
}

TEST(SoundFileLayer, NamedFileMustBeRegular) {
  TempDir dir;
  const std::string pipe = dir.File("pipe");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  const int keep = open(pipe.c_str(), O_RDWR | O_NONBLOCK);  // a writer, so a plain open would not wait
  ASSERT_GE(keep, 0);
  SoundFile* f = SoundFileOpen(pipe.c_str(), kSoundFileDisk, 0);
  EXPECT_EQ(f, nullptr);
  SoundFileClose(f);
  close(keep);
}

TEST(SoundFileLayer, MemoryAndStdioSources) {
  const std::string data = "0123456789";
  SoundFile* m = Memory(data);
  char buf[16] = {};
  EXPECT_EQ(SoundFileSeek(m, 7, 0), 7);
  EXPECT_EQ(SoundFileRead(buf, 10, m), 3u);  // only the bytes left
  EXPECT_EQ(SoundFileSeek(m, -5, 2), 10);   // from the end: the offset is ignored
  EXPECT_EQ(SoundFileSeek(m, -50, 1), 0);   // before the start lands on 0
  EXPECT_EQ(SoundFileReadByte(m), '0');
  EXPECT_EQ(SoundFileSeek(m, 0, 3), -1);
  SoundFileClose(m);

  TempDir dir;
  dir.Write("f.bin", "xxxx" + data);
  FILE* fp = std::fopen(dir.File("f.bin").c_str(), "rb");
  std::fseek(fp, 4, SEEK_SET);
  SoundFile* s = SoundFileOpen(fp, kSoundFileStdio, 0);
  EXPECT_EQ(SoundFileSeek(s, 2, 0), 0);  // relative to where the stream stood
  EXPECT_EQ(SoundFileTell(s), 6u);       // but told as the absolute position
  EXPECT_EQ(SoundFileReadByte(s), '2');
  SoundFileClose(s);  // the caller's stream stays open
  EXPECT_EQ(std::fgetc(fp), '3');
  std::fclose(fp);
  EXPECT_EQ(SoundFileOpen(nullptr, kSoundFileDisk, 0), nullptr);
  EXPECT_EQ(SoundFileOpen(dir.File("missing").c_str(), kSoundFileDisk, 0), nullptr);
}

struct UserFile {
  std::string data;
  size_t pos = 0;
};
UserFile g_user;

TEST(SoundFileLayer, UserProceduresServeNamedFiles) {
  SoundUserFileProcs procs;
  procs.open = [](const char* name) -> void* { return std::strcmp(name, "song") == 0 ? &g_user : nullptr; };
  procs.close = [](void*) {};
  procs.read = [](void* b, uint32_t n, void* h) -> uint32_t {
    UserFile* u = (UserFile*)h;
    uint32_t k = (uint32_t)std::min<size_t>(n, u->data.size() - u->pos);
    std::memcpy(b, u->data.data() + u->pos, k);
    u->pos += k;
    return k;
  };
  procs.seek = [](void* h, int32_t off, int32_t origin) -> int32_t {
    UserFile* u = (UserFile*)h;
    u->pos = origin == 0 ? off : origin == 1 ? u->pos + off : u->data.size() + off;
    return 0;
  };
  procs.tell = [](void* h) -> int32_t { return (int32_t)((UserFile*)h)->pos; };
  Riff r;
  r.Chunk("fmt ", PcmFormat(1, 16, 8000));
  r.Chunk("data", Samples16(8));
  g_user.data = r.File();
  SoundFileSetUserProcs(procs);
  SoundFile* f = SoundFileOpen("song", kSoundFileDisk, 0);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->kind, kSoundFileUser);
  SoundFilePcm pcm;
  EXPECT_TRUE(DecodeWavFileToPcm(f, 0, &pcm));
  EXPECT_EQ(pcm.data.size(), 16u);
  SoundFileClose(f);
  EXPECT_EQ(SoundFileOpen("other", kSoundFileDisk, 0), nullptr);
  SoundFilesReset();
}

}  // namespace
