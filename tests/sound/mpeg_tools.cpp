#include "tests/sound/mpeg_tools.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

bool Shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

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
  bool ok = Shell("sox -n" + fmt + a + " synth " + std::to_string(seconds) + " sine 60-" + std::to_string(top) +
                  " pinknoise vol 0.45") &&
            Shell("sox -n" + fmt + b + " synth " + std::to_string(seconds / 2) + " square 9 square 13 vol 0.3") &&
            Shell("sox " + a + " " + b + " " + path);
  std::remove(a.c_str());
  std::remove(b.c_str());
  return ok;
}

std::vector<int16_t> FfmpegDecode(const std::string& path, int layer) {
  const std::string out = path + ".ref.raw";
  const std::string codec = layer == 2 ? "mp2float" : "mp3float";
  if (!Shell("ffmpeg -v error -y -c:a " + codec + " -i " + path + " -f s16le " + out)) return {};
  std::vector<int16_t> pcm = ReadPcm16(out);
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
