// File utilities and the path layer's file operations on temporary folders.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "core/error_codes.h"
#include "core/pack.h"
#include "platform/fs.h"
#include "system/files.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

TEST(Files, CopyAndMoveNeverReplaceATarget) {
  TempDir dir;
  dir.Write("a.txt", "source");
  dir.Write("b.txt", "target");
  const std::string win = dir.path() + "\\A.TXT";  // a program's own spelling
  EXPECT_EQ(CopyFileCommand(win, dir.File("b.txt")), 106);
  EXPECT_EQ(dir.Read("b.txt"), "target");
  EXPECT_EQ(CopyFileCommand(dir.File("none"), dir.File("c.txt")), 105);
  EXPECT_EQ(CopyFileCommand(win, dir.File("c.txt")), 0);
  EXPECT_EQ(dir.Read("c.txt"), "source");
  EXPECT_FALSE(RenameFile(dir.File("a.txt"), dir.File("B.txt")));
  EXPECT_EQ(dir.Read("b.txt"), "target");
  EXPECT_TRUE(RenameFile(win, dir.File("d.txt")));
  EXPECT_EQ(dir.Read("d.txt"), "source");
  EXPECT_FALSE(fs::exists(dir.File("a.txt")));
  // A copy that cannot be written whole (the disk full) is no "File already exists", and
  // leaves no target.
  dir.Write("big.txt", std::string(65536, 'x'));
  EXPECT_EQ(RunWithFileSizeLimit(4096, [&] {
              const int32_t e = CopyFileCommand(dir.File("big.txt"), dir.File("e.txt"));
              return e == kErrFileNotCopied && errno == EFBIG ? 0 : e;
            }),
            0);
  EXPECT_FALSE(fs::exists(dir.File("e.txt")));
  for (auto& e : fs::directory_iterator(dir.path()))  // no temporary file is left behind
    EXPECT_EQ(e.path().filename().string().rfind(".vk", 0), std::string::npos);
}

TEST(Files, ExistenceSizeReadOnlyMakeAndDelete) {
  TempDir dir;
  dir.Write("f.bin", std::string(300, 'x'));
  EXPECT_TRUE(FileExists(dir.File("F.BIN")));
  EXPECT_FALSE(FileExists(dir.path()));  // a folder is no file
  EXPECT_TRUE(PathExists(dir.path()));
  EXPECT_EQ(FileSize(dir.File("f.bin")), 300);
  EXPECT_EQ(FileSize(dir.File("none")), 0);
  EXPECT_FALSE(IsFileReadOnly(dir.File("f.bin")));
  EXPECT_TRUE(IsFileReadOnly(dir.File("none")));
  fs::permissions(dir.File("f.bin"), fs::perms::owner_read);
  EXPECT_TRUE(IsFileReadOnly(dir.File("f.bin")));
  EXPECT_FALSE(MakeFile(dir.File("F.bin")));
  EXPECT_TRUE(MakeFile(dir.File("new.txt")));
  EXPECT_TRUE(DeleteFileIfExists(dir.File("new.txt")));
  EXPECT_FALSE(DeleteFileIfExists(dir.File("new.txt")));
  ASSERT_EQ(mkfifo(dir.File("pipe").c_str(), 0600), 0);  // never waits for a writer
  EXPECT_FALSE(FileExists(dir.File("pipe")));
  EXPECT_EQ(FileSize(dir.File("pipe")), 0);
}

TEST(Files, DeletingATreeRemovesLinksWithoutFollowingThem) {
  TempDir dir, outside;
  outside.Write("keep.txt", "keep");
  fs::create_directories(dir.File("top/sub/deeper"));
  dir.Write("top/sub/deeper/f.txt", "x");
  fs::create_directory_symlink(outside.path(), dir.File("top/sub/link"));
  fs::create_symlink(outside.File("keep.txt"), dir.File("top/file_link"));
  EXPECT_TRUE(DeleteDirectoryCommand(dir.File("TOP")));
  EXPECT_FALSE(fs::exists(dir.File("top")));
  EXPECT_EQ(outside.Read("keep.txt"), "keep");
  EXPECT_FALSE(DeleteDirectoryCommand(dir.File("top")));
  // The home folder is refused whatever it is called.
  const char* oldHome = std::getenv("HOME");
  std::string saved = oldHome ? oldHome : "";
  fs::create_directories(dir.File("home"));
  setenv("HOME", dir.File("home").c_str(), 1);
  EXPECT_FALSE(DeleteDirectoryCommand(dir.path() + "/x/../HOME"));
  EXPECT_TRUE(fs::exists(dir.File("home")));
  setenv("HOME", saved.c_str(), 1);
  EXPECT_TRUE(FsIsProtectedFolder("/"));
  EXPECT_TRUE(FsIsProtectedFolder("C:\\"));
}

TEST(Files, MappedDrivesResolveListAndKeepTheirRoot) {
  TempDir dir;
  FsSetDriveRoot('D', dir.path());
  fs::create_directories(dir.File("Games/Save"));
  dir.Write("Games/Save/slot1.dat", "1");
  EXPECT_TRUE(FileExists("d:\\games\\SAVE\\Slot1.dat"));
  EXPECT_EQ(FsToProgramPath(dir.File("Games/Save")), "D:\\Games\\Save");
  EXPECT_EQ(FsToProgramPath("/usr/lib"), "C:\\usr\\lib");
  EXPECT_EQ(DriveList(), (std::vector<std::string>{"C:", "D:"}));
  // Deleting a drive's root deletes what is in it; the root stays.
  EXPECT_TRUE(DeleteDirectoryCommand("D:\\"));
  EXPECT_TRUE(fs::is_directory(dir.path()));
  EXPECT_TRUE(fs::is_empty(dir.path()));
  FsResetDrives();
  EXPECT_EQ(DriveList(), (std::vector<std::string>{"C:"}));
}

