// How stop signals end a process: during the shut-down after its run was written out, at once
// with its status and its temporary folder removed; while the environment holds them, once it
// has kept what it must.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/time.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/events.h"
#include "platform/fs.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

// In a death test's child: hang-ups and stop signals reach the handlers, which hold the ending.
void HoldEndingsAsTheEnvironmentDoes() {
  UseDefaultSignals();
  EventsCatchStopSignals();
  EventsHoldEndingSignals(true);
}

TEST(StopExit, AStopDuringTheShutDownEndsTheProcessWithItsStatus) {
  // The child starts afresh (no temporary folder of this process to inherit) and takes the
  // folder to work in from the environment.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  std::optional<TempDir> dir;
  const char* given = getenv("VK_STOP_EXIT_TMP");
  if (!given) dir.emplace();
  const std::string tmp = given ? given : dir->path();
  setenv("VK_STOP_EXIT_TMP", tmp.c_str(), 1);
  const std::string root = tmp + "/vellumark";
  EXPECT_EXIT(
      {
        UseDefaultSignals();
        setenv("XDG_STATE_HOME", tmp.c_str(), 1);
        if (FsTempFolder().empty()) _exit(9);
        EventsCatchStopSignals();
        EventsEndProcessOnStop(7);
        raise(SIGTERM);
        _exit(8);
      },
      ::testing::ExitedWithCode(7), "");
  unsetenv("VK_STOP_EXIT_TMP");
  std::error_code ec;
  EXPECT_TRUE(std::filesystem::exists(root));
  EXPECT_TRUE(std::filesystem::is_empty(root, ec));
}

// While the environment holds the signals that would end it, a hang-up asks the run to stop
// as a stop signal does; the hang-ups of one closing terminal, or a stop signal with them, are
// one request, and only a stop signal half a second on ends the process at once.
TEST(StopExit, HeldHangUpsAreOneRequest) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const struct {
    const char* name;
    int then, afterMs;
    int endsBy;  // 0: the process goes on, holding the hang-up
  } cases[] = {{"a second hang-up", SIGHUP, 0, 0}, {"a stop signal with it", SIGTERM, 0, 0},
               {"a stop signal later", SIGTERM, 600, SIGHUP}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto body = [&c] {
      HoldEndingsAsTheEnvironmentDoes();
      EventsProgramRunning(true);
      raise(SIGHUP);
      usleep(useconds_t(c.afterMs) * 1000);
      raise(c.then);
      const int taken = EventsEndingSignal();  // the owner is at work on it: the grace is over
      raise(SIGALRM);                          // so an alarm now is one more stop signal
      _exit(StopSignalReceived() && taken == SIGHUP ? 0 : 1);
    };
    if (c.endsBy)
      EXPECT_EXIT(body(), ::testing::KilledBySignal(c.endsBy), "");
    else
      EXPECT_EXIT(body(), ::testing::ExitedWithCode(0), "");
  }
}

// Outside the environment a hang-up is a stop: the hang-ups that follow it are the same
// request, a stop signal half a second on ends the process at once; under nohup none is taken,
// and the release leaves it ignored.
TEST(StopExit, AHangUpIsAStop) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const struct {
    const char* name;
    bool ignored;
    int then;
    int endsBy;  // 0: the process goes on
  } cases[] = {{"hang-ups", false, SIGHUP, 0}, {"a stop signal later", false, SIGTERM, SIGTERM}, {"nohup", true, SIGHUP, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto body = [&c] {
      UseDefaultSignals();
      signal(SIGHUP, c.ignored ? SIG_IGN : SIG_DFL);
      EventsCatchStopSignals();
      EventsProgramRunning(true);
      raise(SIGHUP);
      if (StopSignalReceived() == c.ignored) _exit(2);
      usleep(600000);
      raise(c.then);
      EventsReleaseStopSignals();
      struct sigaction now {};
      sigaction(SIGHUP, nullptr, &now);
      _exit(now.sa_handler == (c.ignored ? SIG_IGN : SIG_DFL) ? 0 : 1);
    };
    if (c.endsBy)
      EXPECT_EXIT(body(), ::testing::KilledBySignal(c.endsBy), "");
    else
      EXPECT_EXIT(body(), ::testing::ExitedWithCode(0), "");
  }
}

