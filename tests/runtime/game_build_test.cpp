#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include <filesystem>

#include "core/run_state.h"
#include "platform/fs.h"
#include "runtime/game_build.h"
#include "tests/support/temp_dir.h"

namespace {

// The media walk packs in name order, whatever order the folder lists its files in, so a build
// of the same folder gives the same game; the game being built is left out.
TEST(GameBuild, MediaFilesComeInNameOrder) {
  TempDir dir;
  std::filesystem::create_directories(dir.File("sub"));
  for (const char* name : {"sub/c.bmp", "sub/a.txt", "gamex", "prog.vka", "b.png", "a.wav"}) dir.Write(name, "x");
  std::vector<std::string> names;
  for (const MediaFile& f : CollectMediaFiles(dir.path(), dir.File("gamex"))) names.push_back(f.first);
  EXPECT_EQ(names, (std::vector<std::string>{"a.wav", "b.png", "sub\\a.txt", "sub\\c.bmp"}));
}

// A folder linked into itself is walked once; a project reached through a linked folder still
// follows the links inside it.
TEST(GameBuild, LinkedFoldersAreWalkedOnceAndFromALinkedProject) {
  namespace fs = std::filesystem;
  TempDir dir;
  fs::create_directories(dir.File("real/pics"));
  dir.Write("real/pics/tree.bmp", "x");
  fs::create_directory_symlink(".", dir.File("real/pics/self"));
  fs::create_directory_symlink("real", dir.File("via"));
  fs::create_directory_symlink("pics", dir.File("real/again"));
  const std::vector<std::string> expected = {"again\\tree.bmp", "pics\\tree.bmp"};
  for (const char* folder : {"real", "via"}) {
    std::vector<std::string> names;
    for (const MediaFile& f : CollectMediaFiles(dir.File(folder), "")) names.push_back(f.first);
    EXPECT_EQ(names, expected) << folder;
  }
}

// Links that reach a folder by ever more routes (two links to the next folder, forty deep) end
// in a bounded walk instead of one a route: the plain route is always taken.
TEST(GameBuild, LinksReachingAFolderByManyRoutesAreWalkedBoundedly) {
  namespace fs = std::filesystem;
  TempDir dir;
  constexpr int kDepth = 40;
  for (int k = 0; k < kDepth; ++k) fs::create_directories(dir.File("top/d" + std::to_string(k)));
  for (int k = 0; k + 1 < kDepth; ++k)
    for (const char* link : {"a", "b"})
      fs::create_directory_symlink("../d" + std::to_string(k + 1), dir.File("top/d" + std::to_string(k) + "/" + link));
  dir.Write("top/d" + std::to_string(kDepth - 1) + "/x.bmp", "x");
  const std::vector<MediaFile> found = CollectMediaFiles(dir.File("top"), "");
  EXPECT_LE(found.size(), 4200u);
  EXPECT_TRUE(std::any_of(found.begin(), found.end(), [](const MediaFile& f) {
    return f.first == "d" + std::to_string(kDepth - 1) + "\\x.bmp";
  }));
}

// Folders entered through links are walked up to 4096 of them in all, counted across the tree:
// ten links to a media folder are all packed. Folder e holding 240 links to f, with 16 links to
// e beside it, makes (16 + 1) x (240 + 1) - 1 = 4096 linked walks, the last of them taken; one
// more link (z, last in name order) is not walked.
TEST(GameBuild, LinkedFoldersAreWalkedUpToTheCap) {
  namespace fs = std::filesystem;
  const struct {
    const char* name;
    int inE, toE;  // links in e to f, links beside e to it
    bool z;        // and a link z to f
    size_t files;
    const char* last;  // the last linked walk's media file
    bool lastPacked;
  } cases[] = {{"ten links", 10, 0, false, 11, "e\\l010\\a.bmp", true},
               {"the cap", 240, 16, false, 4081, "k16\\l240\\a.bmp", true},
               {"one past the cap", 240, 16, true, 4081, "z\\a.bmp", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    fs::create_directories(dir.File("top/e"));
    fs::create_directories(dir.File("top/f"));
    dir.Write("top/f/a.bmp", "x");
    char name[32];
    for (int k = 1; k <= c.inE; ++k) {
      std::snprintf(name, sizeof name, "top/e/l%03d", k);
      fs::create_directory_symlink("../f", dir.File(name));
    }
    for (int k = 1; k <= c.toE; ++k) {
      std::snprintf(name, sizeof name, "top/k%02d", k);
      fs::create_directory_symlink("e", dir.File(name));
    }
    if (c.z) fs::create_directory_symlink("f", dir.File("top/z"));
    const std::vector<MediaFile> found = CollectMediaFiles(dir.File("top"), "");
    EXPECT_EQ(found.size(), c.files);
    EXPECT_EQ(std::any_of(found.begin(), found.end(), [&](const MediaFile& f) { return f.first == c.last; }),
              c.lastPacked);
  }
}

// A name the pack holds in full (255 bytes) is packed; a longer one refuses the build, naming the
// media file as the pack would have: also one found below a folder too deep to walk.
TEST(GameBuild, AMediaNameTooLongForThePackIsNamedInTheRefusal) {
  TempDir dir;
  const std::string deep = std::string(254, 'n');
  std::filesystem::create_directories(dir.File("media/" + deep + "/sub"));
  dir.Write("media/" + deep + "/sub/a.wav", "RIFF");
  dir.Write("runtime", "runtime");
  dir.Write("program.img", "image");
  const std::vector<MediaFile> found = CollectMediaFiles(dir.File("media"), "");
  ASSERT_EQ(found.size(), 1u);
  const std::string fits = std::string(251, 'p') + ".bmp", over = std::string(252, 'p') + ".bmp";
  const auto refusal = [](const std::string& name) {
    return "the media file name " + name + " is longer than 255 bytes";
  };
  const struct {
    MediaFile file;
    std::string error;  // none: packed
  } cases[] = {{{fits, dir.File("program.img")}, ""},
               {{over, dir.File("program.img")}, refusal(over)},
               {found[0], refusal(deep + "\\sub\\a.wav")}};
  for (const auto& c : cases) {
    std::string error;
    EXPECT_EQ(WriteGameFile(dir.File("runtime"), dir.File("program.img"), {c.file}, dir.File("game"), &error),
              c.error.empty());
    EXPECT_EQ(error, c.error);
  }
}

// A runtime or a program image that cannot be read is named, with the cause.
TEST(GameBuild, WhatCannotBeReadIsNamedWithTheCause) {
  TempDir dir;
  dir.Write("runtime", "runtime");
  dir.Write("program.img", "image");
  std::string error;
  EXPECT_FALSE(WriteGameFile(dir.File("none"), dir.File("program.img"), {}, dir.File("game"), &error));
  EXPECT_EQ(error, "cannot read the runtime " + dir.File("none") + ": not found");
  EXPECT_FALSE(WriteGameFile(dir.File("runtime"), dir.File("none"), {}, dir.File("game"), &error));
  EXPECT_EQ(error, "cannot read the program image " + dir.File("none") + ": not found");
  EXPECT_FALSE(std::filesystem::exists(dir.File("game")));
}

// A compile reads its included files from the source's folder, and gives the caller back its
// own current folder, whether the compile succeeds or not.
TEST(GameBuild, ACompileLeavesTheCurrentFolderAsItWas) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("sub"));
  dir.Write("sub/a.vka", "#include \"b.vka\"\nprint 1\n");
  dir.Write("sub/b.vka", "function f()\nendfunction\n");
  dir.Write("sub/bad.vka", "print (\n");
  const std::string before = FsCurrentFolder();
  EXPECT_TRUE(CompileFile(dir.File("sub/a.vka"), dir.File("a.img")));
  EXPECT_EQ(FsCurrentFolder(), before);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(CompileFile(dir.File("sub/bad.vka"), dir.File("bad.img")));
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(FsCurrentFolder(), before);
}

