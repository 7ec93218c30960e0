// Unsaved text copied for a run becomes a recovery file whatever ends the process: a held
// ending the busy main thread never takes (a repeated stop signal, the grace alarm), or a kill
// after which the next start finds the copies through the dead process's run folder.
#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <limits.h>
#include <unistd.h>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
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
      setenv("XDG_STATE_HOME", folder.c_str(), 1);
      UseDefaultSignals();
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
    UseDefaultSignals();
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

// A setting of the environment for the rest of a test, given back as it was.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* was = getenv(name)) was_ = was;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (was_) setenv(name_, was_->c_str(), 1);
    else unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> was_;
};

std::string Entry(std::initializer_list<std::string> fields) {
  std::string entry;
  for (const std::string& f : fields) entry += f + '\0';
  return entry;
}

// A record's last field without its end.
std::string Cut(std::string record) {
  record.pop_back();
  return record;
}

// What a dead process's run folder records: a copy beside its recovery name is linked to it; a
// work file whose text differs from its source (and from a recovery file kept already) becomes a
// recovery file beside the source, its header the source's (in the settings folder where the
// source's folder is gone); the folder goes once all is kept. A record that does not parse
// whole, or an entry not as a run writes it, is never followed: the folder stays and stderr
// names where the text is. A next start over a folder that stayed keeps nothing twice.
TEST(UnsavedCopies, TheNextStartKeepsWhatTheRecordLists) {
  TempDir dir;
  const std::string config = dir.File("config"), run = dir.File("run"), project = dir.File("project");
  const std::string workFile = run + "/workfile.tmp", copy = project + "/.game.vka.unsaved-1-1";
  const ScopedEnv configHome("XDG_CONFIG_HOME", config);
  std::filesystem::create_directories(run);
  const std::string workHeader = "Rem * Title  : \r\nRem * Author : \r\nRem * Date   : \r\n";
  const std::string sourceHeader = "Rem * Title  : T\r\nRem * Author : A\r\nRem * Date   : D\r\n";
  const auto work = [&](const std::string& folder, const std::string& name, const std::string& file = "") {
    return Entry({file.empty() ? workFile : file, folder + "/" + name, folder, name,
                  std::to_string(workHeader.size()), ""});
  };
  const std::string good = work(project, "game.vka");
  const std::string copyEntry = Entry({copy, project + "/game.vka.recovered", "game.vka"});
  const struct {
    const char* name;
    std::string copies, work;
    const char* source = "old\r\n";  // project/game.vka ("" none)
    const char* kept = "";           // the recovery file, ending in the typed text
    int recoveries = 0;              // beside the source and in the settings folder
    bool folderGoes = true;
    std::string said = "";           // on stderr
    std::string keptText = "";       // the recovery file's whole text, where it matters
    const char* setUp = "";  // "copy is a folder", "kept already", "settings copy", "settings recovery",
                             // "large work file", "only copy a link", "no settings folder"
  } cases[] = {
      {"a copy", copyEntry, good, "old\r\n", "project/game.vka.recovered", 1},
      {"a work file", "", good, "old\r\n", "project/game.vka.recovered", 1},
      {"a work file as saved", "", good, "typed\r\n"},
      {"a work file gone", "", work(project, "game.vka", run + "/workfil2.tmp"), "old\r\n", "", 0, true,
       "the unsaved changes of game.vka could not be kept\n"},
      {"a work file whose folder went", "", work(dir.File("gone"), "game.vka"), "",
       "config/vellumark/game.vka.recovered", 1},
      {"a copy already gone", Entry({project + "/.game.vka.unsaved-1-2", project + "/game.vka.recovered", "game.vka"}),
       ""},
      {"the only copy", Entry({workFile, "", "b.vka"}), "", "", "", 0, false, "b.vka are kept in " + workFile},
      // An only copy that is gone, or a link, holds no text of the run: nothing is named.
      {"the only copy gone", Entry({run + "/workfil2.tmp", "", "b.vka"}), ""},
      {"the only copy a link", Entry({run + "/workfil2.tmp", "", "b.vka"}), "", "", "", 0, true, "", "",
       "only copy a link"},
      {"the source's header", "", Entry({workFile, project + "/game.vka", project, "game.vka",
                                         std::to_string(workHeader.size()), sourceHeader}),
       "old\r\n", "project/game.vka.recovered", 1, true, "", sourceHeader + "typed\r\n"},
      {"the only copy, a work file too", Entry({workFile, "", "game.vka"}), good, "old\r\n",
       "project/game.vka.recovered", 1},
      {"a copy kept in the settings folder",
       Entry({config + "/vellumark/.game.vka.unsaved-1-1", config + "/vellumark/game.vka.recovered", "game.vka"}),
       good, "old\r\n", "config/vellumark/game.vka.recovered", 1, true, "", "", "settings copy"},
      {"a folder in a copy's place, a good work file", copyEntry, good, "old\r\n", "project/game.vka.recovered", 1,
       false, ".game.vka.unsaved-1-1: not a copy of the run", "", "copy is a folder"},
      {"another user's file in a copy's place, a good work file", copyEntry, good, "old\r\n",
       "project/game.vka.recovered", 1, false, ".game.vka.unsaved-1-1: not a copy of the run", "", "copy theirs"},
      {"after a hang-up that kept everything", copyEntry, good, "old\r\n", "", 1, true, "", "", "kept already"},
      // Records that do not parse whole.
      {"a cut record", std::string("x\0", 2), std::string("y\0", 2), "", "", 0, false, "unsaved.rec is damaged"},
      {"work cut after its fifth field", "", Cut(good), "", "", 0, false,
       "work.rec is damaged): they are in " + workFile},
      {"work's last field without its end", "",
       Cut(Entry({workFile, "", config, "a.vka", "0", "header"})), "", "", 0, false,
       "work.rec is damaged): they are in " + workFile},
      {"an empty name", "", work(project, ""), "", "", 0, false, "work.rec is damaged): they are in " + workFile},
      {"a bad number", "", Entry({workFile, "", config, "a.vka", "12x", ""}), "", "", 0, false,
       "work.rec is damaged): they are in " + workFile},
      {"more work files than a run has", "", good + good + good, "", "", 0, false, "work.rec is damaged"},
      // Entries not as a run writes them.
      {"a copy that is a file of the user",
       Entry({project + "/notes.txt", project + "/game.vka.recovered", "game.vka"}), "", "old\r\n", "", 0, false,
       "notes.txt: not a copy beside"},
      {"a name climbing out", "", work(project + "/a/b", "../../x"), "", "", 0, false,
       "(" + run + "/work.rec: not a file name"},
      {"a work file outside the run", "", work(project, "game.vka", project + "/notes.txt"), "old\r\n", "", 0, false,
       "notes.txt: not a file of the run"},
      {"a work file twice", "", good + work(project, "other.vka"), "old\r\n", "project/game.vka.recovered", 1, false,
       "listed twice"},
      {"a work file larger than a source", "", good, "old\r\n", "", 0, false, "too large for a source", "",
       "large work file"},
      {"a name ..", "", work(project, ".."), "", "", 0, false, "(" + run + "/work.rec: not a file name"},
      {"a work file that is the lock", "", work(project, "game.vka", run + "/owner.lock"), "old\r\n", "", 0, false,
       "owner.lock: not a file of the run"},
      {"a work file that is the record", "", work(project, "game.vka", run + "/work.rec"), "old\r\n", "", 0, false,
       "work.rec: not a file of the run"},
      {"the only copy the copies' record", Entry({run + "/unsaved.rec", "", "b.vka"}), "", "", "", 0, false,
       "unsaved.rec: not a file of the run"},
      {"a copy not beside its recovery name",
       Entry({project + "/a/.game.vka.unsaved-1-1", project + "/game.vka.recovered", "game.vka"}), "", "old\r\n", "",
       0, false, "not a copy beside"},
      {"a copy of another base name", Entry({copy, project + "/other.vka.recovered", "game.vka"}), "", "old\r\n", "",
       0, false, "not a copy beside"},
      {"a header larger than a source", "",
       Entry({workFile, project + "/game.vka", project, "game.vka", std::to_string((uint64_t(256) << 20) + 1), ""}),
       "", "", 0, false, "work.rec is damaged): they are in " + workFile},
      {"a cut copies' record", Cut(copyEntry), "", "old\r\n", "", 0, false,
       "unsaved.rec is damaged): they are in " + copy + "\n"},
      {"kept already in the settings folder", "", work(dir.File("gone"), "game.vka"), "", "", 1, true, "", "",
       "settings recovery"},
      // A buffer without a name, listed where its run had no settings folder: no folder.
      {"no name, no settings folder then", "",
       Entry({workFile, "", "", "untitled.vka", std::to_string(workHeader.size()), ""}), "",
       "config/vellumark/untitled.vka.recovered", 1},
      {"no name, no settings folder then nor now", "",
       Entry({workFile, "", "", "untitled.vka", std::to_string(workHeader.size()), ""}), "", "", 0, false,
       "untitled.vka are kept in " + workFile + "\n", "", "no settings folder"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (const std::string& folder : {config, project}) std::filesystem::remove_all(folder);
    for (const char* f : {"run/unsaved.rec", "run/work.rec", "run/workfil2.tmp"}) std::filesystem::remove(dir.File(f));
    std::filesystem::create_directories(project + "/a/b");
    dir.Write("project/notes.txt", "notes");
    dir.Write("project/.game.vka.unsaved-1-1", "typed\r\n");
    dir.Write("run/workfile.tmp", workHeader + "typed\r\n");
    dir.Write("project/a/.game.vka.unsaved-1-1", "typed\r\n");
    dir.Write("run/owner.lock", workHeader + "typed\r\n");
    const std::string setUp = c.setUp;
    if (setUp == "copy theirs" && geteuid() != 0) continue;  // only root can give a file away
    if (setUp == "copy theirs") {  // in a folder a group shares, neither linked nor removed
      ASSERT_EQ(chown(copy.c_str(), 65534, 65534), 0);
    } else if (setUp == "copy is a folder") {
      std::filesystem::remove(copy);
      std::filesystem::create_directory(copy);
    } else if (setUp == "kept already") {  // the handler linked the copy, the folder stayed
      std::filesystem::rename(copy, project + "/game.vka.recovered");
    } else if (setUp == "settings copy") {
      std::filesystem::create_directories(config + "/vellumark");
      std::filesystem::rename(copy, config + "/vellumark/.game.vka.unsaved-1-1");
    } else if (setUp == "settings recovery") {  // kept there before the folder could go
      std::filesystem::create_directories(config + "/vellumark");
      dir.Write("config/vellumark/game.vka.recovered", "typed\r\n");
    } else if (setUp == "only copy a link") {
      std::filesystem::create_symlink(project + "/notes.txt", run + "/workfil2.tmp");
    } else if (setUp == "no settings folder") {
      dir.Write("config", "a file in the way");
    } else if (setUp == "large work file") {
      std::filesystem::resize_file(workFile, (uint64_t(256) << 20) + 1);
    }
    if (c.source[0]) dir.Write("project/game.vka", c.source);
    if (!c.copies.empty()) dir.Write("run/unsaved.rec", c.copies);
    if (!c.work.empty()) dir.Write("run/work.rec", c.work);
    std::string err;
    for (int start = 0; start < (c.folderGoes ? 1 : 2); ++start) {
      testing::internal::CaptureStderr();
      EXPECT_EQ(UnsavedCopiesRecover(run), c.folderGoes);
      err += testing::internal::GetCapturedStderr();
    }
    int recoveries = 0;
    for (const std::string& folder : {project, config + "/vellumark"})
      if (std::filesystem::exists(folder))
        for (const auto& e : std::filesystem::directory_iterator(folder))
          recoveries += e.path().string().find(".recovered") != std::string::npos;
    EXPECT_EQ(recoveries, c.recoveries) << err;
    EXPECT_EQ(dir.Read("project/notes.txt"), "notes");
    if (setUp == "copy theirs") {
      EXPECT_TRUE(std::filesystem::exists(copy));
    }
    EXPECT_NE(err.find(c.said), std::string::npos) << err;
    if (c.folderGoes && !c.kept[0] && c.said.empty()) {
      EXPECT_EQ(err, "");
    }
    if (!c.kept[0]) continue;
    EXPECT_NE(err.find("kept in " + dir.File(c.kept) + "\n"), std::string::npos) << err;
    const std::string text = dir.Read(c.kept);
    EXPECT_EQ(text, c.keptText.empty() ? text.substr(0, text.size() - std::min<size_t>(7, text.size())) + "typed\r\n"
                                       : c.keptText);
  }
}

// A record that cannot be written is told once, with its cause, and never leaves text that no
// record lists: a copy whose listing failed is not made, and a work record that failed is left
// empty, which the next start takes as damaged (the folder stays, its work files named).
TEST(UnsavedCopies, ARecordThatCannotBeWrittenIsToldAndLeavesNoTextUnlisted) {
  TempDir dir;
  const std::string run = FsTempFolder(), record = run + "/work.rec";
  const auto descriptors = [] {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), std::filesystem::directory_iterator());
  };
  const auto open = descriptors();
  UnsavedTakeRecordFailure();
  UnsavedCopiesHold();
  // Not written; written but not flushed into its folder (the record then goes again).
  for (int32_t* fault : {&g_fsWriteFaults, &g_fsFlushFaults}) {
    g_fsFlushesBeforeFaults = 1;
    *fault = 1;
    EXPECT_FALSE(UnsavedCopyAdd(dir.path(), "game.vka", "typed", FsAccess{}));
    *fault = g_fsFlushesBeforeFaults = 0;
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
    EXPECT_FALSE(std::filesystem::exists(run + "/unsaved.rec"));
    const UnsavedRecordFailure failure = UnsavedTakeRecordFailure();
    EXPECT_EQ(failure.path, run + "/unsaved.rec");
    EXPECT_EQ(failure.cause, fault == &g_fsWriteFaults ? "disk full" : "input/output error");
  }
  EXPECT_EQ(UnsavedTakeRecordFailure().path, "");
  UnsavedRecordFailure failure;
  const UnsavedWork work{run + "/workfile.tmp", "", dir.path(), "a.vka", 0, ""};
  UnsavedWorkNote({work});
  EXPECT_EQ(UnsavedTakeRecordFailure().path, "");
  g_fsWriteFaults = 1;
  UnsavedWorkNote({work, UnsavedWork{run + "/workfil2.tmp", "", dir.path(), "b.vka", 0, ""}});
  failure = UnsavedTakeRecordFailure();
  EXPECT_EQ(failure.path, record);
  EXPECT_EQ(failure.cause, "disk full");
  std::string left = "x";
  EXPECT_TRUE(FsReadFile(record, left));
  EXPECT_EQ(left, "");
  UnsavedWorkNote({});
  EXPECT_FALSE(std::filesystem::exists(record));
  UnsavedCopiesDrop();
  UnsavedCopiesRelease();
  EXPECT_EQ(descriptors(), open);
}

