// Once a stop signal has come, long work gives up (file reads, the model reader) and what
// fails for it is no error of the program: the run ends as a closed window does. One during the
// shut-down of a finished run ends the process at once.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <string>

#include "core/errors.h"
#include "core/run_state.h"
#include "model/xfile/xfile.h"
#include "platform/events.h"
#include "platform/fs.h"
#include "runtime/startup.h"
#include "sound/engine/drivers/driver.h"
#include "sound/engine/drivers/driver_manual.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"

namespace {

class StopRequest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_.Write("data.bin", std::string(3 << 20, 'x'));
    g_errorCode = 0;
    EventsReset();
    EventsCatchStopSignals();
    EventsProgramRunning(true);
    raise(SIGTERM);
  }
  void TearDown() override {
    EventsProgramRunning(false);
    EventsReleaseStopSignals();
    EventsReset();
    g_errorCode = 0;
  }
  TempDir dir_;
};

TEST_F(StopRequest, LongWorkGivesUpAndItsFailureIsNoError) {
  ASSERT_TRUE(StopSignalReceived());
  std::string bytes;
  EXPECT_FALSE(FsReadFile(dir_.File("data.bin"), bytes));
  EXPECT_EQ(FsReadRegularFile(dir_.File("data.bin"), bytes, uint64_t(1) << 30, false), FsRead::kFailed);
  std::string model = "xof 0303txt 0032\nMesh m {\n100000;\n";
  for (int k = 0; k < 100000; ++k) model += "1.0;2.0;3.0;,\n";
  model += ";\n0;;\n}\n";
  XFile x;
  const XReadResult read = ParseXFile(model, x);
  EXPECT_FALSE(read.ok());
  EXPECT_EQ(read.message, "the read was stopped");
  RunError(kErrFileNotFound);
  EXPECT_EQ(g_errorCode, 0);
  EXPECT_TRUE(QuitPosted());
  // Outside a program (the environment's editor going on after a close it was asked for), and
  // once released, the same work is done again.
  EventsProgramRunning(false);
  EXPECT_FALSE(StopSignalReceived());
  EXPECT_TRUE(FsReadFile(dir_.File("data.bin"), bytes));
  EventsProgramRunning(true);
  EventsReleaseStopSignals();
  EXPECT_FALSE(StopSignalReceived());
  EXPECT_TRUE(FsReadFile(dir_.File("data.bin"), bytes));
  EXPECT_EQ(bytes.size(), size_t(3) << 20);
  EXPECT_TRUE(ParseXFile(model, x).ok());
}

// The run's input file, read at its start (the environment hands its --input over at each run),
// is given up as well: the run ends as a stop, not as input devices that cannot start.
TEST_F(StopRequest, AnInputFileGivenUpIsNoError) {
  dir_.Write("input.txt", "5 key Left down\n");
  g_runtime.options.inputFile = dir_.File("input.txt");
  EXPECT_FALSE(InitRuntimeSubsystems());
  EXPECT_EQ(g_errorCode, 0);
  g_runtime.options.inputFile.clear();
}

// A built game whose pack load fails once the stop has come ends as a closed window does:
// at once, with status 0 rather than the load failure's.
TEST_F(StopRequest, AStoppedPackLoadEndsAsAClosedWindowDoes) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  dir_.Write("game", "no pack here");
  EXPECT_EXIT(_exit(RunBuiltGame(dir_.File("game"), {}) + 10), ::testing::ExitedWithCode(0), "");
}

// The sound output's close, during the shut-down of a run that has ended, meets a stop signal:
// the process ends in it, with the run's status.
SoundOutputDriver g_closingDriver;
void (*g_driverClose)() = nullptr;
bool g_runEnded = false;
void CloseMeetingAStop() {
  if (g_runEnded) {
    raise(SIGTERM);
    _exit(9);  // the signal did not end the process
  }
  g_driverClose();
}

TEST(StopDuringShutDown, EndsAFinishedRunAtOnceWithStatus0) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        ManualDriverInstall(true);
        g_closingDriver = *g_sound.driverOverride;
        g_driverClose = g_closingDriver.close;
        g_closingDriver.close = CloseMeetingAStop;
        g_sound.driverOverride = &g_closingDriver;
        TestRun run;
        run.afterRun = [] { g_runEnded = true; };
        _exit(RunTestImage(ImageBuilder(), run) + 10);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
