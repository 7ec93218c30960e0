// The permission bits and group of every file the system writes, checked as bits (the suite
// runs as root, which opens any file whatever its mode): a new file gets 0666 less the umask, a
// replaced one keeps its mode and group, and one made from a source's text gets the source's
// read and write bits and group, with no group bits where that group cannot be kept.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/fs.h"
#include "platform/unsaved_copies.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr mode_t kUmask = 027;        // a new file: 0640
constexpr gid_t kOtherGroup = 65534;  // nogroup, which root is not in
constexpr uid_t kNobody = 65534;

// Makes a file in the folder, from (or saving over) <folder>/game.vka: the made file's path, ""
// when none was made.
using Writer = std::function<std::string(const std::string& folder)>;

std::string Source(const std::string& folder) { return folder + "/game.vka"; }

std::string Saved(const std::string& folder) {
  return FsWriteFileAtomic(Source(folder), "text") ? Source(folder) : "";
}

std::string Committed(const std::string& folder) {
  std::string temp;
  const int fd = FsCreateTempBeside(Source(folder), temp);
  if (fd < 0) return "";
  const bool written = write(fd, "text", 4) == 4;
  close(fd);
  return written && FsCommitTemp(temp, Source(folder)) ? Source(folder) : "";
}

std::string NewFile(const std::string& folder) {
  const FsNewFile made = FsWriteNewFile(folder + "/made.vka", "text", FsAccessOf(Source(folder)));
  return made == FsNewFile::kWritten ? folder + "/made.vka" : "";
}

std::string Copied(const std::string& folder) {
  return FsCopyFile(Source(folder), folder + "/made.vka") ? folder + "/made.vka" : "";
}

std::string Recovery(const std::string& folder) {
  return UnsavedWriteRecovery(folder, "game.vka", "text", FsAccessOf(Source(folder)));
}

std::string CopyForRun(const std::string& folder) {
  UnsavedCopiesHold();
  const bool added = UnsavedCopyAdd(folder, "game.vka", "text", FsAccessOf(Source(folder)));
  UnsavedCopiesRelease();
  if (added)
    for (const auto& e : std::filesystem::directory_iterator(folder))
      if (e.path().filename().string().rfind(".game.vka.unsaved-", 0) == 0) return e.path().string();
  return "";
}

// A dead run's work file whose text differs from its source.
std::string RecoveredRun(const std::string& folder) {
  const std::string run = folder + "/run";
  if (mkdir(run.c_str(), 0700) != 0) return "";
  const std::string record =
      run + "/work.tmp" + '\0' + Source(folder) + '\0' + folder + '\0' + "game.vka" + '\0' + "0" + '\0' + '\0';
  if (!FsWriteFileAtomic(run + "/work.tmp", "typed") || !FsWriteFileAtomic(run + "/work.rec", record)) return "";
  return UnsavedCopiesRecover(run) ? folder + "/game.vka.recovered" : "";
}

struct Access {
  mode_t mode;
  gid_t group;
  bool operator==(const Access&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Access& a) {
  return out << "mode 0" << std::oct << a.mode << std::dec << " group " << a.group;
}

// Runs the writer in a child dropped to user nobody, without root's other groups: the path of
// what it made, "" for nothing.
std::string AsNobody(const Writer& write, const std::string& folder) {
  int fds[2];
  if (pipe(fds) != 0) return "";
  const pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(2);
    // Root's run folder is not nobody's: a run of nobody's keeps its records in its own, if any.
    FsLeaveTempFolder();
    const std::string path = write(folder);
    FsRemoveTempFolder();
    _exit(::write(fds[1], path.data(), path.size()) == ssize_t(path.size()) ? 0 : 1);
  }
  close(fds[1]);
  std::string path;
  char buf[512];
  for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) path.append(buf, size_t(n));
  close(fds[0]);
  int status = -1;
  waitpid(child, &status, 0);
  return status == 0 ? path : "";
}

