// The executable builder: the bytes of a game without media, which media files are packed and
// in what order, failed builds keeping what was there, and a built game that runs.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>

#include "devenv/exe_builder.h"
#include "devenv/ide_texts.h"
#include "platform/codepage.h"
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
  const mode_t mask = umask(0);
  umask(mask);
  const auto perms = std::filesystem::status(dir_.File("out/mygame")).permissions();
  EXPECT_EQ(perms & std::filesystem::perms::all, std::filesystem::perms(0777 & ~mask));
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

// The progress and the failure name files in the code page, as the environment draws them.
TEST_F(BuilderTest, NamesAreSaidInTheCodePage) {
  SetTextCodePage(1252);
  dir_.Write("proj/caf\xC3\xA9.txt", "data");
  ExeBuild b = Build(true);
  b.output = dir_.File("no caf\xC3\xA9/mygame");
  std::string error;
  EXPECT_FALSE(IdeBuildExecutable(b, &error));
  EXPECT_EQ(reports_.front(), "Adding caf\xE9.txt...");
  EXPECT_NE(error.find("no caf\xE9/mygame: "), std::string::npos) << error;
}

// A compile error of a work file standing in for the user's file names that file and the line,
// on stderr and in what the build says, never the work file.
TEST_F(BuilderTest, ACompileErrorNamesTheUsersFileAndLine) {
  std::filesystem::create_directory(dir_.File("work"));
  dir_.Write("work/_exesource.vka", "print 1\ny = (\n");
  ExeBuild b = Build(false);
  b.source = dir_.File("work/_exesource.vka");
  b.shownAs = dir_.File("proj/game.vka");
  std::string error;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(IdeBuildExecutable(b, &error));
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(said.rfind(dir_.File("proj/game.vka") + ":2: Brackets", 0), 0u) << said;
  EXPECT_EQ(error.rfind("game.vka:2: Brackets", 0), 0u) << error;
}

// A build that fails in any way leaves what stood at the name as it was, or nothing where
// there was nothing, and says why.
TEST_F(BuilderTest, AFailedBuildKeepsTheGameThereAndSaysWhy) {
  std::filesystem::create_directory(dir_.File("out"));
  ASSERT_FALSE(FsTempFolder().empty());  // made here: a build in a child leaves nothing behind
  struct {
    const char* source;
    int escapeAt;      // the media file at which Escape is down (0: never)
    bool mediaFolder;  // the second media file has become a folder when it is read
    size_t limit;      // the most a file may grow to, as on a full disk (0: no limit)
    const char* old;   // the file at the name before (null: none)
    const char* says;
  } const cases[] = {
      {"make file \"made.txt\"\n", 2, false, 0, "an older game", "abandoned"},
      {"y = (\n", 0, false, 0, "an older game", "Brackets"},
      {"make file \"made.txt\"\n", 0, false, 1 << 20, "an older game", "out/mygame: file too large"},
      {"make file \"made.txt\"\n", 0, false, 1 << 20, nullptr, "out/mygame: file too large"},
      {"make file \"made.txt\"\n", 0, true, 0, "an older game", "readme.txt: is a folder"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.says);
    dir_.Write("proj/game.vka", c.source);
    std::filesystem::remove(dir_.File("out/mygame"));
    if (c.old) dir_.Write("out/mygame", c.old);
    ExeBuild b = Build(true);
    int asked = 0;
    b.escape = [&] {
      if (++asked == 2 && c.mediaFolder) {
        std::filesystem::remove(dir_.File("proj/readme.txt"));
        std::filesystem::create_directory(dir_.File("proj/readme.txt"));
      }
      return asked == c.escapeAt;
    };
    std::string error;
    const auto build = [&] { return !IdeBuildExecutable(b, &error) && error.find(c.says) != std::string::npos ? 0 : 1; };
    EXPECT_EQ(c.limit ? RunWithFileSizeLimit(c.limit, build) : build(), 0) << error;
    if (c.old) EXPECT_EQ(dir_.Read("out/mygame"), c.old);
    else EXPECT_FALSE(std::filesystem::exists(dir_.File("out/mygame")));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.File("out")), {}), c.old ? 1 : 0);
    if (c.mediaFolder) {
      std::filesystem::remove(dir_.File("proj/readme.txt"));
      dir_.Write("proj/readme.txt", "data");
    }
  }
  // A program image past the limit names the game it was for, not the builder's work file.
  std::string big;
  for (int k = 0; k < 30000; ++k) big += "a = a + 1\n";
  dir_.Write("proj/game.vka", big);
  std::filesystem::remove(dir_.File("out/mygame"));
  ExeBuild b = Build(false);
  std::string error;
  EXPECT_EQ(RunWithFileSizeLimit(1 << 16, [&] {
              return !IdeBuildExecutable(b, &error) && error.find("mygame: file too large") != std::string::npos &&
                             error.find("_exefile") == std::string::npos
                         ? 0
                         : 1;
            }),
            0);
}

// A game named as one of its inputs, as its runtime, as a file its source includes (found as the
// compile finds it) or as a media file it packs is refused before anything is packed, and the file stays as
// it was.
TEST_F(BuilderTest, AGameNamedAsAFileItIsMadeFromIsRefused) {
  std::filesystem::create_directory(dir_.File("out"));
  dir_.Write("proj/lib.vka", "function f()\nendfunction\n");
  dir_.Write("proj/game.vka", "#include LIB.vka\nprint 1\n");
  dir_.Write("proj/open.vka", "print 2\n");
  std::filesystem::copy_file(VellumarkExe(), dir_.File("runtime"));
  const auto runtime = std::filesystem::file_size(dir_.File("runtime"));
  const std::string here = FsCurrentFolder();
  for (const char* name : {"proj/open.vka", "proj/lib.vka", "proj/sfx/boom.wav", "runtime", "out/mygame"}) {
    const bool refused = std::string(name) != "out/mygame";
    ExeBuild b = Build(true);
    b.runtimeExe = dir_.File("runtime");
    b.inputs = {dir_.File("proj/open.vka")};
    b.output = dir_.File(name);
    EXPECT_EQ(IdeBuildWritesInput(b), refused) << name;
    EXPECT_EQ(FsCurrentFolder(), here);
    std::string error;
    EXPECT_EQ(IdeBuildExecutable(b, &error), !refused) << name << error;
    EXPECT_EQ(error, refused ? IdeText(IdeSection::Desc, kDescOutputIsInput) : "");
    EXPECT_FALSE(std::filesystem::exists(FsTempFolderFile("_exefile.dat")));
  }
  EXPECT_EQ(reports_.size(), 3u);  // the media of the one game made
  EXPECT_EQ(dir_.Read("proj/open.vka"), "print 2\n");
  EXPECT_EQ(dir_.Read("proj/lib.vka"), "function f()\nendfunction\n");
  EXPECT_EQ(dir_.Read("proj/sfx/boom.wav"), "data");
  EXPECT_EQ(std::filesystem::file_size(dir_.File("runtime")), runtime);
}

}  // namespace
