// 50 sounds, each played, given a volume, placed in 3D and stopped every frame (200 sound
// statements a frame) for 10,000 frames: once as a program through the interpreter, once as the
// same engine calls made directly from C++, the two in turns. Prints both times and their ratio,
// medians of the rounds with their spread (goal: <= 1.5).
#include <chrono>
#include <cstdio>
#include <vector>

#include "bench/common/bench_rounds.h"
#include "core/loader.h"
#include "display/display.h"
#include "platform/clock.h"
#include "runtime/command_families.h"
#include "runtime/run_loop.h"
#include "sound/commands/sound_services.h"
#include "sound/commands/sound_slots.h"
#include "sound/engine/drivers/driver_manual.h"
#include "sound/engine/sound_engine.h"
#include "tests/support/image_builder.h"

namespace {

constexpr int kSounds = 50, kFrames = 10000;

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

void StartEngineWithSounds() {
  ManualDriverInstall(true);
  ResetSoundState();
  InitSoundEngine();
  std::vector<int16_t> tone(4410);
  for (size_t k = 0; k < tone.size(); ++k) tone[k] = int16_t((k % 100) * 300 - 15000);
  for (int n = 1; n <= kSounds; ++n) {
    SoundSample* s = SoundSampleAlloc(-1, int32_t(tone.size()), kSoundHardware3D | kSoundMono | kSound16Bits, 44100,
                                      255, 128, 255);
    SoundSampleUpload(s, tone.data(), kSound16Bits | kSoundMono);
    SoundSlot& slot = g_soundCmd.slots[n];
    slot.sample = s;
    slot.owner = slot.exists = slot.is3D = 1;
    slot.frequency = 44100;
    slot.engineVolume = 255;
  }
}

double Interpreted() {
  StartEngineWithSounds();
  ImageBuilder b;
  b.Emit({403});  // sync on: each sync ends a slice, one slice a frame
  const int32_t top = b.Here();
  const int32_t half = b.Int(50), x = b.Float(1.5f), y = b.Float(0.0f), z = b.Float(-2.0f);
  for (int n = 1; n <= kSounds; ++n) {
    const int32_t sound = b.Int(n);
    b.Emit({3003, sound});
    b.Emit({3008, sound, half});
    b.Emit({3012, sound, x, y, z});
    b.Emit({3004, sound});
  }
  b.Emit({259});
  b.Emit({42, top});
  const std::vector<uint8_t> image = b.Build();
  LoadProgramFromBytes(image.data(), image.size());
  InitCommandTable();
  g_display.active = 1;
  ResetInterpreter();
  InterpretSlice();  // sync on
  const auto start = std::chrono::steady_clock::now();
  for (int f = 0; f < kFrames; ++f) {
    LeaveSlice = 0;
    InterpretSlice();
  }
  const double t = Seconds(std::chrono::steady_clock::now() - start);
  const bool ran = g_soundCmd.slots[kSounds].volumePercent == 50 && g_soundCmd.slots[kSounds].position[2] == -2.0f;
  ResetSoundState();
  if (!ran) std::fprintf(stderr, "the program did not run its statements\n");
  return ran ? t : -1;
}

double Direct() {
  StartEngineWithSounds();
  const float position[3] = {1.5f, 0.0f, -2.0f};
  const auto start = std::chrono::steady_clock::now();
  for (int f = 0; f < kFrames; ++f) {
    for (int n = 1; n <= kSounds; ++n) {
      SoundSlot& s = g_soundCmd.slots[n];
      if (s.channel != -1) SoundStopChannel(s.channel);
      SoundSampleSetLoopMode(s.sample, kSoundLoopOff);
      s.channel = SoundPlayWithAttributes(kSoundFreeChannel, s.sample, 44100, 255, -1, s.position, nullptr);
      SoundSetChannelPriority(s.channel, 0);
      SoundSetChannelVolume(s.channel, 127);
      float p[3], v[3];
      SoundGetChannel3DAttributes(s.channel, p, v);
      SoundSetChannel3DAttributes(s.channel, position, v);
      SoundStopChannel(s.channel);
      s.channel = -1;
    }
  }
  const double t = Seconds(std::chrono::steady_clock::now() - start);
  ResetSoundState();
  return t;
}

}  // namespace

int main() {
  ClockUseVirtual(false);
  bench::PrintMachine("bench_sound_commands");
  Interpreted();  // warm up
  const auto t = bench::Alternate(5, {Interpreted, Direct});
  std::printf("sound commands: %d statements in %d frames\n", 4 * kSounds * kFrames, kFrames);
  std::printf("  interpreter %s ms/frame, direct engine calls %s ms/frame\n  ratio %s (goal <= 1.5)\n",
              bench::Show(bench::Summarise(t[0]), 1000.0 / kFrames, 3).c_str(),
              bench::Show(bench::Summarise(t[1]), 1000.0 / kFrames, 3).c_str(), bench::Show(bench::Ratio(t[0], t[1])).c_str());
  bench::PrintLoad();
  ManualDriverInstall(false);
  return 0;
}
