// The handlers of the ending signals: each blocks all four while it runs, and one that cannot
// keep every copy of the unsaved text leaves the run folder for the next start.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <vector>

#include "platform/events.h"
#include "platform/fs.h"
#include "platform/unsaved_copies.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

// The stop signals, the held hang-up and the grace alarm each run with SIGINT, SIGTERM, SIGHUP
// and SIGALRM blocked, and nothing else: one never breaks into another halfway.
TEST(EndingSignals, EachHandlerBlocksTheFourEndingSignals) {
  const int ending[] = {SIGHUP, SIGINT, SIGALRM, SIGTERM};  // in number order
  struct sigaction before[4];
  for (int k = 0; k < 4; ++k) sigaction(ending[k], nullptr, &before[k]);
  signal(SIGHUP, SIG_DFL);  // a hang-up is taken only where it would end the process
  EventsCatchStopSignals();
  EventsHoldEndingSignals(true);
  for (int s : ending) {
    SCOPED_TRACE(strsignal(s));
    struct sigaction now {};
    ASSERT_EQ(sigaction(s, nullptr, &now), 0);
    EXPECT_NE(now.sa_handler, SIG_DFL);
    std::vector<int> blocked;
    for (int other = 1; other <= SIGRTMAX; ++other)
      if (sigismember(&now.sa_mask, other) == 1) blocked.push_back(other);
    EXPECT_EQ(blocked, std::vector<int>(std::begin(ending), std::end(ending)));
  }
  EventsHoldEndingSignals(false);
  EventsReleaseStopSignals();
  for (int k = 0; k < 4; ++k) sigaction(ending[k], &before[k], nullptr);
}

// The grace over with the owner never taking the hang-up, the handler keeps the copies; the
// project folder went away during the run (and no settings folder takes text), so one cannot
// be linked. The process ends by the hang-up with its run folder left, and the next start
// keeps the text its record lists.
TEST(EndingSignals, AHandlerThatCannotKeepEveryCopyLeavesTheRunFolder) {
  TempDir dir;
  const std::string project = dir.File("project"), state = dir.File("state");
  std::filesystem::create_directories(project);
  dir.Write("no-config", "a file where the settings folder would be");
  const pid_t child = fork();
  if (child == 0) {
    setenv("XDG_STATE_HOME", state.c_str(), 1);
    setenv("XDG_CONFIG_HOME", dir.File("no-config").c_str(), 1);
    signal(SIGHUP, SIG_DFL);
    const std::string& run = FsTempFolder();
    const std::string work = run + "/workfile.tmp";
    if (run.empty() || FsWriteNewFile(work, "typed\r\n", FsAccess{}) != FsNewFile::kWritten) _exit(3);
    UnsavedWorkNote({{work, project + "/game.vka", project, "game.vka", 0, ""}});
    UnsavedCopiesHold();
    const bool copied = UnsavedCopyAdd(project, "game.vka", "typed\r\n", FsAccess{});
    UnsavedCopiesArm();
    UnsavedCopiesRelease();
    if (!copied || rename(project.c_str(), dir.File("moved").c_str()) != 0) _exit(4);
    EventsCatchStopSignals();
    EventsHoldEndingSignals(true);
    raise(SIGHUP);   // held for the owner
    raise(SIGALRM);  // the grace is over
    _exit(5);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGHUP) << status;
  int runs = 0;
  for (const auto& e : std::filesystem::directory_iterator(state + "/vellumark"))
    runs += e.path().filename().string().rfind("run-", 0) == 0;
  EXPECT_EQ(runs, 1);
  const ProcessResult next = RunProcess(VellumarkExe(), {"--version"}, dir.path(),
                                        {"XDG_STATE_HOME=" + state, "XDG_CONFIG_HOME=" + dir.File("config")});
  const std::string kept = dir.File("config/vellumark/game.vka.recovered");
  EXPECT_NE(next.err.find("kept in " + kept), std::string::npos) << next.err;
  EXPECT_EQ(dir.Read("config/vellumark/game.vka.recovered"), "typed\r\n");
}

}  // namespace