// FsNewFileAccess reads the umask once a process: the checks run in a process started under
// the test's umask, a fresh run of this test.
TEST(FsModes, EachWriterGivesTheModeAndGroupItShould) {
  if (!std::getenv("VK_FS_MODES_UMASK_SET")) {
    const mode_t before = umask(kUmask);
    const ProcessResult run =
        RunProcess("/proc/self/exe", {"--gtest_filter=FsModes.EachWriterGivesTheModeAndGroupItShould"}, "",
                   {"VK_FS_MODES_UMASK_SET=1"});
    umask(before);
    EXPECT_EQ(run.status, 0) << run.err;
    return;
  }
  const mode_t mask = umask(kUmask);
  ASSERT_EQ(mask, kUmask);
  const bool root = geteuid() == 0;
  const gid_t own = getegid(), other = root ? kOtherGroup : own;
  FsTempFolder();  // made here, as root
  const struct {
    const char* name;
    Writer write;
    bool saves;  // over game.vka; otherwise from it
  } writers[] = {{"FsWriteFileAtomic", Saved, true},        {"FsCreateTempBeside, FsCommitTemp", Committed, true},
                 {"FsWriteNewFile", NewFile, false},         {"FsCopyFile", Copied, false},
                 {"UnsavedWriteRecovery", Recovery, false},  {"UnsavedCopyAdd", CopyForRun, false},
                 {"UnsavedCopiesRecover", RecoveredRun, false}};
  const struct {
    const char* name;
    mode_t mode;  // game.vka's; 0: there is none
    gid_t group;
    bool saves;   // the case is of saves (or of files made from a source)
    bool nobody;  // made by user nobody, who is not in game.vka's group
    Access made;
  } cases[] = {
      {"a new file", 0, 0, true, false, {0666 & ~kUmask, own}},
      {"a replaced file", 0604, other, true, false, {0604, other}},
      {"from a 0644 source", 0644, own, false, false, {0644, own}},
      {"from a 0640 source of another group", 0640, other, false, false, {0640, other}},
      // game.vka is nobody's, of root's group
      {"a replaced file of a group not kept", 0640, 0, true, true, {0600, kNobody}},
      {"from a source of a group not kept", 0640, 0, false, true, {0600, kNobody}},
  };
  for (const auto& c : cases) {
    if (c.nobody && !root) continue;  // only root makes a file of nobody's in another group
    for (const auto& w : writers) {
      if (w.saves != c.saves) continue;
      SCOPED_TRACE(std::string(w.name) + ", " + c.name);
      TempDir dir;
      ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
      if (c.mode) {
        dir.Write("game.vka", "old");
        ASSERT_EQ(chown(dir.File("game.vka").c_str(), c.nobody ? kNobody : uid_t(-1), c.group), 0);
        ASSERT_EQ(chmod(dir.File("game.vka").c_str(), c.mode), 0);
      }
      const std::string made = c.nobody ? AsNobody(w.write, dir.path()) : w.write(dir.path());
      struct stat st {};
      if (stat(made.c_str(), &st) == 0) EXPECT_EQ((Access{st.st_mode & 07777, st.st_gid}), c.made);
      else ADD_FAILURE() << "nothing made";
      UnsavedCopiesHold();
      UnsavedCopiesDrop();
      UnsavedCopiesRelease();
    }
  }
  FsRemoveTempFolder();
}

// The folders a start makes for the state folder (~/.local/state under HOME) are private from
// the start; one it found keeps the mode its user gave it.
TEST(FsModes, TheStateFolderAndTheFoldersMadeForItArePrivate) {
  const struct {
    const char* name;
    const char* stateHome;  // XDG_STATE_HOME below the test's folder ("": unset, HOME used)
    const char* found;      // made at 0755 before the start ("": none), and so after it
    std::vector<const char*> made;  // folders 0700 after it
  } cases[] = {{"found open", "state", "state/vellumark", {}},
               {"made under HOME", "", "", {"home/.local", "home/.local/state", "home/.local/state/vellumark"}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    std::filesystem::create_directories(dir.File("home"));
    if (c.found[0]) {
      std::filesystem::create_directories(dir.File(c.found));
      ASSERT_EQ(chmod(dir.File(c.found).c_str(), 0755), 0);
    }
    dir.Write("p.vka", "print 1\r\n");
    const mode_t mask = umask(022);
    const ProcessResult run = RunProcess(
        VellumarkExe(), {"run", "p.vka", "--headless"}, dir.path(),
        {std::string("XDG_STATE_HOME=") + (c.stateHome[0] ? dir.File(c.stateHome) : ""), "HOME=" + dir.File("home"),
         "XDG_CONFIG_HOME=" + dir.File("config"), "TMPDIR=" + dir.path()});
    umask(mask);
    EXPECT_EQ(run.status, 0) << run.err;
    for (const char* folder : c.made) {
      struct stat st {};
      EXPECT_EQ(stat(dir.File(folder).c_str(), &st), 0) << folder;
      EXPECT_EQ(st.st_mode & 07777, 0700u) << folder;
    }
    struct stat found {};
    if (c.found[0]) {
      EXPECT_EQ(stat(dir.File(c.found).c_str(), &found) == 0 ? found.st_mode & 07777 : 0, 0755u);
    }
  }
}

// A temporary beside a file is private from its first byte, whatever the umask: its access
// comes only once it is made, and a loose umask would otherwise open it to others till then.
// Committed, it leaves no descriptor open.
TEST(FsModes, ATemporaryIsPrivateFromItsFirstByte) {
  TempDir dir;
  const mode_t mask = umask(kUmask);
  std::string temp;
  const int fd = FsCreateTempBeside(dir.File("game.vka"), temp);
  umask(mask);
  ASSERT_GE(fd, 0);
  struct stat st {};
  EXPECT_EQ(fstat(fd, &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  close(fd);
  // Committed where stdin is closed, the descriptor it reads the temporary by is 0: closed too.
  const int in = dup(0);
  close(0);
  EXPECT_TRUE(FsCommitTemp(temp, dir.File("game.vka")));
  EXPECT_EQ(fcntl(0, F_GETFD), -1);
  if (in >= 0) {
    dup2(in, 0);
    close(in);
  }
}

// A source name too long for its recovery name keeps an extension of up to 16 bytes (the dot
// included); a longer one is cut with the rest of the name.
TEST(FsModes, ARecoveryNameKeepsAnExtensionOfUpTo16Bytes) {
  const struct {
    size_t extension;  // bytes, the dot included
    bool kept;
  } cases[] = {{16, true}, {17, false}};
  for (const auto& c : cases) {
    const std::string extension = "." + std::string(c.extension - 1, 'e');
    const std::string name = std::string(NAME_MAX, 'n') + extension;
    const std::string recovery = UnsavedRecoveryName(name);
    const std::string end = recovery.substr(recovery.size() - extension.size() - 10);
    EXPECT_EQ(end == extension + ".recovered", c.kept) << recovery;
    EXPECT_LE(recovery.size() + 4, size_t(NAME_MAX));
  }
}

}  // namespace