// Text kept outside its source's folder (where that takes no file) is private, whatever the
// source's access: in a folder it cannot flush (one it may not open, 0300) no name is trusted,
// and the settings folder takes the text. Run as a user other than root where the test is root.
TEST(UnsavedCopies, TextKeptInTheSettingsFolderIsPrivate) {
  const struct {
    const char* name;
    const char* folder;  // in the test's folder, "" for none
    mode_t mode;
  } cases[] = {{"no folder", "", 0}, {"a folder it cannot open", "project", 0300}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string folder = c.folder[0] ? dir.File(c.folder) : "";
    std::filesystem::create_directories(dir.File("config"));
    if (!folder.empty()) std::filesystem::create_directories(folder);
    const uid_t nobody = 65534;
    for (const std::string& path : {dir.path(), dir.File("config"), folder}) {
      if (geteuid() == 0 && !path.empty()) {
        ASSERT_EQ(chown(path.c_str(), nobody, nobody), 0);
      }
    }
    if (!folder.empty()) {
      ASSERT_EQ(chmod(folder.c_str(), c.mode), 0);
    }
    const pid_t child = fork();
    if (child == 0) {
      if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0)) _exit(2);
      setenv("XDG_CONFIG_HOME", dir.File("config").c_str(), 1);
      const int quiet = open("/dev/null", O_WRONLY);
      dup2(quiet, 2);
      _exit(UnsavedKeepText(folder, "game.vka", "typed", FsAccess{0644, -1}, "").empty() ? 1 : 0);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(status, 0);
    struct stat st {};
    ASSERT_EQ(stat(dir.File("config/vellumark/game.vka.recovered").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    if (!folder.empty()) {
      chmod(folder.c_str(), 0700);
      EXPECT_TRUE(std::filesystem::is_empty(folder));
    }
  }
}

// A run folder of a process that has ended, as a kill leaves it: its lock file free, a work file
// with typed text listed in its record, to be kept as "<project>/<name>.recovered".
void MakeEndedRun(const std::string& run, const std::string& project, const std::string& name) {
  std::filesystem::create_directories(run);
  const std::string header = "Rem * Title  : \r\nRem * Author : \r\nRem * Date   : \r\n";
  FILE* lock = fopen((run + "/owner.lock").c_str(), "w");
  if (lock) fclose(lock);
  FILE* work = fopen((run + "/workfile.tmp").c_str(), "w");
  if (work) fputs((header + "typed\r\n").c_str(), work), fclose(work);
  FILE* record = fopen((run + "/work.rec").c_str(), "w");
  const std::string entry = Entry({run + "/workfile.tmp", project + "/" + name, project, name,
                                   std::to_string(header.size()), ""});
  if (record) fwrite(entry.data(), 1, entry.size(), record), fclose(record);
}

int CountRecoveries(const std::string& folder, const std::string& name) {
  int n = 0;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(folder, ec))
    n += e.path().filename().string().rfind(name + ".recovered", 0) == 0;
  return n;
}

