// Runs of the environment in this process: a display lost during a run ends it with the
// display-lost state, and the next run makes every picture again.
#include <gtest/gtest.h>

#include "tests/devenv/devenv_fixture.h"
#include "devenv/ide_shell.h"
#include "platform/clock.h"
#include "platform/events.h"
#include "platform/surfaces.h"
#include "runtime/session.h"

namespace {

class IdeRunTest : public DevenvTest {};

int32_t RunFrames(int64_t frames, int32_t key = 0) {
  g_runtime.options.frames = frames;
  g_runtime.framesRun = 0;
  EventsReset();
  if (key) PostWindowMessage(Message{MsgKind::KeyDown, key, 0});
  return RunIdeUntilExit(IdeCompileReport{}, "", true);
}

TEST_F(IdeRunTest, ALostDisplayEndsTheRunAndTheNextRunRecreatesIt) {
  Session session;
  RunOptions open;
  open.windowMode = true;
  open.headless = true;
  open.virtualClock = true;
  ASSERT_TRUE(OpenSession(session, dir_.File("none.img"), open));
  ClockUseVirtual(true);
  IdeStartUp(1.0);
  // F4 ends the first run with the surfaces kept, so the fault lands on the kept ones.
  EXPECT_EQ(RunFrames(30, 115), kIdeExitCompile);
  g_surfaceFaults.loseNext = 1;
  EXPECT_EQ(RunFrames(30), kIdeExitDisplayLost);
  ResetSurfaceFaults();
  const int64_t presented = g_ide.gfx.presents;
  EXPECT_EQ(RunFrames(5), kIdeExitRunning);  // made again, and drawn
  EXPECT_GT(g_ide.gfx.presents, 0);
  EXPECT_NE(g_ide.gfx.presents, presented);
  CloseSession(session);
}

}  // namespace
