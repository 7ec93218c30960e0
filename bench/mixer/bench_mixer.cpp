// 32 looping voices with interpolation and volume ramps at 44.1 kHz stereo, mixed block by
// block on one thread by the engine's mixer, against a plain int16 summation of the same 32
// voices without interpolation (what memory allows). The two take turns; prints the real-time
// factor and the ratio, medians of the rounds with their spread.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include "bench/common/bench_rounds.h"
#include "sound/engine/drivers/driver_manual.h"
#include "sound/engine/mixer/mixer.h"
#include "sound/engine/sound_engine.h"

namespace {

constexpr int kVoices = 32;
constexpr int kFrames = 44100;  // each voice's looping sample: one second

double Seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

std::vector<std::vector<int16_t>> MakeVoices() {
  std::vector<std::vector<int16_t>> v(kVoices, std::vector<int16_t>(kFrames));
  for (int k = 0; k < kVoices; k++) {
    for (int i = 0; i < kFrames; i++) {
      v[size_t(k)][size_t(i)] = int16_t(8000 * std::sin(0.01 * (k + 1) * i));
    }
  }
  return v;
}

// Mixes blocks for at least the given seconds; returns frames mixed per second.
double MixEngine(const std::vector<std::vector<int16_t>>& voices, double seconds) {
  ManualDriverInstall(true);
  SoundInit(44100, kVoices, 0);
  std::vector<int32_t> handles;
  for (int k = 0; k < kVoices; k++) {
    SoundSample* s = SoundSampleAlloc(-1, kFrames, kSound16Bits | kSoundMono | kSoundLoopNormal |
                                                       kSound2D,
                                      44100, 200, 128, 255);
    SoundSampleUpload(s, voices[size_t(k)].data(), kSound16Bits | kSoundMono);
    // Steps that are not whole numbers, so every frame interpolates.
    handles.push_back(SoundPlayWithFrequency(-1, s, 30000 + 977 * k, 200, 20 + 7 * k));
  }
  const int32_t block = DspGetBufferLength();
  const int32_t blocks = g_mixer.ringLength / block;
  int64_t frames = 0;
  int n = 0;
  auto start = std::chrono::steady_clock::now();
  while (Seconds(std::chrono::steady_clock::now() - start) < seconds) {
    for (int rep = 0; rep < 16; rep++, n++) {
      // A new volume for a quarter of the voices each block: ramps run all the time.
      for (int k = n % 4; k < kVoices; k += 4) SoundSetChannelVolume(handles[size_t(k)], 100 + (n * 37 + k) % 156);
      MixerRunDsp((n % blocks) * block, block);
      frames += block;
    }
  }
  double rate = double(frames) / Seconds(std::chrono::steady_clock::now() - start);
  SoundEngineReset();
  ManualDriverInstall(false);
  return rate;
}

double MixPlain(const std::vector<std::vector<int16_t>>& voices, double seconds) {
  const int block = 1104;
  std::vector<int16_t> out(2 * block);
  int64_t frames = 0, pos = 0;
  volatile int16_t sink = 0;
  auto start = std::chrono::steady_clock::now();
  while (Seconds(std::chrono::steady_clock::now() - start) < seconds) {
    for (int rep = 0; rep < 16; rep++) {
      std::fill(out.begin(), out.end(), int16_t(0));
      if (pos + block > kFrames) pos = 0;
      for (int k = 0; k < kVoices; k++) {
        const int16_t* src = voices[size_t(k)].data() + pos;
        for (int i = 0; i < block; i++) {
          out[size_t(2 * i)] = int16_t(out[size_t(2 * i)] + src[i]);
          out[size_t(2 * i + 1)] = int16_t(out[size_t(2 * i + 1)] + src[i]);
        }
      }
      sink = sink + out[size_t(pos % block)];
      pos += block;
      frames += block;
    }
  }
  return double(frames) / Seconds(std::chrono::steady_clock::now() - start);
}

}  // namespace

int main() {
  auto voices = MakeVoices();
  bench::PrintMachine("bench_mixer");
  MixEngine(voices, 0.2);  // warm up
  const auto t = bench::Alternate(5, {[&] { return MixEngine(voices, 1.0); }, [&] { return MixPlain(voices, 1.0); }});
  std::printf("mixer: %d voices, %s x real time\n", kVoices, bench::Show(bench::Summarise(t[0]), 1 / 44100.0, 0).c_str());
  std::printf("plain int16 summation: %s x real time\n", bench::Show(bench::Summarise(t[1]), 1 / 44100.0, 0).c_str());
  std::printf("ratio mixer / plain: %s (goal: >= 700x real time and >= 0.35 of the plain loop)\n",
              bench::Show(bench::Ratio(t[0], t[1]), 1, 3).c_str());
  bench::PrintLoad();
  return 0;
}
