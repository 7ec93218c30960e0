// The sound track of a video animation reaches the sound engine's output, and is held with the
// pictures.
#include <cstdlib>
#include <vector>

#include "core/command_table.h"
#include "core/interp.h"
#include "core/strings.h"
#include "display/animations.h"
#include "platform/clock.h"
#include "runtime/command_families.h"
#include "sound/engine/drivers/driver_manual.h"
#include "sound/engine/sound_engine.h"
#include "tests/display/display_fixture.h"
#include "tests/display/video_clips.h"
#include "tests/support/program_run.h"

namespace {

class AnimationSoundTest : public DisplayTest {
 protected:
  void SetUp() override {
    DisplayTest::SetUp();
    InitCommandTable();
    ClockUseVirtual(true, 0);
    ManualDriverInstall(true);
    ASSERT_TRUE(SoundInit(44100, 8, 0));
  }
  void TearDown() override {
    ReleaseAllAnimations();
    SoundEngineReset();
    ManualDriverInstall(false);
    ClockUseVirtual(false);
    DisplayTest::TearDown();
  }
  void Call(int n, int32_t a, const std::string* text = nullptr) {
    CommandCall call;
    int k = 0;
    if (text) call.SetText(k++, text->c_str());
    call.cells[k++].i = a;
    ASSERT_EQ(call.Run(n, k), 0) << n;
  }
  // Runs frames of 40 ms (pictures, then as much sound); returns the loudest sample played.
  int Frames(int count) {
    ManualDriverClearOutput();
    for (int k = 0; k < count; ++k) {
      ClockAdvanceMs(40);
      UpdateAnimations();
      ManualDriverAdvance(1764);
    }
    int loudest = 0;
    for (int16_t v : ManualDriverOutput()) loudest = std::max(loudest, std::abs(int(v)));
    return loudest;
  }
};

TEST_F(AnimationSoundTest, TheSoundTrackIsHeardWhilePlayingAndHeldWithThePictures) {
  const std::string clip = SoundClip();
  // After each change the output first plays what it had mixed already.
  const int delay = int(ManualDriverLatency() / 1764) + 2;
  Call(2001, 1, &clip);
  EXPECT_LT(Frames(5), 100);  // loaded, not playing
  Call(2003, 1);
  Frames(delay);
  EXPECT_GT(Frames(5), 2000);  // the sine of the clip (an eighth of full scale)
  Call(2005, 1);
  Frames(delay);
  EXPECT_LT(Frames(5), 100);
  Call(2006, 1);
  Frames(delay);
  EXPECT_GT(Frames(5), 2000);
  Call(2004, 1);
  Frames(delay);
  EXPECT_LT(Frames(5), 100);
  // A video without sound uses no channel.
  const std::string silent = Mpeg4Clip();
  Call(2001, 2, &silent);
  Call(2003, 2);
  EXPECT_EQ(g_animations.slots[2].sound, nullptr);
}

}  // namespace
