#include <gtest/gtest.h>

#include <algorithm>

#include <filesystem>

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

}  // namespace
