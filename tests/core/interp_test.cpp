#include <gtest/gtest.h>

#include <stdexcept>

#include "core/command_table.h"
#include "core/errors.h"
#include "core/interp.h"
#include "core/run_state.h"
#include "display/display.h"
#include "display/record_pools.h"
#include "platform/clock.h"
#include "platform/events.h"
#include "platform/stop_request.h"
#include "runtime/command_families.h"
#include "runtime/run_loop.h"
#include "runtime/startup.h"
#include "tests/support/image_builder.h"
#include "tests/support/program_run.h"

namespace {

// Test commands, put into numbers that have no handler of their own.
constexpr int kCount = 13, kThrow = 14, kCountedMode = 15, kPressF11 = 16, kCountedOnly = 17, kLoadFails = 18,
              kCountAndAskStop = 19;

int64_t g_count = 0;
std::vector<int64_t> g_perFrame;  // commands run by each frame's slice

int64_t g_stopAfter = -1;

void CmdCountAndJump() {  // count, then jump to operand 0
  ++g_count;
  ProgramCounter = OpTarget(0);
  if (g_count == g_stopAfter) {
    PostQuit();
    LeaveSlice = 1;
  }
}
// A slow command of another family stand-in: counts, jumps to operand 0, and asks the run to
// stop at the third time.
void CmdCountAndAskStop() {
  if (++g_count == 3) SetStopAsked(true);
  ProgramCounter = OpTarget(0);
}
void CmdThrow() { throw std::runtime_error("test failure"); }
// A load of "big.x" (operand 0: 1 runs out of memory, 2 fails otherwise) or, for 3, memory
// running out outside any load.
void CmdLoadFails() {
  const int32_t how = OpInt(0);
  {
    const FileLoadScope load(kErrMeshNotLoaded, "big.x");
    const FileLoadScope inner(kErrModelNotLoaded, "big.x");
    if (how == 1) throw std::bad_alloc();
    if (how == 2) throw std::runtime_error("test failure");
  }
  throw std::bad_alloc();
}
void CmdCountedMode() {
  g_timing.timeSliceMode = 0;
  for (int i = 0; i < 32001; ++i) AllocDrawOp();
  SkipOperands(0);
}
void CmdCountedOnly() { g_timing.timeSliceMode = 0; }
void CmdPressF11() { PostWindowMessage(Message{MsgKind::KeyDown, kVkF11, 0}); }

void InstallTestCommands() {
  InstallTestCommand(kCount, CmdCountAndJump, "a");
  InstallTestCommand(kThrow, CmdThrow, "");
  InstallTestCommand(kLoadFails, CmdLoadFails, "l");
  InstallTestCommand(kCountedMode, CmdCountedMode, "");
  InstallTestCommand(kCountedOnly, CmdCountedOnly, "");
  InstallTestCommand(kPressF11, CmdPressF11, "");
  InstallTestCommand(kCountAndAskStop, CmdCountAndAskStop, "a");
}

class InterpTest : public testing::Test {
 protected:
  void SetUp() override { g_count = 0; }
  int Run(const ImageBuilder& b, int64_t frames, bool standalone = false) {
    TestRun run;
    run.frames = frames;
    run.standalone = standalone;
    run.install = InstallTestCommands;
    return RunTestImage(b, run);
  }
};

TEST_F(InterpTest, AZeroFirstWordEndsTheProgramSilently) {
  ImageBuilder b;
  EXPECT_EQ(Run(b, -1), kExitOk);
  EXPECT_EQ(g_errorCode, 0);
}

// The opening frame runs no command and is not counted: N frames are N slices of the program.
TEST_F(InterpTest, TheFirstSliceRunsNoCommand) {
  ImageBuilder b;
  b.Emit({kCount, 37000});
  EXPECT_EQ(Run(b, 2), kExitOk);
  EXPECT_EQ(g_count, 2 * 3400);
}

TEST_F(InterpTest, TimedSlicesEndAtTheFirstCommandAfterTheirLength) {
  ImageBuilder b;
  b.Emit({kCount, 37000});
  EXPECT_EQ(Run(b, 1), kExitOk);
  // 10 us of virtual time a command: a 33 ms slice ends with the command that makes the
  // clock read more than 33 ms past its start, the 3400th.
  EXPECT_EQ(g_count, 3400);
}

TEST_F(InterpTest, AnExceptionInACommandIsSystemError10010) {
  ImageBuilder b;
  b.Emit({kThrow});
  EXPECT_EQ(Run(b, 10), kExitRunError);
  EXPECT_EQ(g_errorCode, 10010);
}

// Memory running out inside a file's load is that load's error, naming the file (the innermost
// load); elsewhere it is "Out of memory"; any other exception is the severe exception 10010.
TEST_F(InterpTest, MemoryRunningOutInALoadIsTheLoadsError) {
  const struct {
    int32_t how;
    int32_t error;
    const char* detail;
  } kCases[] = {
      {1, kErrModelNotLoaded, "big.x: not enough memory to load it"},
      {2, 10010, ""},
      {3, kErrOutOfMemory, ""},
  };
  for (const auto& c : kCases) {
    g_lastEngineError.clear();
    ImageBuilder b;
    b.Emit({kLoadFails, b.Int(c.how)});
    EXPECT_EQ(Run(b, 10), kExitRunError) << c.how;
    EXPECT_EQ(g_errorCode, c.error) << c.how;
    EXPECT_EQ(g_lastEngineError, c.detail) << c.how;
  }
}

TEST_F(InterpTest, CountedModeEndsTheSliceWhenTheDrawQueueIsFull) {
  ImageBuilder b;
  b.Emit({kCountedMode});
  b.Emit({kCount, 37001});
  EXPECT_EQ(Run(b, 1), kExitOk);
  EXPECT_EQ(g_count, 200);  // the mode command and 200 more, then the check ends the slice
}

TEST_F(InterpTest, StopKeysEndCountedSlicesOnlyInDevelopmentRuns) {
  ImageBuilder b;
  b.Emit({kPressF11});
  b.Emit({kCountedOnly});
  b.Emit({kCount, 37002});
  EXPECT_EQ(Run(b, 1), kExitOk);
  EXPECT_EQ(g_count, 200);  // the mode command counts as the first of 201
  // A built game ignores the stop keys: the slice never ends on its own, so give the
  // interpreter a way out after a while.
  g_count = 0;
  ImageBuilder game;
  game.Emit({kPressF11});
  game.Emit({kCountedOnly});
  int32_t loop = game.Emit({kCount, 0});
  game.Patch(loop + 1, 37000 + loop);
  g_stopAfter = 5000;
  EXPECT_EQ(Run(game, 1, true), kExitOk);
  g_stopAfter = -1;
  EXPECT_EQ(g_count, 5000);
}

// A program whose few commands are slow ends its slice with the command after which a stop was
// asked, not at the next probe 200 commands on: on the fast path and on the exact one.
TEST_F(InterpTest, AStopRequestEndsTheSliceAfterTheCommandThatSawIt) {
  for (const bool virtualClock : {false, true}) {
    g_count = 0;
    ImageBuilder b;
    b.Emit({kCountedOnly});
    const int32_t loop = b.Emit({kCountAndAskStop, 0});
    b.Patch(loop + 1, 37000 + loop);
    TestRun run;
    run.frames = 1;
    run.virtualClock = virtualClock;
    run.install = InstallTestCommands;
    run.afterRun = [] { SetStopAsked(false); };  // the run goes on to its ordinary end
    EXPECT_EQ(RunTestImage(b, run), kExitOk) << virtualClock;
    EXPECT_EQ(g_count, 3) << virtualClock;
  }
}

TEST_F(InterpTest, NumbersWithoutAHandlerQuitWithoutAnError) {
  ImageBuilder b;
  b.Emit({11, 11, 0});
  EXPECT_EQ(Run(b, 10), kExitOk);
  EXPECT_EQ(g_errorCode, 0);
  ImageBuilder big;
  big.Emit({12345});
  EXPECT_EQ(Run(big, 10), kExitOk);
}

TEST_F(InterpTest, CommandsNotBuiltYetStopTheProgramNamingThem) {
  const int unbuilt = UnbuiltCommand();
  if (unbuilt == 0) GTEST_SKIP() << "every command is built";
  ImageBuilder b;
  b.Emit({unbuilt});
  testing::internal::CaptureStderr();
  EXPECT_EQ(Run(b, 10), kExitRunError);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("command " + std::to_string(unbuilt)), std::string::npos);
  EXPECT_EQ(g_unavailableCommand, unbuilt);
}

