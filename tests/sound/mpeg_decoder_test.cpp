#include <gtest/gtest.h>

#include "sound/engine/files/sound_loaders.h"
#include "sound/engine/mpeg/mpeg_decoder.h"
#include "tests/sound/mpeg_tools.h"
#include "tests/support/temp_dir.h"

// Decodes a bare MPEG audio file frame by frame, searching for the next header on a refusal.
std::vector<int16_t> DecodeFrames(const std::vector<uint8_t>& data) {
  MpegDecoder* dec = new MpegDecoder;
  MpegDecoderReset(dec);
  std::vector<int16_t> pcm;
  int16_t buf[kMpegMaxFrameOutput / 2];
  size_t pos = 0;
  while (pos + 4 <= data.size()) {
    int body = 0;
    if (!MpegParseHeader(dec, &data[pos], nullptr, nullptr, &body) || pos + 4 + body > data.size()) {
      dec->pending_size = 0;
      pos++;
      continue;
    }
    int bytes = 0;
    if (MpegDecodeFrame(dec, &data[pos], data.size() - pos, buf, &bytes)) pcm.insert(pcm.end(), buf, buf + bytes / 2);
    pos += 4 + body;
  }
  delete dec;
  return pcm;
}

std::vector<int16_t> LoadMpeg(const std::string& path, uint32_t mode) {
  SoundFile* f = SoundFileOpen(path.c_str(), kSoundFileDisk, 0);
  SoundFilePcm pcm;
  bool ok = f && DecodeMpegFileToPcm(f, mode, &pcm);
  SoundFileClose(f);
  if (!ok) return {};
  std::vector<int16_t> out(pcm.data.size() / 2);
  for (size_t i = 0; i < out.size(); i++) out[i] = (int16_t)(pcm.data[2 * i] | pcm.data[2 * i + 1] << 8);
  return out;
}

namespace {

struct Case {
  const char* name;
  int rate, channels, layer;
  std::string encode;  // %i input, %o output
};
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

std::string Fill(std::string s, const std::string& in, const std::string& out) {
  for (size_t p; (p = s.find("%i")) != std::string::npos;) s.replace(p, 2, in);
  for (size_t p; (p = s.find("%o")) != std::string::npos;) s.replace(p, 2, out);
  return s;
}

class MpegDecodeVsReference : public testing::TestWithParam<Case> {};

TEST_P(MpegDecodeVsReference, MatchesFfmpeg) {
  const Case& c = GetParam();
  TempDir dir;
  const std::string src = dir.File("src.wav"), enc = dir.File("enc.mpa");
  ASSERT_TRUE(MakeSignal(src, c.rate, c.channels));
  ASSERT_TRUE(Shell(Fill(c.encode, src, enc))) << c.encode;
  std::vector<int16_t> ref = FfmpegDecode(enc, c.layer);
  ASSERT_FALSE(ref.empty());
  std::vector<int16_t> ours = LoadMpeg(enc, kSoundModeExactMpeg);
  PcmDiff d = ComparePcm(ours, ref);
  EXPECT_EQ(d.count_a, d.count_b);
  EXPECT_LE(d.max_diff, 2);
  EXPECT_LT(d.rms, 0.5);
  std::printf("[ %-24s ] samples %zu max %d rms %.3f\n", c.name, d.count_a, d.max_diff, d.rms);
}

const Case kCases[] = {
    {"l3_44k_joint_128", 44100, 2, 3, "lame -t --quiet -b 128 -m j %i %o"},
    {"l3_44k_stereo_crc", 44100, 2, 3, "lame -t --quiet -b 192 -m s -p %i %o"},
    {"l3_48k_vbr", 48000, 2, 3, "lame -t --quiet -V 2 %i %o"},
    {"l3_32k_mono", 32000, 1, 3, "lame -t --quiet -b 64 -m m %i %o"},
    {"l3_44k_dual", 44100, 2, 3, "lame -t --quiet -b 160 -m d %i %o"},
    {"l3_22k_joint", 22050, 2, 3, "lame -t --quiet -b 64 -m j %i %o"},
    {"l3_24k_vbr", 24000, 2, 3, "lame -t --quiet -V 4 %i %o"},
    {"l3_16k_mono", 16000, 1, 3, "lame -t --quiet -b 32 -m m %i %o"},
    {"l3_11k_joint", 11025, 2, 3, "lame -t --quiet -b 32 -m j %i %o"},
    {"l3_12k_stereo_crc", 12000, 2, 3, "lame -t --quiet -b 48 -m s -p %i %o"},
    {"l3_8k_mono_vbr", 8000, 1, 3, "lame -t --quiet -V 5 -m m %i %o"},
    {"l3_ffmpeg_44k", 44100, 2, 3, "ffmpeg -v error -y -i %i -c:a libmp3lame -b:a 128k -write_xing 0 -f mp3 %o"},
    {"l2_44k_joint_192", 44100, 2, 2, "twolame --quiet -b 192 -m j %i %o"},
    {"l2_48k_stereo_crc", 48000, 2, 2, "twolame --quiet -b 256 -m s -p %i %o"},
    {"l2_32k_dual", 32000, 2, 2, "twolame --quiet -b 192 -m d %i %o"},
    {"l2_44k_mono_low", 44100, 1, 2, "twolame --quiet -b 48 -m m %i %o"},
    {"l2_32k_mono_low", 32000, 1, 2, "twolame --quiet -b 32 -m m %i %o"},
    {"l2_22k_joint", 22050, 2, 2, "twolame --quiet -b 96 -m j %i %o"},
    {"l2_16k_mono_crc", 16000, 1, 2, "twolame --quiet -b 48 -m m -p %i %o"},
    {"l2_44k_stereo_160", 44100, 2, 2, "twolame --quiet -b 160 -m s %i %o"},
    {"l2_44k_mono_80", 44100, 1, 2, "twolame --quiet -b 80 -m m %i %o"},
    {"l2_44k_padded", 44100, 2, 2, "twolame --quiet -b 192 -m j -d %i %o"},
    {"l2_ffmpeg_48k", 48000, 2, 2, "ffmpeg -v error -y -i %i -c:a mp2 -b:a 192k -f mp2 %o"},
};

INSTANTIATE_TEST_SUITE_P(Files, MpegDecodeVsReference, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& i) { return std::string(i.param.name); });

}  // namespace
