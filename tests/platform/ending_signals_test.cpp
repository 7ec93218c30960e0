// The handlers of the ending signals: each blocks all the others while it runs, and one that cannot
// keep every copy of the unsaved text leaves the run folder for the next start.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <optional>
#include <vector>

#include "platform/events.h"
#include "platform/fs.h"
#include "platform/run_folders.h"
#include "platform/unsaved_copies.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

// The stop signals, the held hang-up and the grace alarm each run with every signal blocked whose
// default would end the process (but a fault), and nothing else: one never breaks into another
// halfway.
TEST(EndingSignals, EachHandlerBlocksEveryEndingSignal) {
  const int handled[] = {SIGHUP, SIGINT, SIGALRM, SIGTERM, SIGQUIT, SIGPIPE, SIGRTMAX};
  std::vector<int> ending = {SIGHUP,    SIGINT,    SIGQUIT, SIGUSR1, SIGUSR2, SIGPIPE, SIGALRM, SIGTERM,
                             SIGSTKFLT, SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGIO,   SIGPWR};  // in number order
  for (int s = SIGRTMIN; s <= SIGRTMAX; ++s) ending.push_back(s);
  struct sigaction before[NSIG];
  for (int s : ending) sigaction(s, nullptr, &before[s]);
  for (int s : ending) signal(s, SIG_DFL);  // each is taken only where it would end the process
  EventsCatchStopSignals();
  EventsHoldEndingSignals(true);
  for (int s : handled) {
    SCOPED_TRACE(strsignal(s));
    struct sigaction now {};
    ASSERT_EQ(sigaction(s, nullptr, &now), 0);
    EXPECT_NE(now.sa_handler, SIG_DFL);
    std::vector<int> blocked;
    for (int other = 1; other <= SIGRTMAX; ++other)
      if (sigismember(&now.sa_mask, other) == 1) blocked.push_back(other);
    EXPECT_EQ(blocked, ending);
  }
  EventsHoldEndingSignals(false);
  EventsReleaseStopSignals();
  for (int s : ending) sigaction(s, &before[s], nullptr);
}

// The process a hang-up ends, the grace over with the owner never taking it: the handler keeps
// the copies, but the project folder went away during the run (and no settings folder takes
// text), so one cannot be linked.
void HandlerMeetsAMovedProject(const std::string& top) {
  const std::string project = top + "/project";
  setenv("XDG_STATE_HOME", (top + "/state").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (top + "/no-config").c_str(), 1);
  signal(SIGHUP, SIG_DFL);
  const std::string& run = FsTempFolder();
  const std::string work = run + "/workfile.tmp";
  if (run.empty() || FsWriteNewFile(work, "typed\r\n", FsAccess{}) != FsNewFile::kWritten) _exit(3);
  UnsavedWorkNote({{work, project + "/game.vka", project, "game.vka", 0, ""}});
  UnsavedCopiesHold();
  const bool copied = UnsavedCopyAdd(project, "game.vka", "typed\r\n", FsAccess{});
  UnsavedCopiesArm();
  UnsavedCopiesRelease();
  if (!copied || rename(project.c_str(), (top + "/moved").c_str()) != 0) _exit(4);
  EventsCatchStopSignals();
  EventsHoldEndingSignals(true);
  raise(SIGHUP);   // held for the owner
  raise(SIGALRM);  // the grace is over
  _exit(5);
}

// Such a process ends by the hang-up with its run folder left, and the next start keeps the
// text its record lists. (A fresh process: the test binary's own run folder plays no part.)
TEST(EndingSignals, AHandlerThatCannotKeepEveryCopyLeavesTheRunFolder) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  std::optional<TempDir> made;
  const char* given = getenv("VK_HANDLER_TEST_DIR");
  if (!given) made.emplace();
  const std::string top = given ? given : made->path(), state = top + "/state";
  if (!given) {
    std::filesystem::create_directories(top + "/project");
    made->Write("no-config", "a file where the settings folder would be");
    setenv("VK_HANDLER_TEST_DIR", top.c_str(), 1);
  }
  EXPECT_EXIT(HandlerMeetsAMovedProject(top), ::testing::KilledBySignal(SIGHUP), "");
  unsetenv("VK_HANDLER_TEST_DIR");
  int runs = 0;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(state + "/vellumark", ec))
    runs += e.path().filename().string().rfind("run-", 0) == 0;
  EXPECT_EQ(runs, 1);
  const ProcessResult next = RunProcess(VellumarkExe(), {"--version"}, top,
                                        {"XDG_STATE_HOME=" + state, "XDG_CONFIG_HOME=" + top + "/config"});
  const std::string kept = top + "/config/vellumark/game.vka.recovered";
  EXPECT_NE(next.err.find("kept in " + kept), std::string::npos) << next.err;
  EXPECT_EQ(made->Read("config/vellumark/game.vka.recovered"), "typed\r\n");
}

// Every handler that ends the process removes the temporary of a file being written, so an
// output replaced through one never leaves it beside the old file: the held hang-up whose grace
// is over (the environment), a stop once the run's outputs are written, the run folder's
// hang-up, and a command that runs no program (its run folder too).
TEST(EndingSignals, EachEndingRemovesTheTemporaryOfAWrite) {
  struct Case {
    const char* name;
    void (*setup)();
    void (*during)();  // while the temporary is there
    int endsBy;        // the signal, or -status
  };
  const Case cases[] = {
      {"held hang-up", [] { EventsCatchStopSignals(); EventsHoldEndingSignals(true); },
       [] { raise(SIGHUP); raise(SIGALRM); }, SIGHUP},
      {"stop after the outputs", [] { EventsCatchStopSignals(); EventsEndProcessOnStop(0); }, [] { raise(SIGTERM); }, 0},
      {"run folder's hang-up", [] { FsTempFolder(); }, [] { raise(SIGHUP); }, SIGHUP},
      {"command", [] { FsTempFolder(); EventsEndTidilyOnSignals(true); }, [] { raise(SIGINT); }, SIGINT},
      {"command's SIGUSR1", [] { FsTempFolder(); EventsEndTidilyOnSignals(true); }, [] { raise(SIGUSR1); }, SIGUSR1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    dir.Write("out", "old");
    const pid_t child = fork();
    if (child == 0) {
      UseDefaultSignals();
      setenv("XDG_STATE_HOME", dir.path().c_str(), 1);
      FsLeaveTempFolder();
      c.setup();
      g_fsWritingTempMade = c.during;
      FsWriteFileAtomic(dir.File("out"), "new");
      _exit(7);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    if (c.endsBy > 0) {
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.endsBy) << status;
    } else {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == -c.endsBy) << status;
    }
    EXPECT_EQ(dir.Read("out"), "old");
    size_t left = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
      left += e.path().filename().string().rfind(".vk-", 0) == 0;
    EXPECT_EQ(left, 0u);
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir.File("vellumark"), ec))
      ADD_FAILURE() << "left: " << e.path();
  }
}

}  // namespace
