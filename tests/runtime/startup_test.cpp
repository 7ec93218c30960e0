#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "core/command_table.h"
#include "core/errors.h"
#include "core/interp.h"
#include "platform/fs.h"
#include "runtime/startup.h"
#include "tests/support/image_builder.h"
#include "tests/support/temp_dir.h"

namespace {

void CmdFail105() { RunError(105); }

class StartupTest : public testing::Test {
 protected:
  void SetUp() override {
    oldFolder = FsCurrentFolder();
    FsChangeFolder(dir.path());
  }
  void TearDown() override {
    FsChangeFolder(oldFolder);
    g_testTableHook = nullptr;
  }
  int RunFailing(bool debug = false) {
    ImageBuilder b;
    b.Emit({13});
    b.WriteFile(dir.File("prog.img"));
    g_testTableHook = [] {
      g_commandTable[13] = CmdFail105;
      g_commandOperands[13] = "";
    };
    RunOptions o;
    o.headless = true;
    o.debug = debug;
    o.virtualClock = true;
    o.frames = 20;
    testing::internal::CaptureStderr();
    int status = RunImageFile(dir.File("prog.img"), o);
    err = testing::internal::GetCapturedStderr();
    return status;
  }
  TempDir dir;
  std::string oldFolder, err;
};

TEST_F(StartupTest, OnlyAnExactOneSwitchesASettingOn) {
  g_runtime.programFolder = dir.path() + "/";
  for (const char* value : {"0", " 1", "yes", "11", "1"}) {
    dir.Write("SETUP.INI", std::string("[SETTINGS]\nWINDOWMODE=") + value + "\n");
    uint32_t fullScreen = 1, windowMode = 0;
    ReadRuntimeSettings(&fullScreen, &windowMode);
    bool on = std::string(value) == "1";
    EXPECT_EQ(windowMode, on ? 1u : 0u) << value;
    EXPECT_EQ(fullScreen, on ? 0u : 1u) << value;
  }
}

// A grab that cannot be written fails its own run, not the next run of the process.
TEST_F(StartupTest, AFailedGrabFailsOnlyItsOwnRun) {
  ImageBuilder b;
  b.Emit({});
  b.WriteFile(dir.File("prog.img"));
  RunOptions o;
  o.headless = true;
  o.frames = 2;
  for (const auto& [grab, status] : {std::pair<std::string, int>{"/dev/full", kExitCompileError}, {"", kExitOk}}) {
    o.grabFile = grab;
    testing::internal::CaptureStderr();
    EXPECT_EQ(RunImageFile(dir.File("prog.img"), o), status) << grab;
    testing::internal::GetCapturedStderr();
  }
}

TEST_F(StartupTest, ARunTimeErrorIsReportedWithStatus1) {
  EXPECT_EQ(RunFailing(), kExitRunError);
  EXPECT_NE(err.find("Error In Program: Runtime Error : ERROR 10. "), std::string::npos) << err;
  EXPECT_FALSE(std::filesystem::exists(dir.File("VK.LOG")));
}

TEST_F(StartupTest, DebugModeStartsAFreshLogAndRecordsTheError) {
  dir.Write("VK.LOG", "[OLD]\nX=1\n");
  dir.Write("SETUP.INI", "[SETTINGS]\nDEBUGMODE=1\n");
  EXPECT_EQ(RunFailing(), kExitRunError);
  std::string log = dir.Read("VK.LOG");
  EXPECT_EQ(log.find("[OLD]"), std::string::npos);
  EXPECT_NE(log.find("RUNTIMEERROR ON "), std::string::npos);
  EXPECT_NE(log.find("[VELLUMARKLOOPMIDDLE]"), std::string::npos);  // the per-command trace
  EXPECT_NE(log.find("PC0=13"), std::string::npos);

  // The debug option does the same.
  dir.Write("SETUP.INI", "");
  dir.Write("VK.LOG", "[OLD]\nX=1\n");
  EXPECT_EQ(RunFailing(true), kExitRunError);
  log = dir.Read("VK.LOG");
  EXPECT_EQ(log.find("[OLD]"), std::string::npos);
  EXPECT_NE(log.find("RUNTIMEERROR ON "), std::string::npos);
  EXPECT_NE(log.find("PC0=13"), std::string::npos);
}

// A fresh log removes the file named VK.LOG only, and the log and the listing are written to
// VK.LOG and VK.VKA only, never to a user's file of another case.
TEST_F(StartupTest, AFreshLogLeavesAUsersLogOfAnotherCase) {
  const struct {
    const char* setup;
    bool debug;
  } cases[] = {{"DEBUGMODE=1", false}, {"TRACEMODE=1", false}, {"RUNTIMETEST=1", false}, {"", true}};
  for (const auto& c : cases) {
    dir.Write("SETUP.INI", std::string("[SETTINGS]\n") + c.setup + "\n");
    dir.Write("vk.log", "[MINE]\nX=1\n");
    dir.Write("VK.LOG", "[OLD]\nX=1\n");
    RunFailing(c.debug);
    EXPECT_EQ(dir.Read("vk.log"), "[MINE]\nX=1\n") << c.setup;
    EXPECT_EQ(dir.Read("VK.LOG").find("[OLD]"), std::string::npos) << c.setup;
  }
  EXPECT_NE(dir.Read("VK.LOG").find("RUNTIMEERROR ON "), std::string::npos);
  dir.Write("vk.vka", "print 1\n");
  g_runtime.programFolder = dir.path() + "/";
  WriteDebugListing("PRINT 2", 7);
  EXPECT_EQ(dir.Read("vk.vka"), "print 1\n");
  EXPECT_NE(dir.Read("VK.VKA").find("     1 : PRINT 2"), std::string::npos);
  g_runtime = RuntimeState{};
}

TEST_F(StartupTest, RuntimeTestModeSuppressesTheReport) {
  dir.Write("SETUP.INI", "[SETTINGS]\nRUNTIMETEST=1\n");
  EXPECT_EQ(RunFailing(), kExitRunError);
  EXPECT_EQ(err.find("Error In Program"), std::string::npos);
}

TEST_F(StartupTest, AProgramFolderThatCannotBeWrittenUsesThePerUserFolder) {
  const char* old = std::getenv("XDG_CONFIG_HOME");
  const std::string oldConfig = old ? old : "";
  setenv("XDG_CONFIG_HOME", dir.File("config").c_str(), 1);
  const std::string perUser = dir.File("config") + "/vellumark/";
  std::filesystem::create_directories(perUser);
  std::ofstream(perUser + "SETUP.INI") << "[SETTINGS]\nWINDOWMODE=1\nDEBUGMODE=1\n";

  // A writable program folder without settings keeps the defaults and its own logs.
  g_runtime.programFolder = dir.path() + "/";
  uint32_t fullScreen = 1, windowMode = 0;
  ReadRuntimeSettings(&fullScreen, &windowMode);
  EXPECT_EQ(windowMode, 0u);
  EXPECT_EQ(ProgramSideFile("VK.LOG"), dir.File("VK.LOG"));

  // A program folder that cannot be written: settings, error log and listing are per user.
  g_runtime.programFolder = dir.File("gone") + "/";
  ReadRuntimeSettings(&fullScreen, &windowMode);
  EXPECT_EQ(windowMode, 1u);
  EXPECT_EQ(fullScreen, 0u);
  EXPECT_EQ(g_runtime.debugMode, 1);
  AppendErrorLog("Runtime Error : ERROR 10. ");
  EXPECT_NE(dir.Read("config/vellumark/VK.LOG").find("Runtime Error : ERROR 10. "), std::string::npos);
  WriteDebugListing("PRINT 1", 7);
  EXPECT_NE(dir.Read("config/vellumark/VK.VKA").find("     1 : PRINT 1"), std::string::npos);

  if (old) setenv("XDG_CONFIG_HOME", oldConfig.c_str(), 1);
  else unsetenv("XDG_CONFIG_HOME");
  g_runtime = RuntimeState{};
}

}  // namespace