TEST(Files, FolderSearchListsDotEntriesAndEnds) {
  TempDir dir;
  dir.Write("one.txt", "1");
  fs::create_directory(dir.File("sub"));
  const fs::path old = fs::current_path();
  fs::current_path(dir.path());
  ASSERT_TRUE(FindFirstEntry());
  std::map<std::string, bool> seen;
  for (int guard = 0; guard < 10 && g_folderSearch.lastResult == 0; ++guard) {
    seen[CurrentSearchEntry()->name] = CurrentSearchEntry()->folder;
    FindNextEntry();
  }
  EXPECT_EQ(seen, (std::map<std::string, bool>{{".", true}, {"..", true}, {"one.txt", false}, {"sub", true}}));
  EXPECT_EQ(g_folderSearch.lastResult, -1);
  EXPECT_NE(CurrentSearchEntry(), nullptr);  // the last entry stays current
  std::string found;
  dir.Write("sub/Deep.TXT", "d");
  EXPECT_TRUE(FindFileInFolderTree("deep.txt", found));
  EXPECT_EQ(found, FsToProgramPath(dir.File("sub")) + "\\Deep.TXT");
  EXPECT_FALSE(FindFileInFolderTree("none.txt", found));
  // A file found whose name and folder read as others' ("??\?.txt"): reached by the path given.
  fs::create_directory(dir.File("\xD0\xB0\xD0\xB1"));  // аб
  fs::create_directory(dir.File("\xD0\xB2\xD0\xB3"));  // вг
  dir.Write("\xD0\xB0\xD0\xB1/\xD0\xB2.txt", "v");
  dir.Write("\xD0\xB0\xD0\xB1/\xD0\xB3.txt", "g");
  EXPECT_TRUE(FindFileInFolderTree("?.txt", found));
  EXPECT_EQ(FsResolve(found), dir.File("\xD0\xB0\xD0\xB1/\xD0\xB2.txt"));
  FindCloseSearch();
  EXPECT_EQ(CurrentSearchEntry(), nullptr);
  fs::current_path(old);
}

// A packed file is the starting content of its name: it is copied as a disk's file is, and a
// delete makes the name not found for the rest of the run.
TEST(Files, PackOnlyNamesPassTheChecksWhileOperationsActOnDisk) {
  TempDir dir;
  VirtualFiles pack;
  std::vector<uint8_t> bytes(16, 0);
  std::vector<uint8_t> packed = BuildPack({{"program", {1}}, {"media\\level.dat", {1, 2, 3}}}, 16);
  bytes.insert(bytes.end(), packed.begin(), packed.end());
  ASSERT_TRUE(pack.LoadPackFromBytes(bytes.data(), bytes.size()));
  g_packReader = &pack;
  EXPECT_TRUE(FileExists("Media/Level.dat"));
  EXPECT_EQ(FileSize("media\\level.dat"), 3);
  EXPECT_EQ(CopyFileCommand("media\\level.dat", dir.File("copy.dat")), 0);
  EXPECT_EQ(dir.Read("copy.dat"), std::string("\1\2\3", 3));
  EXPECT_TRUE(DeleteFileIfExists("media\\level.dat"));
  EXPECT_FALSE(FileExists("media\\level.dat"));
  EXPECT_EQ(CopyFileCommand("media\\level.dat", dir.File("again.dat")), kErrFileNotFound);
  ForgetLostWrites();
  g_packReader = nullptr;
  EXPECT_FALSE(FileExists("media\\level.dat"));
}

TEST(Files, ProgramsStartWithoutAShell) {
  TempDir dir;
  EXPECT_EQ(ExecuteFile("true", "", "", true), "");
  EXPECT_EQ(ExecuteFile("true", "", "", false), "");
  {
    // Searched along a PATH of the test's own: an inherited entry this user cannot enter makes
    // a missing program "permission denied".
    const char* inherited = std::getenv("PATH");
    const std::string kept = inherited ? inherited : "";
    setenv("PATH", "/usr/bin:/bin", 1);
    EXPECT_EQ(ExecuteFile("no-such-program-vk", "", "", true), "no-such-program-vk: not found");
    if (inherited) setenv("PATH", kept.c_str(), 1);
    else unsetenv("PATH");
  }
  EXPECT_EQ(ExecuteFile(dir.File("none"), "", "", false), dir.File("none") + ": not found");
  EXPECT_EQ(ExecuteFile("true", "", dir.File("no-folder"), true), dir.File("no-folder") + ": no such folder to run it in");
  // Quotes group, and a shell's separators are plain characters.
  EXPECT_EQ(ExecuteFile("touch", "\"a b\" c;touch d $(x)", dir.path(), true), "");
  EXPECT_TRUE(fs::exists(dir.File("a b")));
  EXPECT_TRUE(fs::exists(dir.File("c;touch")));
  EXPECT_TRUE(fs::exists(dir.File("$(x)")));
  EXPECT_FALSE(fs::exists(dir.File("x")));
  // A name in the program's code page reaches the started program as the disk spells it.
  EXPECT_EQ(ExecuteFile("touch", "caf\xE9", dir.path(), true), "");
  EXPECT_TRUE(fs::exists(dir.File("caf\xC3\xA9")));
}

}  // namespace
