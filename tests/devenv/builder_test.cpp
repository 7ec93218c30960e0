// The executable builder: the bytes of a game without media, which media files are packed and
// in what order, Escape and compile errors leaving no file, and a built game that runs.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "devenv/exe_builder.h"
#include "platform/fs.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

class BuilderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(dir_.File("proj/sfx"));
    dir_.Write("proj/game.vka", "make file \"made.txt\"\n");
    for (const char* f : {"proj/readme.txt", "proj/model.x", "proj/notes.doc", "proj/sfx/boom.wav"}) dir_.Write(f, "data");
  }
  ExeBuild Build(bool media) {
    ExeBuild b;
    b.output = dir_.File("out/mygame");
    b.source = dir_.File("proj/game.vka");
    b.projectFolder = dir_.File("proj");
    b.withMedia = media;
    b.runtimeExe = VellumarkExe();
    b.report = [this](const std::string& text) { reports_.push_back(text); };
    return b;
  }
  TempDir dir_;
  std::vector<std::string> reports_;
};

TEST_F(BuilderTest, WithoutMediaTheGameIsTheRuntimeOneEntryAndTheTrailer) {
  std::filesystem::create_directory(dir_.File("out"));
  std::string error;
  ASSERT_TRUE(IdeBuildExecutable(Build(false), &error)) << error;
  ASSERT_TRUE(IdeBuildExecutable(Build(false), &error)) << error;  // again over the first game
  // The image's size: the game less the runtime's loaded part (the trailer's last word), the
  // entry's fields and the trailer.
  const uint64_t game = std::filesystem::file_size(dir_.File("out/mygame"));
  const std::string bytes = dir_.Read("out/mygame");
  uint32_t runtime = 0;
  std::memcpy(&runtime, bytes.data() + bytes.size() - 4, 4);
  EXPECT_LE(runtime, std::filesystem::file_size(VellumarkExe()));
  uint32_t nameLength = 0, size = 0;
  std::memcpy(&nameLength, bytes.data() + runtime, 4);
  std::memcpy(&size, bytes.data() + runtime + 4 + nameLength, 4);
  EXPECT_EQ(std::string(bytes.data() + runtime + 4), "program.img");
  EXPECT_EQ(game, runtime + 4 + nameLength + 4 + size + 8);
  EXPECT_TRUE(reports_.empty());
  const auto perms = std::filesystem::status(dir_.File("out/mygame")).permissions();
  EXPECT_EQ(perms & std::filesystem::perms::all, std::filesystem::perms(0755));
  // The built game runs on its own and does what its program says.
  ProcessResult r = RunProcess(dir_.File("out/mygame"), {}, dir_.File("out"), {"ASAN_OPTIONS=detect_leaks=0"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(std::filesystem::exists(dir_.File("out/made.txt")));
}

TEST_F(BuilderTest, MediaFilesArePackedInNameOrderByTheirExtensions) {
  std::filesystem::create_directory(dir_.File("out"));
  std::string error;
  ASSERT_TRUE(IdeBuildExecutable(Build(true), &error)) << error;
  EXPECT_EQ(reports_, (std::vector<std::string>{"Adding model.x...", "Adding readme.txt...", "Adding sfx\\boom.wav..."}));
}

// Escape during the media walk leaves no game, not even an older one; a compile error does not
// touch the game there is.
TEST_F(BuilderTest, AnAbandonedBuildLeavesNoFileAndACompileErrorKeepsTheOldOne) {
  std::filesystem::create_directory(dir_.File("out"));
  struct {
    const char* source;
    bool escape, oldKept;
  } const cases[] = {{"make file \"made.txt\"\n", true, false}, {"y = (\n", false, true}};
  for (const auto& c : cases) {
    dir_.Write("proj/game.vka", c.source);
    dir_.Write("out/mygame", "an older game");
    ExeBuild b = Build(true);
    int asked = 0;
    b.escape = [&asked, &c] { return c.escape && ++asked == 2; };
    std::string error;
    EXPECT_FALSE(IdeBuildExecutable(b, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(std::filesystem::exists(dir_.File("out/mygame")), c.oldKept) << c.source;
  }
}

}  // namespace
