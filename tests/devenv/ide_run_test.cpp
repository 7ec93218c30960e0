// Runs of the environment in this process: a display lost during a run ends it with the
// display-lost state, and the next run makes every picture again.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include "tests/devenv/devenv_fixture.h"
#include "devenv/ide_shell.h"
#include "platform/clock.h"
#include "platform/events.h"
#include "platform/surfaces.h"
#include "runtime/session.h"
#include "tests/support/process.h"

namespace {

class IdeRunTest : public DevenvTest {};

int32_t RunFrames(int64_t frames, int32_t key = 0, const std::string& file = "") {
  g_runtime.options.frames = frames;
  g_runtime.framesRun = 0;
  EventsReset();
  if (key) PostWindowMessage(Message{MsgKind::KeyDown, key, 0});
  return RunIdeUntilExit(IdeCompileReport{}, file, true);
}

// A headless session on the virtual clock, as the environment's runs have.
bool OpenHeadless(Session& session, const std::string& image) {
  RunOptions open;
  open.windowMode = true;
  open.headless = true;
  open.virtualClock = true;
  const bool opened = OpenSession(session, image, open);
  ClockUseVirtual(true);
  return opened;
}

TEST_F(IdeRunTest, ALostDisplayEndsTheRunAndTheNextRunRecreatesIt) {
  Session session;
  ASSERT_TRUE(OpenHeadless(session, dir_.File("none.img")));
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

// The words a start shows stay through the editor's runs until a compile has a message; a line
// that shows anything else shows the project and file again.
TEST_F(IdeRunTest, TheStartsWordsStayUntilACompileHasAMessage) {
  Session session;
  ASSERT_TRUE(OpenHeadless(session, dir_.File("none.img")));
  IdeStartUp(1.0);
  IdeStartUp(1.0);  // the first start shows the introduction instead
  dir_.Write("game.vka", "print 1\r\n");
  EXPECT_EQ(RunFrames(5, 0, dir_.File("game.vka")), kIdeExitRunning);
  EXPECT_EQ(g_ide.statusText, "VELLUMARK V1");
  g_ide.statusText = "AN OLDER MESSAGE";
  EXPECT_EQ(RunFrames(5, 0, dir_.File("game.vka")), kIdeExitRunning);
  EXPECT_EQ(g_ide.statusText.rfind("Project: ", 0), 0u) << g_ide.statusText;
  CloseSession(session);
}

}  // namespace

namespace {

// A recovery that cannot be written whole (the file-size limit, as a full disk) leaves no file
// under any name and says the text could not be kept, naming no file.
TEST_F(IdeRunTest, ARecoveryThatCannotBeWrittenNamesNoFile) {
  g_ide.editor.lines.assign(200, std::string(40, 'x'));
  g_ide.modified = 1;
  g_ide.fileName = "game.vka";
  g_ide.projectFolder = dir_.path();
  const std::string err = dir_.File("err.txt");
  const int status = RunWithFileSizeLimit(4096, [&err] {
    const int fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0 || dup2(fd, 2) < 0) return 9;
    IdeWriteRecoveryFiles();
    return 0;
  });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(dir_.Read("err.txt"), "vellumark: edit: the unsaved changes of game.vka could not be kept\n");
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir_.path()))
    EXPECT_EQ(e.path().filename().string().find("game.vka"), std::string::npos) << e.path();
}

}  // namespace
