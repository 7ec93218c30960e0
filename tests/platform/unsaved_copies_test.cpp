// Unsaved text copied for a run becomes a recovery file whatever ends the process: a held
// ending the busy main thread never takes (a repeated stop signal, the grace alarm), or a kill
// after which the next start finds the copies through the dead process's run folder.
#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>

#include "platform/events.h"
#include "platform/fs.h"
#include "platform/stop_request.h"
#include "platform/unsaved_copies.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(UnsavedCopies, AnEndingTheMainThreadNeverTakesLinksThemToRecoveryFiles) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // The child starts afresh and takes the folder from the environment.
  std::optional<TempDir> dir;
  const char* given = getenv("VK_UNSAVED_DIR");
  if (!given) dir.emplace();
  const std::string folder = given ? given : dir->path();
  setenv("VK_UNSAVED_DIR", folder.c_str(), 1);
  const struct {
    const char* name;
    int then;  // after the held hang-up: a stop signal 600 ms on, or the grace alarm going off
    const char* kept;
  } cases[] = {{"a repeated stop signal", SIGTERM, "game.vka.recovered"},
               {"the grace alarm", SIGALRM, "game.vka.recovered-2"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto body = [&c, &folder] {
      setenv("TMPDIR", folder.c_str(), 1);
      signal(SIGHUP, SIG_DFL);
      sigset_t set;
      sigemptyset(&set);
      for (int s : {SIGHUP, SIGTERM, SIGALRM}) sigaddset(&set, s);
      sigprocmask(SIG_UNBLOCK, &set, nullptr);
      EventsCatchStopSignals();
      EventsHoldEndingSignals(true);
      EventsProgramRunning(true);
      if (!UnsavedCopyAdd(folder, "game.vka", "print 1\r\n")) _exit(2);
      UnsavedCopiesArm();
      raise(SIGHUP);
      usleep(600000);
      raise(c.then);
      for (;;) pause();  // stuck: never looks at the stop
    };
    EXPECT_EXIT(body(), ::testing::KilledBySignal(SIGHUP), std::string("kept in ") + folder + "/" + c.kept + "\n");
    std::string text;
    EXPECT_TRUE(FsReadFile(folder + "/" + c.kept, text));
    EXPECT_EQ(text, "print 1\r\n");
  }
  unsetenv("VK_UNSAVED_DIR");
  // Only the recovery files are left: the copies were linked, not written again.
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(folder)) files += e.is_regular_file();
  EXPECT_EQ(files, 2);
}

// What a dead process's run folder records: a copy beside its recovery name is linked to it; a
// work file that was the only copy is named and keeps the folder.
TEST(UnsavedCopies, TheNextStartKeepsWhatTheRecordLists) {
  TempDir dir;
  std::filesystem::create_directories(dir.File("run"));
  dir.Write(".game.vka.unsaved-1-1", "typed\r\n");
  dir.Write("run/workfile.tmp", "only\r\n");
  const struct {
    const char* name;
    std::string record, kept;
    bool folderGoes;
  } cases[] = {
      {"a copy", dir.File(".game.vka.unsaved-1-1") + '\0' + dir.File("game.vka.recovered") + '\0' + "game.vka" + '\0',
       "game.vka.recovered", true},
      {"the only copy", dir.File("run/workfile.tmp") + '\0' + '\0' + "b.vka" + '\0', "run/workfile.tmp", false},
      {"a cut record", std::string("x\0", 2), "", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    dir.Write("run/unsaved.rec", c.record);
    testing::internal::CaptureStderr();
    EXPECT_EQ(UnsavedCopiesRecover(dir.File("run")), c.folderGoes);
    const std::string err = testing::internal::GetCapturedStderr();
    if (c.kept.empty()) continue;
    EXPECT_EQ(err.find(dir.File(c.kept)), err.find("kept in ") + 8) << err;
    EXPECT_TRUE(std::filesystem::exists(dir.File(c.kept)));
  }
  EXPECT_FALSE(std::filesystem::exists(dir.File(".game.vka.unsaved-1-1")));
}

}  // namespace
