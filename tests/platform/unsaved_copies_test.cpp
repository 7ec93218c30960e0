// Unsaved text copied for a run becomes a recovery file whatever ends the process: a held
// ending the busy main thread never takes (a repeated stop signal, the grace alarm), or a kill
// after which the next start finds the copies through the dead process's run folder.
#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <limits.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>

#include "platform/events.h"
#include "platform/fs.h"
#include "platform/stop_request.h"
#include "platform/unsaved_copies.h"
#include "tests/support/process.h"
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
      UnsavedCopiesHold();
      if (!UnsavedCopyAdd(folder, "game.vka", "print 1\r\n", FsAccess{})) _exit(2);
      UnsavedCopiesArm();
      if (UnsavedCopiesRelease()) _exit(3);
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

// While the main thread holds the copies (it writes text), an ending waits for it: the hold's
// release says so, and the process lives on until the holder ends it.
TEST(UnsavedCopies, AnEndingWaitsForTheHolder) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const auto body = [] {
    signal(SIGHUP, SIG_DFL);
    EventsCatchStopSignals();
    EventsHoldEndingSignals(true);
    UnsavedCopiesHold();
    raise(SIGHUP);
    usleep(600000);
    raise(SIGTERM);  // would end the process at once
    raise(SIGALRM);  // the grace alarm too
    _exit(UnsavedCopiesRelease() ? 3 : 4);
  };
  EXPECT_EXIT(body(), ::testing::ExitedWithCode(3), "");
}

// Recovery names: a source name too long for ".recovered" and a "-100" keeps its start and its
// extension, cut between characters; the hundredth free name is the last.
TEST(UnsavedCopies, RecoveryNamesFitAndNumberToAHundred) {
  const std::string plain = UnsavedRecoveryName("game.vka");
  EXPECT_EQ(plain, "game.vka.recovered");
  std::string accented(60, 'a');
  for (int k = 0; k < 95; ++k) accented += "\xc3\xa9";  // two bytes a character
  for (const std::string& name : {std::string(246, 'a') + ".vka", accented + ".vka"}) {
    const std::string recovery = UnsavedRecoveryName(name);
    EXPECT_LE(recovery.size() + 4, size_t(NAME_MAX));
    EXPECT_EQ(recovery.substr(0, 60), name.substr(0, 60));
    EXPECT_EQ(recovery.substr(recovery.size() - 14), ".vka.recovered");
    const std::string kept = recovery.substr(0, recovery.size() - 14);
    EXPECT_NE(static_cast<unsigned char>(kept.back()), 0xC3) << "cut inside a character";
  }
  TempDir dir;
  for (int n = 1; n <= 99; ++n) dir.Write(n == 1 ? "g.vka.recovered" : "g.vka.recovered-" + std::to_string(n), "");
  EXPECT_EQ(UnsavedWriteRecovery(dir.path(), "g.vka", "text", FsAccess{}), dir.File("g.vka.recovered-100"));
  EXPECT_EQ(UnsavedWriteRecovery(dir.path(), "g.vka", "text", FsAccess{}), "");
  // A copy over the file-size limit is not made, and leaves nothing behind.
  TempDir limited;
  EXPECT_EQ(RunWithFileSizeLimit(4, [&] {
              UnsavedCopiesHold();
              return UnsavedCopyAdd(limited.path(), "g.vka", "more than four", FsAccess{}) ? 1 : 0;
            }),
            0);
  EXPECT_TRUE(std::filesystem::is_empty(limited.path()));
}

// What a dead process's run folder records: a copy beside its recovery name is linked to it; a
// work file whose text differs from its source becomes a recovery file beside the source (in
// the settings folder where the source's folder is gone); the folder goes once all is kept.
TEST(UnsavedCopies, TheNextStartKeepsWhatTheRecordLists) {
  TempDir dir;
  const std::string config = dir.File("config");
  const char* given = getenv("XDG_CONFIG_HOME");
  const std::optional<std::string> before = given ? std::optional<std::string>(given) : std::nullopt;
  setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  std::filesystem::create_directories(dir.File("run"));
  std::filesystem::create_directories(dir.File("project"));
  const std::string copy = dir.File("project/.game.vka.unsaved-1-1");
  const auto work = [&](const std::string& folder, const std::string& name) {
    const std::string header = "Rem * Title  : \r\nRem * Author : \r\nRem * Date   : \r\n";
    return dir.File("run/workfile.tmp") + '\0' + folder + "/" + name + '\0' + folder + '\0' + name + '\0' +
           std::to_string(header.size()) + '\0' + "" + '\0';
  };
  const struct {
    const char* name;
    std::string copies, work, source;  // source: project/game.vka ("-" none)
    const char* kept;                   // the recovery file ("" none)
    bool folderGoes;
  } cases[] = {
      {"a copy", copy + '\0' + dir.File("project/game.vka.recovered") + '\0' + "game.vka" + '\0',
       work(dir.File("project"), "game.vka"), "old\r\n", "project/game.vka.recovered", true},
      {"a work file", "", work(dir.File("project"), "game.vka"), "old\r\n", "project/game.vka.recovered", true},
      {"a work file as saved", "", work(dir.File("project"), "game.vka"), "typed\r\n", "", true},
      {"a work file whose folder went", "", work(dir.File("gone"), "game.vka"), "-",
       "config/vellumark/game.vka.recovered", true},
      {"a copy already gone", copy + "x" + '\0' + dir.File("project/game.vka.recovered") + '\0' + "g" + '\0', "",
       "-", "", true},
      {"the only copy", dir.File("run/workfile.tmp") + '\0' + '\0' + "b.vka" + '\0', "", "-", "run/workfile.tmp",
       false},
      {"a cut record", std::string("x\0", 2), std::string("y\0", 2), "-", "", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(config);
    for (const char* f : {"project/game.vka", "project/game.vka.recovered", "run/unsaved.rec", "run/work.rec"})
      std::filesystem::remove(dir.File(f));
    dir.Write("project/.game.vka.unsaved-1-1", "typed\r\n");
    dir.Write("run/workfile.tmp", "Rem * Title  : \r\nRem * Author : \r\nRem * Date   : \r\ntyped\r\n");
    if (c.source != "-") dir.Write("project/game.vka", c.source);
    if (!c.copies.empty()) dir.Write("run/unsaved.rec", c.copies);
    if (!c.work.empty()) dir.Write("run/work.rec", c.work);
    testing::internal::CaptureStderr();
    EXPECT_EQ(UnsavedCopiesRecover(dir.File("run")), c.folderGoes);
    const std::string err = testing::internal::GetCapturedStderr();
    int recoveries = 0;
    for (const std::string& folder : {dir.File("project"), config + "/vellumark"})
      if (std::filesystem::exists(folder))
        for (const auto& e : std::filesystem::directory_iterator(folder))
          recoveries += e.path().string().find(".recovered") != std::string::npos;
    EXPECT_EQ(recoveries, c.kept[0] && c.folderGoes ? 1 : 0) << err;
    if (!c.kept[0]) continue;
    EXPECT_EQ(err.find(dir.File(c.kept)), err.find("kept in ") + 8) << err;
    EXPECT_EQ(dir.Read(c.kept).substr(dir.Read(c.kept).size() - 7), "typed\r\n");
  }
  if (before) setenv("XDG_CONFIG_HOME", before->c_str(), 1);
  else unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
