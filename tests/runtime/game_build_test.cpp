#include <gtest/gtest.h>

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

}  // namespace
