// Runs of the environment in this process: a display lost during a run ends it with the
// display-lost state, and the next run makes every picture again.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/devenv/devenv_fixture.h"
#include "core/errors.h"
#include "devenv/ide_shell.h"
#include "platform/clock.h"
#include "platform/events.h"
#include "platform/fs.h"
#include "platform/unsaved_copies.h"
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
  IdeStartUp(1.0);  // a later start: no introduction takes the keys
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

// A run's error shows in capitals in the status line, but the file it names and why as the
// program named it: capitals would name another file.
TEST_F(IdeRunTest, ARunsErrorNamesItsFileAsTheProgramSpelledIt) {
  Session session;
  ASSERT_TRUE(OpenHeadless(session, dir_.File("none.img")));
  IdeStartUp(1.0);
  IdeStartUp(1.0);
  g_errorCode = kErrFileNotFound;
  g_errorKind = 0;
  g_lastEngineError = "caf\xE9 d\xE9j\xE0.png: not found";
  IdeCompileReport report = IdeRunErrorReport(RunOptions{}, "");
  report.errorLine = 1;  // kept over the project's line as an error's is
  g_errorCode = 0;
  g_lastEngineError.clear();
  g_runtime.options.frames = 2;
  g_runtime.framesRun = 0;
  EventsReset();
  EXPECT_EQ(RunIdeUntilExit(report, "", true), kIdeExitRunning);
  EXPECT_EQ(g_ide.statusText, "RUNTIME ERROR : ERROR 10. caf\xE9 d\xE9j\xE0.png: not found");
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

// Text of a source whose folder takes no file, or of an example of the help, goes to the
// settings folder, private whatever the source's access: written at an ending, or copied for a
// run and linked then. Nothing is written into the help's folder.
TEST_F(IdeRunTest, TextKeptInTheSettingsFolderIsPrivate) {
  std::filesystem::create_directories(dir_.File("HELP/examples"));
  dir_.Write("HELP/examples/ex.vka", "print 4\r\n");
  g_ide.settings.helpFolder = dir_.File("HELP/");
  const struct {
    std::string fileName, folder;
  } sources[] = {{"status", "/proc/self"},  // 0444, in a folder that takes no file
                 {"ex.vka", dir_.File("HELP/examples")}};
  for (const auto& [fileName, folder] : sources) {
    for (const bool copied : {false, true}) {
      SCOPED_TRACE(fileName + (copied ? ", copied for a run" : ", written at an ending"));
      g_ide.settings.helpFolder = dir_.File("HELP/");
      g_ide.editor.lines.assign(1, "typed");
      g_ide.modified = 1;
      g_ide.fileName = fileName;
      g_ide.projectFolder = folder;
      if (copied) IdeKeepUnsavedForRun();
      testing::internal::CaptureStderr();
      IdeWriteRecoveryFiles();
      const std::string said = testing::internal::GetCapturedStderr();
      IdeDropUnsavedCopies();
      const std::string kept = dir_.File("config/vellumark/" + fileName + ".recovered");
      struct stat st {};
      ASSERT_EQ(stat(kept.c_str(), &st), 0) << said;
      EXPECT_EQ(st.st_mode & 07777, 0600u);
      EXPECT_NE(said.find("kept in " + kept + "\n"), std::string::npos) << said;
      std::filesystem::remove(kept);
      EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.File("HELP/examples")),
                              std::filesystem::directory_iterator()),
                1);
      ResetIdeState();
    }
  }
}

}  // namespace

