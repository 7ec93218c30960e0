// Queries of sounds and music tracks that do not exist answer 0, never what the result held:
// a program waiting for a sound to end must not wait for ever on a machine without sound.
#include "sound/commands/sound_services.h"
#include "sound/commands/sound_slots.h"
#include "tests/sound/cmd_fixture.h"

namespace {

TEST_F(SoundCmdTest, QueriesOfMissingSoundsAnswerZero) {
  Do(3001, {Wav("a.wav", Tone(100)).c_str(), 1});
  const int queries[] = {3052, 3053, 3054, 3055, 3056, 3057, 3058, 3059, 3060, 3061};
  for (int q : queries) {
    const CallOutcome missing = Do(q, {Arg::Result(7), 9});
    EXPECT_EQ(missing.error, 3004) << q;
    EXPECT_EQ(missing.result.raw, 0u) << q;
  }
  ShutdownSound();  // no sound at all: no warning, still 0
  for (int q : queries) {
    const CallOutcome silent = Do(q, {Arg::Result(7), 1});
    EXPECT_EQ(silent.error, 0) << q;
    EXPECT_EQ(silent.result.raw, 0u) << q;
  }
  for (int q : {3552, 3553, 3554}) {
    const CallOutcome track = Do(q, {Arg::Result(7), 4});
    EXPECT_EQ(track.error, 3504) << q;
    EXPECT_EQ(track.result.i, 0) << q;
  }
}

}  // namespace
