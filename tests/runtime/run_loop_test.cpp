#include <gtest/gtest.h>

#include "core/command_table.h"
#include "core/errors.h"
#include "core/interp.h"
#include "display/display.h"
#include "platform/clock.h"
#include "platform/events.h"
#include "runtime/run_loop.h"
#include "runtime/startup.h"
#include "system/system_services.h"
#include "tests/support/program_run.h"

namespace {

constexpr int kMark = 13, kQuitNow = 14, kSetPeriod = 15, kScene3DLast = 16, kPost = 17, kNoEscape = 18,
              kActivate = 19, kWindowed = 20;

std::vector<std::string> g_trace;
std::vector<uint32_t> g_times;

void CmdMark() {  // record the time and end the slice, then jump to operand 0
  g_trace.push_back("mark");
  g_times.push_back(TimeMs());
  ProgramCounter = OpTarget(0);
  LeaveSlice = 1;
}
void CmdQuitNow() { PostQuit(); }
void CmdSetPeriod() {
  g_timing.framePeriod = OpInt(0);
  SkipOperands(1);
}
void CmdScene3DLast() { g_timing.scene3DAfter2D = 1; }
void CmdPost() {  // post a key message with operand 0 as its key
  PostWindowMessage(Message{MsgKind::KeyDown, OpInt(0), 0});
  SkipOperands(1);
  LeaveSlice = 1;
}
void CmdNoEscape() { g_timing.escapeEndsProgram = 0; }
void CmdActivate() {  // post an activation message with operand 0 as its state
  PostWindowMessage(Message{MsgKind::Activate, OpInt(0), 0});
  SkipOperands(1);
  LeaveSlice = 1;
}
void CmdWindowed() { g_display.windowMode = 1; }

void Install() {
  InstallTestCommand(kMark, CmdMark, "a");
  InstallTestCommand(kQuitNow, CmdQuitNow, "");
  InstallTestCommand(kSetPeriod, CmdSetPeriod, "l");
  InstallTestCommand(kScene3DLast, CmdScene3DLast, "");
  InstallTestCommand(kPost, CmdPost, "l");
  InstallTestCommand(kNoEscape, CmdNoEscape, "");
  InstallTestCommand(kActivate, CmdActivate, "l");
  InstallTestCommand(kWindowed, CmdWindowed, "");
}

class RunLoopTest : public testing::Test {
 protected:
  void SetUp() override {
    g_trace.clear();
    g_times.clear();
    g_frameTrace = &g_trace;
  }
  void TearDown() override { g_frameTrace = nullptr; }
  int Run(const ImageBuilder& b, int64_t frames) {
    TestRun run;
    run.frames = frames;
    run.install = Install;
    return RunTestImage(b, run);
  }
};

const std::vector<std::string> kBegin = {"UpdatePointerSprites", "ClearZBuffer", "RestoreSpriteBackgrounds",
                                         "DrawBackdrop", "RunScene3DStep", "RunDrawQueue", "InterpretSlice"};
const std::vector<std::string> kEnd = {"TickRecordLifetimes", "FrameWait", "UpdateAnimations",
                                       "SaveSpriteBackgrounds", "DrawAllSprites", "SoundFrameHook",
                                       "UpdateSound3D", "PollMusicStatus", "UpdateObjectAnimations",
                                       "PresentFrame", "ClearMouseMovement"};

// The opening frame runs no command; one frame of the program follows, and a run ended by
// its frame count ends with a frame that carries out what the program's last one queued.
TEST_F(RunLoopTest, AFrameRunsItsStepsInOrder) {
  ImageBuilder b;
  b.Emit({kMark, 37000});
  EXPECT_EQ(Run(b, 1), kExitOk);
  std::vector<std::string> expected = kBegin;
  expected.insert(expected.end(), kEnd.begin(), kEnd.end());
  std::vector<std::string> second = kBegin;
  second.push_back("mark");
  second.insert(second.end(), kEnd.begin(), kEnd.end());
  expected.insert(expected.end(), second.begin(), second.end());
  expected.insert(expected.end(), kBegin.begin(), kBegin.end() - 1);
  expected.insert(expected.end(), kEnd.begin(), kEnd.end());
  EXPECT_EQ(g_trace, expected);
}

TEST_F(RunLoopTest, TheSceneStepCanMoveAfterTheSprites) {
  ImageBuilder b;
  b.Emit({kScene3DLast});
  b.Emit({kMark, 37001});
  EXPECT_EQ(Run(b, 3), kExitOk);
  // Third frame: no scene step at its start, one between the background save and the sprites.
  auto third = std::find(g_trace.rbegin(), g_trace.rend(), "UpdatePointerSprites").base() - 1;
  std::vector<std::string> tail(third, g_trace.end());
  EXPECT_EQ(std::count(tail.begin(), tail.end(), "RunScene3DStep"), 1);
  auto scene = std::find(tail.begin(), tail.end(), "RunScene3DStep");
  EXPECT_EQ(*(scene - 1), "SaveSpriteBackgrounds");
  EXPECT_EQ(*(scene + 1), "DrawAllSprites");
}

TEST_F(RunLoopTest, FramesArePacedByTheFramePeriod) {
  ImageBuilder b;
  b.Emit({kMark, 37000});
  EXPECT_EQ(Run(b, 6), kExitOk);
  ASSERT_GE(g_times.size(), 4u);
  for (size_t i = 1; i < g_times.size(); ++i) EXPECT_EQ(g_times[i] - g_times[i - 1], 25u);

  g_times.clear();
  ImageBuilder zero;
  int32_t period = zero.Int(0);
  zero.Emit({kSetPeriod, period});
  zero.Emit({kMark, 37002});
  EXPECT_EQ(Run(zero, 6), kExitOk);
  ASSERT_GE(g_times.size(), 3u);
  // Rate 0 has no period: under the virtual clock a frame then takes 16 ms, as at rate 60.
  for (size_t i = 1; i < g_times.size(); ++i) EXPECT_EQ(g_times[i] - g_times[i - 1], 16u);
}

TEST_F(RunLoopTest, AQuitPostedInASliceLetsTheFrameFinish) {
  ImageBuilder b;
  b.Emit({kQuitNow});
  b.Emit({kMark, 37001});
  EXPECT_EQ(Run(b, -1), kExitOk);
  ASSERT_FALSE(g_trace.empty());
  EXPECT_EQ(g_trace.back(), "ClearMouseMovement");
  EXPECT_EQ(std::count(g_trace.begin(), g_trace.end(), "mark"), 1);
}

TEST_F(RunLoopTest, EscapeEndsTheProgramOnlyWhileAllowed) {
  ImageBuilder b;
  int32_t escape = b.Int(kVkEscape);
  b.Emit({kPost, escape});
  b.Emit({kMark, 37002});
  EXPECT_EQ(Run(b, 50), kExitOk);
  EXPECT_EQ(std::count(g_trace.begin(), g_trace.end(), "mark"), 0);

  g_trace.clear();
  ImageBuilder allowed;
  escape = allowed.Int(kVkEscape);
  allowed.Emit({kNoEscape});
  allowed.Emit({kPost, escape});
  allowed.Emit({kMark, 37003});
  EXPECT_EQ(Run(allowed, 10), kExitOk);
  EXPECT_GT(std::count(g_trace.begin(), g_trace.end(), "mark"), 5);
}

}  // namespace