namespace {

// F5 whose work file or record cannot be written: said on stderr and in the status line, and
// the editor goes on with its text (no copy left behind); the next creation still has it.
TEST_F(IdeRunTest, AnF5WhoseFilesCannotBeWrittenKeepsTheText) {
  struct Case {
    const char* name;
    const char* workFile;  // in dir_
    int32_t faults;        // writes that fail: the first is the copies' record
    bool recordFolder;     // a folder stands at the work files' record
    std::string said, status;
  };
  const std::string run = FsTempFolder();
  const Case cases[] = {
      {"work file", "gone/workfile.tmp", 0, false, "the work file " + dir_.File("gone/workfile.tmp") + " could not be written: not found",
       "THE WORK FILE COULD NOT BE WRITTEN: NOT FOUND"},
      {"copies' record", "workfile.tmp", 1, false, "the record " + run + "/unsaved.rec could not be written: disk full",
       "THE RECORD OF THE UNSAVED TEXT COULD NOT BE WRITTEN: DISK FULL"},
      {"work files' record", "workfile.tmp", 0, true, "the record " + run + "/work.rec could not be written: is a folder",
       "THE RECORD OF THE UNSAVED TEXT COULD NOT BE WRITTEN: IS A FOLDER"}};
  Session session;
  ASSERT_TRUE(OpenHeadless(session, dir_.File("none.img")));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResetIdeState();
    IdeStartUp(1.0);
    IdeStartUp(1.0);
    dir_.Write("game.vka", "print 1\r\n");
    g_runtime.workFileTmp = dir_.File(c.workFile);
    g_runtime.workFileTmp2 = dir_.File("workfil2.tmp");
    std::filesystem::remove(run + "/work.rec");
    if (c.recordFolder) std::filesystem::create_directory(run + "/work.rec");
    EXPECT_EQ(RunFrames(2, 0, dir_.File("game.vka")), kIdeExitRunning);
    g_runtime.options.frames = 20;
    g_runtime.framesRun = 0;
    EventsReset();
    PostWindowMessage(Message{MsgKind::Char, 'x', 0});
    PostWindowMessage(Message{MsgKind::KeyDown, 116, 0});  // F5
    g_fsWriteFaults = c.faults;
    testing::internal::CaptureStderr();
    const int32_t state = RunIdeUntilExit(IdeCompileReport{}, "", true);
    const std::string said = testing::internal::GetCapturedStderr();
    g_fsWriteFaults = 0;
    std::filesystem::remove(run + "/work.rec");
    EXPECT_EQ(state, kIdeExitRunning);  // nothing compiled: the frames ran out in the editor
    EXPECT_NE(said.find("vellumark: edit: " + c.said + "\n"), std::string::npos) << said;
    EXPECT_EQ(g_ide.statusText, c.status);
    for (const auto& e : std::filesystem::directory_iterator(dir_.path()))
      EXPECT_EQ(e.path().filename().string().find(".unsaved-"), std::string::npos) << e.path();
    g_runtime.workFileTmp = dir_.File("workfile.tmp");
    EXPECT_EQ(RunFrames(2), kIdeExitRunning);  // made again
    ASSERT_FALSE(g_ide.editor.lines.empty());
    EXPECT_EQ(g_ide.editor.lines[0], "xprint 1");
    EXPECT_TRUE(g_ide.modified);
  }
  UnsavedWorkNote({});
  g_runtime.workFileTmp.clear();
  g_runtime.workFileTmp2.clear();
  CloseSession(session);
}

// The introduction of a first start is there from the first frame: a key of that frame goes to
// it, not to the editor under it.
TEST_F(IdeRunTest, TheFirstStartsPageTakesTheFirstFramesKeys) {
  Session session;
  ASSERT_TRUE(OpenHeadless(session, dir_.File("none.img")));
  IdeStartUp(1.0);
  ASSERT_TRUE(g_ide.firstRun);
  g_runtime.options.frames = 1;
  g_runtime.framesRun = 0;
  EventsReset();
  for (const Message& m : {Message{MsgKind::KeyDown, 'X', 0}, Message{MsgKind::Char, 'x', 0}}) PostWindowMessage(m);
  EXPECT_EQ(RunIdeUntilExit(IdeCompileReport{}, "", true), kIdeExitRunning);
  EXPECT_TRUE(g_ide.helpView);
  EXPECT_EQ(g_ide.editor.lines, std::vector<std::string>{""});
  // Shown once: closed, it stays closed in the frames after.
  g_runtime.options.frames = 2;
  g_runtime.framesRun = 0;
  EventsReset();
  PostWindowMessage(Message{MsgKind::KeyDown, kVkF11, 0});
  EXPECT_EQ(RunIdeUntilExit(IdeCompileReport{}, "", true), kIdeExitRunning);
  EXPECT_FALSE(g_ide.helpView);
  CloseSession(session);
}

// Two places of kept text take turns in the status line while the editor runs.
TEST_F(IdeRunTest, TheFrameLoopTurnsThePlacesOfKeptText) {
  Session session;
  ASSERT_TRUE(OpenHeadless(session, dir_.File("none.img")));
  IdeStartUp(1.0);
  IdeStartUp(1.0);
  g_ide.startNotices = {"kept in a", "kept in b"};
  g_ide.statusText = g_ide.startNotices[0];
  EXPECT_EQ(RunFrames(kStartNoticeFrames + 2), kIdeExitRunning);
  EXPECT_EQ(g_ide.statusText, "kept in b");
  CloseSession(session);
}

}  // namespace