// Starts sweeping the same folder at once: one takes an ended run and keeps its text, the others
// leave it alone, and the folder goes; one of an earlier version too, without a lock file (told
// ended by its pid, taken by making one).
TEST(UnsavedCopies, TwoStartsAtOnceKeepARunOnce) {
  TempDir dir;
  const ScopedEnv configHome("XDG_CONFIG_HOME", dir.File("config"));
  const std::string root = dir.File("root"), project = dir.File("project");
  std::filesystem::create_directories(project);
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    const std::string name = "g" + std::to_string(round) + ".vka", run = root + "/run-2147483647-" + name;
    MakeEndedRun(run, project, name);
    if (round % 2) std::filesystem::remove(run + "/owner.lock");
    // The run's other files, which its removal takes time over.
    for (int k = 0; k < 100; ++k) dir.Write("root/run-2147483647-" + name + "/_virtual.f" + std::to_string(k), "");
    int go[2];
    ASSERT_EQ(pipe(go), 0);
    pid_t starts[2];
    for (pid_t& start : starts) {
      start = fork();
      if (start == 0) {
        close(go[1]);
        char byte;
        (void)!read(go[0], &byte, 1);  // both begin together once the pipe closes
        const int none = open("/dev/null", O_WRONLY);
        dup2(none, 2);
        // Starts one after another, until one has taken the folder away.
        for (int k = 0; k < 100000 && std::filesystem::exists(run); ++k) FsSweepRunFolders(root, false);
        _exit(0);
      }
    }
    close(go[0]);
    close(go[1]);
    for (pid_t start : starts) waitpid(start, nullptr, 0);
    EXPECT_EQ(CountRecoveries(project, name), 1);
    EXPECT_FALSE(std::filesystem::exists(run));
  }
}