namespace {

TEST_F(RunLoopTest, DeactivationPausesAFullScreenProgram) {
  // Full screen: once the deactivation is handled the program stops where it is, while the
  // loop goes on turning.
  ImageBuilder b;
  int32_t off = b.Int(0);
  b.Emit({kActivate, off});
  b.Emit({kMark, 37002});
  EXPECT_EQ(Run(b, 30), kExitOk);
  EXPECT_EQ(std::count(g_trace.begin(), g_trace.end(), "mark"), 0);
  EXPECT_EQ(std::count(g_trace.begin(), g_trace.end(), "PresentFrame"), 2);  // the first two frames

  // In window mode deactivation changes nothing.
  g_trace.clear();
  ImageBuilder windowed;
  off = windowed.Int(0);
  windowed.Emit({kWindowed});
  windowed.Emit({kActivate, off});
  windowed.Emit({kMark, 37003});
  EXPECT_EQ(Run(windowed, 30), kExitOk);
  EXPECT_GT(std::count(g_trace.begin(), g_trace.end(), "mark"), 20);
}

TEST_F(RunLoopTest, ADeactivatedDisplayIsNotRestoredUntilReactivation) {
  g_runtime = RuntimeState{};
  g_display.windowMode = 0;
  g_display.active = 1;
  HandleWindowMessage(Message{MsgKind::Activate, 0, 0});
  EXPECT_EQ(g_display.active, 0);
  for (int frame = 0; frame < 3; ++frame) BeginFrame();
  EXPECT_EQ(g_display.active, 0);
  EXPECT_TRUE(g_trace.empty());
  HandleWindowMessage(Message{MsgKind::Activate, 1, 0});
  EXPECT_EQ(g_display.active, 1);
  g_display.active = 0;
}

}  // namespace
