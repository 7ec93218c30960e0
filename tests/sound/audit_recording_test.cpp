// Recording where the engine plays on the no-sound output (a headless run): there is nothing
// to record from, and the program goes on without a warning.
#include "platform/window.h"
#include "sound/commands/sound_services.h"
#include "sound/commands/sound_slots.h"
#include "sound/engine/drivers/driver_manual.h"
#include "sound/engine/sound_engine.h"
#include "tests/sound/cmd_fixture.h"

namespace {

TEST_F(SoundCmdTest, RecordingOnTheNoSoundOutputIsRefusedQuietly) {
  ShutdownSound();
  ManualDriverInstall(false);
  PlatformSetHeadless(true);
  InitSoundEngine();
  PlatformSetHeadless(false);
  ASSERT_TRUE(g_soundCmd.available);
  ASSERT_EQ(SoundGetOutput(), 0);
  EXPECT_EQ(Do(3030, {1, 2}).error, 0);
  EXPECT_EQ(Do(3028, {}).error, 0);
  EXPECT_EQ(Query(3051, 1), 0);
  // Sounds still load and play silently.
  EXPECT_EQ(Do(3001, {Wav("a.wav", Tone(100)).c_str(), 2}).error, 0);
  EXPECT_EQ(Do(3003, {2}).error, 0);
}

}  // namespace