// A start killed while it kept an ended run's text leaves the temporaries of its recovery files
// where the text goes: beside a work file's source, a copy, or in the settings folder. The next
// start keeping that run's text removes them at once (their writer is gone and holds no lock on
// them), and leaves a live writer's, and one whose lock another process holds still (a writer
// in another process id namespace looks gone).
TEST(UnsavedCopies, TheNextStartRemovesTheTemporariesOfAKilledStart) {
  TempDir dir;
  const ScopedEnv configHome("XDG_CONFIG_HOME", dir.File("config"));
  const std::string project = dir.File("project"), other = dir.File("other"), run = dir.File("root/run-2147483647-x");
  for (const std::string& folder : {project, other, dir.File("config/vellumark")})
    std::filesystem::create_directories(folder);
  MakeEndedRun(run, project, "game.vka");
  dir.Write("other/.other.vka.unsaved-1-1", "rem other\r\n");
  dir.Write("root/run-2147483647-x/unsaved.rec",
            Entry({other + "/.other.vka.unsaved-1-1", other + "/other.vka.recovered", "other.vka"}));
  // Temporaries made as a writer makes them, by processes that end at once; the last leaves a
  // child holding its descriptor, which says its pid once it is on its own.
  const std::string folders[] = {project, other, dir.File("config/vellumark"), project};
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  for (size_t k = 0; k < std::size(folders); ++k) {
    const pid_t writer = fork();
    if (writer == 0) {
      // The last has no standard input: its temporary is descriptor 0, locked as any.
      if (k + 1 == std::size(folders)) close(0);
      std::string temp;
      if (FsCreateTempBeside(folders[k] + "/f", temp) < 0 || write(ready[1], temp.c_str(), temp.size() + 1) < 0)
        _exit(1);
      if (k + 1 == std::size(folders) && fork() == 0) {
        const std::string pid = std::to_string(getpid());
        if (write(ready[1], pid.c_str(), pid.size() + 1) < 0) _exit(1);
        close(ready[1]);
        sigset_t all;  // a signal sent to it stays pending, for the test to see
        sigfillset(&all);
        sigprocmask(SIG_BLOCK, &all, nullptr);
        pause();  // holds the lock until it is killed
      }
      _exit(0);
    }
    ASSERT_EQ(waitpid(writer, nullptr, 0), writer);
  }
  close(ready[1]);
  std::vector<std::string> said(1);
  char c;
  while (said.size() <= std::size(folders) + 1 && read(ready[0], &c, 1) == 1) {
    if (c) said.back() += c;
    else said.emplace_back();
  }
  close(ready[0]);
  ASSERT_EQ(said.size(), std::size(folders) + 2);
  const pid_t holder = pid_t(std::atol(said[std::size(folders)].c_str()));
  ASSERT_GT(holder, 0);
  // A temporary of a writer that lives (the holder: never signalled by the sweep), and one of an
  // earlier process with this one's id.
  const std::string live = ".vk-" + std::to_string(holder) + "-abcdef-ghijkl.tmp";
  const std::string earlier = ".vk-" + std::to_string(getpid()) + "-zzzzzz-ghijkl.tmp";
  dir.Write("project/" + live, "");
  dir.Write("project/" + earlier, "");
  const auto descriptors = [] {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), std::filesystem::directory_iterator());
  };
  const auto before = descriptors();
  FsSweepRunFolders(dir.File("root"), false);
  EXPECT_EQ(descriptors(), before);
  std::ifstream status("/proc/" + std::to_string(holder) + "/status");
  for (std::string line; std::getline(status, line);) {
    const bool pending = line.rfind("SigPnd:", 0) == 0 || line.rfind("ShdPnd:", 0) == 0;
    EXPECT_TRUE(!pending || line.find_first_not_of("0", line.find(':') + 2) == std::string::npos) << line;
  }
  kill(holder, SIGKILL);
  EXPECT_EQ(CountRecoveries(project, "game.vka"), 1);
  EXPECT_EQ(CountRecoveries(other, "other.vka"), 1);
  for (size_t k = 0; k < std::size(folders); ++k)
    EXPECT_EQ(std::filesystem::exists(said[k]), k + 1 == std::size(folders)) << said[k];
  EXPECT_TRUE(std::filesystem::exists(project + "/" + live));
  EXPECT_FALSE(std::filesystem::exists(project + "/" + earlier));
}

