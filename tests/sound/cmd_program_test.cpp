// A program run through the run loop on the manual-clock output: sounds and a MIDI tune play,
// the window loses and regains focus through window messages, and what the program paused
// stays paused.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/events.h"
#include "sound/commands/mci_strings.h"
#include "sound/commands/music_slots.h"
#include "sound/commands/sound_slots.h"
#include "sound/engine/drivers/driver_manual.h"
#include "sound/engine/sound_engine.h"
#include "tests/sound/cmd_fixture.h"
#include "tests/support/program_run.h"

namespace {

int g_calls = 0;
bool g_heard = false;

// Test command: one frame of audio, and on the fifth frame the window loses and regains focus.
void CmdAudioFrame() {
  ++g_calls;
  if (g_calls == 5) {
    PostWindowMessage({MsgKind::Activate, 0, 0});
    PostWindowMessage({MsgKind::Activate, 1, 0});
  }
  ManualDriverClearOutput();
  for (int k = 0; k < 4; ++k) ManualDriverAdvance(uint32_t(DspGetBufferLength()));
  for (int16_t v : ManualDriverOutput()) g_heard = g_heard || v != 0;
}

TEST(SoundProgram, PlaysThroughTheRunLoopAndKeepsItsOwnPauseAcrossFocus) {
  TempDir dir;
  std::string wav;
  std::vector<int16_t> tone(44100);
  for (size_t k = 0; k < tone.size(); ++k) tone[k] = int16_t(k % 100 < 50 ? 6000 : -6000);
  BuildWavFile(WavFormat{}, tone.data(), uint32_t(tone.size() * 2), &wav);
  dir.Write("tone.wav", wav);
  const std::string midi = std::string("MThd\0\0\0\6\0\0\0\1\0\x60MTrk\0\0\0\x0d", 22) +
                           std::string("\0\x90\x3c\x64\x83\x60\x80\x3c\0\0\xff\x2f\0", 13);
  dir.Write("tune.mid", midi);

  ImageBuilder b;
  const int32_t file = b.Text(dir.File("tone.wav")), tune = b.Text(dir.File("tune.mid"));
  const int32_t one = b.Int(1), two = b.Int(2);
  b.Emit({403});
  b.Emit({3001, file, one});
  b.Emit({3001, file, two});
  b.Emit({3007, one});
  b.Emit({3007, two});
  b.Emit({3005, two});
  b.Emit({3501, tune, one});
  b.Emit({3507, one});
  const int32_t top = b.Here();
  b.Emit({9990});
  b.Emit({259});
  b.Emit({42, top});

  g_calls = 0;
  g_heard = false;
  ManualDriverInstall(true);
  MciClearLog();
  MciLogCommands(true);
  bool secondPaused = false, firstPaused = true, musicPlaying = false;
  TestRun run;
  run.frames = 12;
  run.install = [] { InstallTestCommand(9990, CmdAudioFrame, ""); };
  run.afterRun = [&] {
    secondPaused = g_soundCmd.slots[2].paused && SoundGetChannelPaused(g_soundCmd.slots[2].channel);
    firstPaused = SoundGetChannelPaused(g_soundCmd.slots[1].channel);
    musicPlaying = g_music.slots[1].playing;
  };
  EXPECT_EQ(RunTestImage(b, run), 0);
  MciLogCommands(false);
  ManualDriverInstall(false);
  EXPECT_GE(g_calls, 10);
  EXPECT_TRUE(g_heard);
  EXPECT_TRUE(secondPaused);
  EXPECT_FALSE(firstPaused);
  EXPECT_TRUE(musicPlaying);
  const std::vector<std::string>& sent = MciSentCommands();
  const auto pause = std::find(sent.begin(), sent.end(), "pause music1");
  ASSERT_NE(pause, sent.end());
  EXPECT_NE(std::find(pause, sent.end(), "resume music1"), sent.end());
}

// Under the virtual clock the mix keeps its own time, as --help says: a one-second sound still
// plays after the program has waited five seconds of its clock, the mix (the manual output,
// never advanced here) not having moved.
TEST(SoundProgram, TheMixKeepsItsOwnTimeUnderTheVirtualClock) {
  TempDir dir;
  std::string wav;
  const std::vector<int16_t> tone(44100, 6000);
  BuildWavFile(WavFormat{}, tone.data(), uint32_t(tone.size() * 2), &wav);
  dir.Write("tone.wav", wav);
  ImageBuilder b;
  const int32_t file = b.Text(dir.File("tone.wav")), one = b.Int(1), playing = b.IntVar();
  b.Emit({3001, file, one});
  b.Emit({3003, one});
  b.Emit({255, b.Int(5000)});
  b.Emit({3052, playing, one});
  ManualDriverInstall(true);
  TestRun run;
  ASSERT_TRUE(run.virtualClock);
  const RunOutcome r = RunImage(b, run);
  ManualDriverInstall(false);
  EXPECT_EQ(r.status, 0);
  EXPECT_GE(r.frames, 100);  // the wait ran frames of the program's clock
  EXPECT_EQ(r.Int(playing), 1);
}

}  // namespace

#include "platform/fs.h"
#include "tests/support/process.h"

namespace {

TEST(SoundProgram, TheExampleRunsWithTheMediaItsToolMakes) {
  TempDir dir;
  ASSERT_EQ(RunProcess("/usr/bin/python3", {std::string(VK_SOURCE_DIR) + "/tools/make_sound_media.py", dir.path()}).status, 0);
  // The example finds its media beside itself.
  std::string source;
  ASSERT_TRUE(FsReadFile(std::string(VK_SOURCE_DIR) + "/examples/sound.vka", source));
  dir.Write("sound.vka", source);
  const ProcessResult r = RunProcess(VellumarkExe(),
                                     {"run", dir.File("sound.vka"), "--headless", "--clock",
                                      "virtual", "--frames", "40"},
                                     dir.path());
  EXPECT_EQ(r.status, 0) << r.err;
}

}  // namespace
