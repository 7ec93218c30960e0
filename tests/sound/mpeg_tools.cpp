#include "tests/sound/mpeg_tools.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

// The tools read no standard input (an encoder takes it for keys), whatever the suite's is.
bool Shell(const std::string& command) {
  return std::system((command + " </dev/null >/dev/null 2>&1").c_str()) == 0;
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& data) {
  std::ofstream out(path, std::ios::binary);
  out.write((const char*)data.data(), (std::streamsize)data.size());
}

std::vector<int16_t> ReadPcm16(const std::string& path) {
  std::vector<uint8_t> b = ReadBytes(path);
  std::vector<int16_t> pcm(b.size() / 2);
  for (size_t i = 0; i < pcm.size(); i++) pcm[i] = (int16_t)(b[2 * i] | b[2 * i + 1] << 8);
  return pcm;
}

bool MakeSignal(const std::string& path, int rate, int channels, double seconds) {
  const std::string fmt = " -r " + std::to_string(rate) + " -c " + std::to_string(channels) + " -b 16 ";
  const std::string a = path + ".a.wav", b = path + ".b.wav";
  const double top = rate * 0.45;
  bool ok = Shell("sox -R -n" + fmt + a + " synth " + std::to_string(seconds) + " sine 60-" + std::to_string(top) +
                  " pinknoise vol 0.45") &&
            Shell("sox -R -n" + fmt + b + " synth " + std::to_string(seconds / 2) + " square 9 square 13 vol 0.3") &&
            Shell("sox -R " + a + " " + b + " " + path);
  std::remove(a.c_str());
  std::remove(b.c_str());
  return ok;
}

namespace {

void Put(std::vector<uint8_t>* v, uint32_t x, int bytes) {
  for (int i = 0; i < bytes; i++) v->push_back((uint8_t)(x >> (8 * i)));
}

// The stream, less a leading ID3 tag, wrapped in a RIFF WAVE file with rate and channels taken from its first header (empty if none).
// ffmpeg's bare-stream reader drops a first frame whose channel mode differs from the second frame's, though
// both are whole frames; read from RIFF, every frame reaches the decoder.
std::vector<uint8_t> WrapInRiff(std::vector<uint8_t> mpeg, int layer) {
  if (mpeg.size() >= 10 && mpeg[0] == 'I' && mpeg[1] == 'D' && mpeg[2] == '3') {  // leading tag
    const size_t tag = 10 + ((size_t)mpeg[6] << 21 | (size_t)mpeg[7] << 14 | (size_t)mpeg[8] << 7 | mpeg[9]);
    mpeg.erase(mpeg.begin(), mpeg.begin() + (std::ptrdiff_t)std::min(tag, mpeg.size()));
  }
  if (mpeg.size() < 4 || mpeg[0] != 0xFF || (mpeg[1] & 0xE0) != 0xE0) return {};
  static const int kRates[4][3] = {{11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}, {44100, 48000, 32000}};
  const int version = (mpeg[1] >> 3) & 3, index = (mpeg[2] >> 2) & 3;
  if (index == 3 || version == 1) return {};
  const uint32_t rate = (uint32_t)kRates[version][index], channels = (mpeg[3] >> 6) == 3 ? 1 : 2;
  std::vector<uint8_t> out;
  const std::string ids = "RIFF" "WAVE" "fmt " "data";
  out.insert(out.end(), ids.begin(), ids.begin() + 4);
  Put(&out, (uint32_t)(4 + 8 + 16 + 8 + mpeg.size()), 4);
  out.insert(out.end(), ids.begin() + 4, ids.begin() + 12);
  Put(&out, 16, 4);
  Put(&out, layer == 2 ? 0x50 : 0x55, 2);
  Put(&out, channels, 2);
  Put(&out, rate, 4);
  Put(&out, 16000, 4);  // nominal byte rate; the decoder reads the real one from each header
  Put(&out, 1, 2);
  Put(&out, 0, 2);
  out.insert(out.end(), ids.begin() + 12, ids.end());
  Put(&out, (uint32_t)mpeg.size(), 4);
  out.insert(out.end(), mpeg.begin(), mpeg.end());
  return out;
}

}  // namespace

std::vector<int16_t> FfmpegDecode(const std::string& path, int layer) {
  const std::string wrapped = path + ".ref.wav", out = path + ".ref.raw";
  std::vector<uint8_t> riff = WrapInRiff(ReadBytes(path), layer);
  if (riff.empty()) return {};
  WriteBytes(wrapped, riff);
  const std::string codec = layer == 2 ? "mp2float" : "mp3float";
  const bool ok = Shell("ffmpeg -v error -y -c:a " + codec + " -i " + wrapped + " -f s16le " + out);
  std::vector<int16_t> pcm = ok ? ReadPcm16(out) : std::vector<int16_t>{};
  std::remove(wrapped.c_str());
  std::remove(out.c_str());
  return pcm;
}

PcmDiff ComparePcm(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
  PcmDiff d;
  d.count_a = a.size();
  d.count_b = b.size();
  size_t n = std::min(a.size(), b.size());
  double sum = 0;
  for (size_t i = 0; i < n; i++) {
    int diff = std::abs(a[i] - b[i]);
    d.max_diff = std::max(d.max_diff, diff);
    sum += (double)diff * diff;
  }
  d.rms = n ? std::sqrt(sum / n) : 0;
  return d;
}