TEST_F(InterpTest, WithLeaveSliceSetNoCommandRuns) {
  InitCommandTable();
  g_commandTable[kCount] = CmdCountAndJump;
  CodeWord code[] = {kCount, 0, 0};
  code[1] = reinterpret_cast<CodeWord>(&code[0]);
  CommandStream = code;
  g_codeWordCount = 2;
  ProgramCounter = code;
  g_display.active = 1;
  LeaveSlice = 1;
  InterpretSlice();
  EXPECT_EQ(g_count, 0);
  EXPECT_EQ(LeaveSlice, 0);
  g_display.active = 0;
  CommandStream = nullptr;
  ProgramCounter = nullptr;
  g_codeWordCount = 0;
  InitCommandTable();
}

TEST(CommandTable, HoldsTheListedNumbersAndSharedHandlers) {
  InitCommandTable();
  EXPECT_EQ(ListedCommandCount(), 879);
  int handled = 0;
  for (int n = 0; n < kCommandSlots; ++n) {
    EXPECT_EQ(g_commandTable[n] != nullptr, IsListedCommand(n)) << n;
    handled += g_commandTable[n] != nullptr;
  }
  EXPECT_EQ(handled, 879);
  for (int n : {0, 11, 13, 20, 36, 40, 44, 50, 55, 60, 62, 63, 67, 70, 122, 125, 130, 145, 150, 214, 231, 247, 254,
                262, 478, 481, 482, 2008, 2011, 2055, 2056, 3016, 3020, 3031, 3040, 3044, 3045, 3047, 3050, 4111,
                5528, 5531, 5532, 7017, 7072, 7073, 7110, 7308, 8305, 9999})
    EXPECT_FALSE(IsListedCommand(n)) << n;
  // Pairs a/b run one handler: once either number has its handler, both have the same one.
  const int pairs[][2] = {{22, 27},     {23, 28},     {24, 29},     {25, 30},     {207, 5500},  {251, 5501},
                          {255, 410},   {263, 264},   {453, 5503},  {454, 5504},  {461, 5511},  {462, 5512},
                          {463, 5513},  {464, 5514},  {465, 5515},  {470, 5520},  {471, 5521},  {472, 5522},
                          {473, 5523},  {474, 5524},  {475, 5525},  {476, 5526},  {477, 5527},  {479, 5529},
                          {480, 5530},  {483, 5533},  {484, 5534},  {491, 5541},  {492, 5542},  {8001, 8008},
                          {8053, 8054}, {8063, 8064}};
  for (const auto& p : pairs) {
    EXPECT_EQ(IsCommandBuilt(p[0]), IsCommandBuilt(p[1])) << p[0] << "/" << p[1];
    if (IsCommandBuilt(p[0])) {
      EXPECT_EQ(FamilyHandler(p[0]), FamilyHandler(p[1])) << p[0] << "/" << p[1];
      EXPECT_STREQ(g_commandOperands[p[0]], g_commandOperands[p[1]]) << p[0] << "/" << p[1];
    }
  }
}

}  // namespace