// Run folders go to the user's state folder, which no other user can make first: another
// user's temporary folder changes nothing, and the next start keeps the text of a killed run.
// Where the state folder is refused the temporary folder's takes them, said once on stderr;
// where both are, the temporary folder itself (the run folder private, and swept there).
TEST(UnsavedCopies, RunFoldersGoWhereOnlyTheUserCanMakeThem) {
  if (geteuid() != 0) GTEST_SKIP() << "makes folders of another user";
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  std::optional<TempDir> made;
  const char* given = getenv("VK_RUN_ROOTS_DIR");
  if (!given) made.emplace();
  const std::string top = given ? given : made->path();
  setenv("VK_RUN_ROOTS_DIR", top.c_str(), 1);
  const std::string uid = std::to_string(getuid());
  const struct {
    const char* name;
    const char* state;  // the state folder: "" missing, "nobody" another user's, "link" a link
    const char* temp;   // the temporary folder's: "" missing, "nobody"
    const char* used;   // "state", "temp" or "shared" (the temporary folder itself)
  } cases[] = {{"another user's temporary folder", "", "nobody", "state"},
               {"another user's state folder", "nobody", "", "temp"},
               {"a link for the state folder", "link", "", "temp"},
               {"both another user's", "nobody", "nobody", "shared"}};
  for (size_t k = 0; k < std::size(cases); ++k) {
    const auto& c = cases[k];
    SCOPED_TRACE(c.name);
    const std::string base = top + "/" + std::to_string(k), project = base + "/project";
    const std::string stateRoot = base + "/state/vellumark", tempRoot = base + "/tmp/vellumark-" + uid;
    if (!given) {
      std::filesystem::create_directories(base + "/tmp");
      std::filesystem::create_directories(project);
      std::filesystem::create_directories(base + "/state");
      if (std::string(c.state) == "link") {
        std::filesystem::create_directories(base + "/elsewhere");
        std::filesystem::create_directory_symlink(base + "/elsewhere", stateRoot);
      }
      for (const auto& [how, folder] : {std::pair{c.state, stateRoot}, std::pair{c.temp, tempRoot}})
        if (std::string(how) == "nobody") {
          std::filesystem::create_directory(folder);
          ASSERT_EQ(chown(folder.c_str(), 65534, 65534), 0);
        }
    }
    const std::vector<std::string> env = {"XDG_STATE_HOME=" + base + "/state", "TMPDIR=" + base + "/tmp",
                                          "XDG_CONFIG_HOME=" + base + "/config"};
    const std::string used = std::string(c.used) == "state"  ? stateRoot
                             : std::string(c.used) == "temp" ? tempRoot
                                                             : base + "/tmp";
    const std::string refused = "^vellumark: " + stateRoot + ": not this user's own folder; ";
    const std::string said = used == stateRoot  ? "^$"
                             : used == tempRoot ? refused + "run folders go to " + tempRoot + "\n$"
                                                : refused + tempRoot + ": not this user's own folder; run folders go to " +
                                                      used + "\n$";
    // A run killed with unsaved text: its folder and work file stay.
    const auto killedRun = [&] {
      for (const std::string& e : env) putenv(strdup(e.c_str()));
      const std::string& run = FsTempFolder();
      if (run.empty()) _exit(3);
      FILE* work = fopen((run + "/workfile.tmp").c_str(), "w");
      if (!work || fputs("typed\r\n", work) < 0 || fclose(work) != 0) _exit(4);
      UnsavedWorkNote({{run + "/workfile.tmp", project + "/game.vka", project, "game.vka", 0, ""}});
      FsTempFolder();  // said once
      _exit(FsFolderOf(run) == used ? 0 : 5);
    };
    EXPECT_EXIT(killedRun(), ::testing::ExitedWithCode(0), said);
    if (given) continue;
    const ProcessResult next = RunProcess(VellumarkExe(), {"--version"}, base, env);
    EXPECT_NE(next.err.find("kept in " + project + "/game.vka.recovered\n"), std::string::npos) << next.err;
    for (const auto& e : std::filesystem::directory_iterator(used))
      EXPECT_NE(e.path().filename().string().rfind("run-", 0), 0u) << e.path();
  }
  unsetenv("VK_RUN_ROOTS_DIR");
}

