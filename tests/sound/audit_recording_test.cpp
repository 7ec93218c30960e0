// A headless run, where the engine would play on the no-sound output: sound is not available,
// so nothing loads or records and no sound command stops the program.
#include "platform/window.h"
#include "sound/commands/sound_services.h"
#include "sound/commands/sound_slots.h"
#include "sound/engine/drivers/driver_manual.h"
#include "sound/engine/sound_engine.h"
#include "tests/sound/cmd_fixture.h"

namespace {

TEST_F(SoundCmdTest, HeadlessSoundIsNotAvailable) {
  ShutdownSound();
  ManualDriverInstall(false);
  PlatformSetHeadless(true);
  InitSoundEngine();
  PlatformSetHeadless(false);
  ASSERT_FALSE(g_soundCmd.available);
  const std::string wav = Wav("a.wav", Tone(100));
  const struct {
    int number;
    std::initializer_list<Arg> args;
  } cases[] = {
      {3001, {wav.c_str(), 2}}, {3001, {"missing.wav", 3}}, {3011, {"missing.wav", 4}},
      {3003, {2}},              {3003, {7}},                {3030, {1, 2}},
      {3028, {}},
  };
  for (const auto& c : cases) EXPECT_EQ(Do(c.number, c.args).error, 0) << c.number;
  for (int n : {1, 2, 3, 4}) EXPECT_EQ(Query(3051, n), 0) << n;
}

}  // namespace