// Every signal whose default ends the process is a stop, one ignored from the start (as a
// background job's SIGINT) stays ignored, and an alarm from outside while the environment holds
// the alarm for its grace is a stop as well.
TEST(StopExit, EachEndingSignalIsAStopUnlessIgnored) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const struct {
    int signal;
    bool ignored, held;
  } cases[] = {{SIGUSR1, false, false}, {SIGINT, true, false}, {SIGALRM, false, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(strsignal(c.signal));
    EXPECT_EXIT(
        {
          UseDefaultSignals();
          signal(c.signal, c.ignored ? SIG_IGN : SIG_DFL);
          EventsCatchStopSignals();
          if (c.held) EventsHoldEndingSignals(true);
          EventsProgramRunning(true);
          raise(c.signal);
          _exit(StopSignalReceived() != c.ignored && EventsEndingSignal() == 0 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
  }
}

// The release gives every stop signal back the handler it had before the catching.
TEST(StopExit, TheReleaseGivesEachSignalItsHandlerBack) {
  struct sigaction mine {}, kept[3];
  mine.sa_handler = [](int) {};
  const int signals[3] = {SIGINT, SIGTERM, SIGHUP};
  for (int k = 0; k < 3; ++k) sigaction(signals[k], &mine, &kept[k]);
  EventsCatchStopSignals();
  EventsReleaseStopSignals();
  for (int k = 0; k < 3; ++k) {
    struct sigaction now {};
    sigaction(signals[k], &kept[k], &now);
    EXPECT_EQ(now.sa_handler, mine.sa_handler) << strsignal(signals[k]);
  }
}

// A command's tidy ending takes each stop signal once, leaves an ignored one ignored (nohup), and
// gives back what was there, however often it is asked to take them.
TEST(StopExit, ATidyEndingLeavesIgnoredSignalsAndGivesTheOthersBack) {
  struct sigaction mine {}, ignore {}, kept[2];
  mine.sa_handler = [](int) {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGTERM, &mine, &kept[0]);
  sigaction(SIGHUP, &ignore, &kept[1]);
  const auto handler = [](int signal) {
    struct sigaction now {};
    sigaction(signal, nullptr, &now);
    return now.sa_handler;
  };
  EventsEndTidilyOnSignals(true);
  EventsEndTidilyOnSignals(true);
  EXPECT_NE(handler(SIGTERM), mine.sa_handler);
  EXPECT_EQ(handler(SIGHUP), SIG_IGN);
  EventsEndTidilyOnSignals(false);
  EXPECT_EQ(handler(SIGTERM), mine.sa_handler);
  EXPECT_EQ(handler(SIGHUP), SIG_IGN);
  sigaction(SIGTERM, &kept[0], nullptr);
  sigaction(SIGHUP, &kept[1], nullptr);
}

// A hang-up after a kept SIGTERM changes nothing: the kept signal stays and its grace period
// runs on from when it was kept.
TEST(StopExit, AHangUpAfterAKeptStopIsTheSameRequest) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const auto body = [] {
    HoldEndingsAsTheEnvironmentDoes();
    raise(SIGTERM);
    usleep(600000);
    raise(SIGTERM);  // kept, the grace alarm set
    const auto leftUs = [] {
      itimerval left{};
      getitimer(ITIMER_REAL, &left);
      return int64_t(left.it_value.tv_sec) * 1000000 + left.it_value.tv_usec;
    };
    const int64_t set = leftUs();
    if (set <= 0) _exit(2);
    while (set - leftUs() < 100000) usleep(1000);  // the grace period has run 0.1 s on
    raise(SIGHUP);
    const int64_t left = leftUs();  // before the owner takes the signal, which stops the alarm
    _exit(EventsEndingSignal() == SIGTERM && left > 0 && left <= set - 100000 ? 0 : 1);
  };
  EXPECT_EXIT(body(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