// A compile names the files it read by their host paths, the source first, whether it succeeds
// or not: an included file (named relative to the source's folder) as its folder has it, a
// missing one not at all.
TEST(GameBuild, ACompileNamesTheFilesItRead) {
  TempDir dir;
  std::filesystem::create_directories(dir.File("sub/inc"));
  dir.Write("sub/a.vka", "#include \"inc\\Lib.vka\"\n#include \"none.vka\"\nprint 1\n");
  dir.Write("sub/inc/lib.vka", "#include \"b.vka\"\nfunction f()\nendfunction\n");
  dir.Write("sub/b.vka", "function g()\nendfunction\n");
  dir.Write("sub/bad.vka", "#include \"b.vka\"\nprint (\n");
  const std::vector<std::string> read = {dir.File("sub/a.vka"), dir.File("sub/inc/lib.vka"), dir.File("sub/b.vka")};
  CompileOutcome outcome;
  testing::internal::CaptureStderr();
  EXPECT_TRUE(CompileFile(dir.File("sub/a.vka"), "", nullptr, "", &outcome));
  EXPECT_EQ(outcome.files, read);
  EXPECT_FALSE(CompileFile(dir.File("sub/bad.vka"), "", nullptr, "", &outcome));
  EXPECT_EQ(outcome.files, (std::vector<std::string>{dir.File("sub/bad.vka"), dir.File("sub/b.vka")}));
  testing::internal::GetCapturedStderr();
  // The same found without a word, though an included file is missing, and without the listing
  // the folder's settings ask a compile for; the settings read are named after the sources.
  dir.Write("sub/SETUP.INI", "[SETTINGS]\nRUNTIMETEST=1\n");
  testing::internal::CaptureStderr();
  std::vector<std::string> withSettings = read;
  withSettings.push_back(dir.File("sub/SETUP.INI"));
  EXPECT_EQ(FilesOfSource(dir.File("sub/a.vka")), withSettings);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_FALSE(std::filesystem::exists(dir.File("sub/VK.VKA")));
  // A compile of its own, as the command line's: no program folder is left from an earlier run.
  g_runtime.programFolder.clear();
  testing::internal::CaptureStderr();
  EXPECT_TRUE(CompileFile(dir.File("sub/a.vka"), ""));
  testing::internal::GetCapturedStderr();
  EXPECT_TRUE(std::filesystem::exists(dir.File("sub/VK.VKA")));
}

}  // namespace
