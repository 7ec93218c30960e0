#include "tests/sound/cmd_fixture.h"

#include "core/command_table.h"
#include "core/errors.h"
#include "core/interp.h"
#include "core/strings.h"
#include "platform/events.h"
#include "platform/window.h"
#include "runtime/command_families.h"
#include "sound/commands/sound_services.h"
#include "sound/commands/sound_slots.h"
#include "sound/engine/drivers/driver_manual.h"
#include "sound/engine/sound_engine.h"

#include <algorithm>

void SoundCmdTest::SetUp() {
  PlatformSetHeadless(false);  // a program run before may have left the run headless (output 0)
  ManualDriverInstall(true);
  ResetSoundState();
  InitSoundEngine();
  ASSERT_TRUE(g_soundCmd.available);
  InitCommandTable();
}

void SoundCmdTest::TearDown() {
  ResetSoundState();
  ShutdownSound();  // the next test starts its own engine, on the output it asks for
  ManualDriverInstall(false);
  g_errorCode = 0;
  g_errorKind = 0;
  EventsReset();
}

CallOutcome SoundCmdTest::Do(int number, std::initializer_list<Arg> args) {
  CommandCall call(args);
  CallOutcome out;
  out.error = call.Run(number);
  out.result = call.Result();
  g_errorCode = 0;
  EventsReset();
  return out;
}

std::string SoundCmdTest::Wav(const std::string& name, const std::vector<int16_t>& values, int32_t rate) {
  std::string image;
  WavFormat format;
  format.rate = rate;
  BuildWavFile(format, values.data(), uint32_t(values.size() * 2), &image);
  dir_.Write(name, image);
  return dir_.File(name);
}

std::vector<int16_t> SoundCmdTest::Tone(size_t frames, int16_t level) {
  std::vector<int16_t> v(frames);
  for (size_t k = 0; k < frames; ++k) v[k] = (k / 50) % 2 ? level : int16_t(-level);
  return v;
}

std::vector<int16_t> SoundCmdTest::Play(uint32_t frames) {
  // Block by block, as a device's clock moves: each step mixes the blocks it played.
  ManualDriverClearOutput();
  const uint32_t block = uint32_t(DspGetBufferLength());
  for (uint32_t done = 0; done < frames; done += block) ManualDriverAdvance(std::min(block, frames - done));
  return ManualDriverOutput();
}

bool SoundCmdTest::Silent(const std::vector<int16_t>& pcm) {
  for (int16_t v : pcm)
    if (v != 0) return false;
  return true;
}
