#pragma once
// Test material made at test time with sox, lame, twolame and ffmpeg, and PCM comparisons.
#include <cstdint>
#include <string>
#include <vector>

// Runs a shell command line; true when it exits with 0.
bool Shell(const std::string& command);
std::vector<uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& data);
std::vector<int16_t> ReadPcm16(const std::string& path);
// A test signal at `rate` Hz: a sweep and noise, then a click train that forces short blocks.
// The noise is seeded the same every run, so a comparison never depends on the draw.
bool MakeSignal(const std::string& path, int rate, int channels, double seconds = 1.0);
// ffmpeg's own 16-bit decode of a bare MPEG audio stream (float decoder, so rounding is the only loss).
std::vector<int16_t> FfmpegDecode(const std::string& path, int layer);

struct PcmDiff {
  size_t count_a = 0, count_b = 0;
  int max_diff = 0;
  double rms = 0;
};
PcmDiff ComparePcm(const std::vector<int16_t>& a, const std::vector<int16_t>& b);

// Our whole-file MPEG load of a file on disk (empty when it fails).
std::vector<int16_t> LoadMpeg(const std::string& path, uint32_t mode);
// Frame-by-frame decode of a bare MPEG audio stream held in memory.
std::vector<int16_t> DecodeFrames(const std::vector<uint8_t>& data);