// A sweep takes only this user's folders, never through a link; in a folder others share (/tmp,
// where earlier versions put run folders) only "run-" folders; a folder being made only once
// left for ten minutes without its lock.
TEST(UnsavedCopies, ASweepTakesOnlyThisUsersRunFolders) {
  if (geteuid() != 0) GTEST_SKIP() << "makes folders of another user";
  for (const bool shared : {false, true}) {
    SCOPED_TRACE(shared ? "shared" : "private");
    TempDir dir;
    const std::string root = dir.File("root"), target = dir.File("target");
    MakeEndedRun(target, dir.File("project"), "g.vka");
    for (const char* ended : {"run-2147483647-mine", "run-2147483647-theirs", "new-2147483647-aged",
                              "new-2147483647-young"})
      std::filesystem::create_directories(root + "/" + ended);
    dir.Write("root/run-2147483647-mine/owner.lock", "");  // a run's, as its lock file proves
    std::filesystem::create_directory_symlink(target, root + "/run-2147483647-link");
    ASSERT_EQ(chown((root + "/run-2147483647-theirs").c_str(), 65534, 65534), 0);
    std::filesystem::last_write_time(root + "/new-2147483647-aged",
                                     std::filesystem::file_time_type::clock::now() - std::chrono::minutes(11));
    FsSweepRunFolders(root, shared);
    EXPECT_FALSE(std::filesystem::exists(root + "/run-2147483647-mine"));
    EXPECT_TRUE(std::filesystem::exists(root + "/run-2147483647-theirs"));
    EXPECT_TRUE(std::filesystem::is_symlink(root + "/run-2147483647-link"));
    EXPECT_TRUE(std::filesystem::exists(target + "/work.rec"));
    EXPECT_EQ(std::filesystem::exists(root + "/new-2147483647-aged"), shared);
    EXPECT_TRUE(std::filesystem::exists(root + "/new-2147483647-young"));
  }
}

}  // namespace
