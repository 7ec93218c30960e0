// Settings the user locked: a settings folder keeps the mode its user gave it, and a read-only
// settings file, or one in a read-only settings folder, is never written (root neither), said once.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "platform/fs.h"
#include "platform/host_files.h"
#include "platform/ini.h"
#include "platform/unsaved_copies.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

// Runs body in a forked child, so that the refusal it meets is the first of its process (no
// other test of this binary writes a locked settings file): its exit status and its stderr.
std::pair<int, std::string> InChild(const std::function<int()>& body) {
  int err[2];
  if (pipe(err) != 0) return {-1, ""};
  const pid_t child = fork();
  if (child == 0) {
    dup2(err[1], 2);
    close(err[0]);
    _exit(body());
  }
  close(err[1]);
  std::string said;
  char buf[512];
  for (ssize_t n; (n = read(err[0], buf, sizeof buf)) > 0;) said.append(buf, size_t(n));
  close(err[0]);
  int status = -1;
  waitpid(child, &status, 0);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, said};
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

ino_t InodeOf(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// Every writer of settings (WIN.INI: the card chooser, the environment; VK.LOG beside a program
// whose folder takes no file; SETUP.INI; the unnamed buffer's kept copy) × what the user locked,
// judged by the mode, by root too. Two writes each: neither lands, the file and the folder stay as
// they were, and one line says the settings are not kept (the debug log's and the kept copy's
// writers say their own).
TEST(SettingsLock, ALockedSettingsFileOrFolderIsNeitherWrittenNorUnlocked) {
  const struct {
    const char* name;
    mode_t folderMode;
    const char* file;  // in the settings folder, or "SETUP.INI" in a folder of its own
    mode_t fileMode;   // 0: no file there
    bool log;          // written as the debug log (a link there replaced, never followed)
    bool locked;       // false: an open case, written and nothing said
    bool copy = false;    // written as the unnamed buffer's kept copy, for a run and at a stop
    bool beside = false;  // in the program's folder, which has the row's mode (SETUP.INI is)
  } rows[] = {
      {"WIN.INI read-only", 0700, "WIN.INI", 0444, false, true},
      {"WIN.INI in a read-only settings folder", 0555, "WIN.INI", 0644, false, true},
      {"WIN.INI to make in a read-only settings folder", 0555, "WIN.INI", 0, false, true},
      {"WIN.INI read-only in a read-only settings folder", 0500, "WIN.INI", 0444, false, true},
      {"VK.LOG to make in a read-only settings folder", 0555, "VK.LOG", 0, true, true},
      {"VK.LOG read-only", 0700, "VK.LOG", 0444, true, true},
      {"SETUP.INI read-only", 0700, "SETUP.INI", 0444, false, true},
      {"VK.LOG to make beside a program in a read-only folder", 0555, "VK.LOG", 0, true, true, false, true},
      {"untitled.vka.recovered in a read-only settings folder", 0555, "untitled.vka", 0, false, true, true},
      {"WIN.INI in an open settings folder", 0700, "WIN.INI", 0644, false, false},
      {"VK.LOG in a settings folder of mode 0755", 0755, "VK.LOG", 0, true, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    TempDir dir;
    const std::string folder = dir.File("config/vellumark"), other = dir.File("program");
    fs::create_directories(folder);
    fs::create_directories(other);
    const bool beside = row.beside || std::string(row.file) == "SETUP.INI";
    const std::string file = (beside ? other : folder) + "/" + row.file;
    const std::string locks = beside ? other : folder;
    const std::string before = "[S]\r\nK=1\r\n";
    if (row.fileMode) {
      dir.Write(file.substr(dir.path().size() + 1), before);
      ASSERT_EQ(chmod(file.c_str(), row.fileMode), 0);
    }
    ASSERT_EQ(chmod(locks.c_str(), row.folderMode), 0);
    const ino_t inode = InodeOf(file);
    const auto [status, said] = InChild([&] {
      setenv("XDG_CONFIG_HOME", dir.File("config").c_str(), 1);
      setenv("XDG_STATE_HOME", dir.File("state").c_str(), 1);
      if (FsConfigFolder() != folder) return 3;
      for (const char* key : {"A", "B", "C"}) {
        errno = 0;
        if (row.copy) {
          if (UnsavedCopyAdd(folder, row.file, key, FsAccess{}) || !UnsavedWriteRecovery(folder, row.file, key, FsAccess{}).empty())
            return 5;
          continue;
        }
        const bool written = row.log ? IniWriteHostString(file, "S", key, "2") : IniWriteString(file, "S", key, "2");
        if (written == row.locked || (row.locked && errno != EACCES)) return 4;
      }
      return 0;
    });
    EXPECT_EQ(status, 0);
    const std::string locked = row.fileMode && !(row.fileMode & S_IWUSR) ? file : folder;  // the file named first
    const bool says = row.locked && !row.log && !row.copy;
    EXPECT_EQ(said, says ? "vellumark: no settings can be kept in " + locked + ": it is read-only\n" : "");
    EXPECT_EQ(ModeOf(locks), row.folderMode);
    if (!row.locked) {
      EXPECT_NE(dir.Read(file.substr(dir.path().size() + 1)).find("B=2"), std::string::npos);
    } else if (row.fileMode) {
      EXPECT_EQ(dir.Read(file.substr(dir.path().size() + 1)), before);
      EXPECT_EQ(InodeOf(file), inode);
      EXPECT_EQ(ModeOf(file), row.fileMode);
    } else {
      EXPECT_TRUE(fs::is_empty(locks));
    }
    chmod(locks.c_str(), 0700);
  }
}

// A settings folder or state folder that was there keeps its mode through a run: only folders a
// start makes get theirs (0700). One that other users can change is refused, not changed; one
// missing in a folder its owner made read-only is not made, by root neither.
TEST(SettingsLock, AFolderThatWasThereKeepsItsMode) {
  const struct {
    const char* name;
    mode_t mode;
    bool used;
    bool missing = false;  // the folders are not there; their parents have the mode
  } rows[] = {
      {"read-only", 0555, true},
      {"read-only to others too", 0500, true},
      {"readable by others", 0755, true},
      {"private", 0700, true},
      {"writable by others", 0777, false},
      {"missing in a read-only folder", 0555, false, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    TempDir dir;
    const std::string config = dir.File("config/vellumark"), state = dir.File("state/vellumark");
    for (std::string folder : {config, state}) {
      if (row.missing) folder = folder.substr(0, folder.rfind('/'));
      fs::create_directories(folder);
      ASSERT_EQ(chmod(folder.c_str(), row.mode), 0);
    }
    dir.Write("p.vka", "print 1\r\n");
    const ProcessResult run =
        RunProcess(VellumarkExe(), {"run", "p.vka", "--headless"}, dir.path(),
                   {"XDG_STATE_HOME=" + dir.File("state"), "XDG_CONFIG_HOME=" + dir.File("config"), "TMPDIR=" + dir.path()});
    EXPECT_EQ(run.status, 0) << run.err;
    for (const std::string& folder : {config, state}) {
      EXPECT_EQ(ModeOf(row.missing ? folder.substr(0, folder.rfind('/')) : folder), row.mode);
      EXPECT_EQ(fs::exists(folder), !row.missing);
    }
    const std::string refused = "no settings folder can be made: " + config + ": " +
                                (row.missing ? "permission denied" : "other users can change " + config);
    EXPECT_EQ(run.err.find(refused) != std::string::npos, !row.used) << run.err;
    for (const std::string& folder : {config, state}) {
      chmod(folder.c_str(), 0700);
      chmod(folder.substr(0, folder.rfind('/')).c_str(), 0700);
    }
  }
}

}  // namespace
