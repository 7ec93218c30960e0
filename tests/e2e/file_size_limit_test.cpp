// A save past the file-size limit fails as a save does, and the run goes on to its end.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(FileSizeLimit, ASavePastItIsAFailedSaveAndLeavesNoTemporaryFile) {
  TempDir dir;
  dir.Write("big.bin", std::string(300000, 'b'));
  dir.Write("save.vka", "copy file \"big.bin\", \"copy.bin\"\n");
  ProcessResult r = RunProcess("/bin/sh", {"-c", "ulimit -f 128 && exec \"$0\" run save.vka --headless", VellumarkExe()},
                               dir.path());
  EXPECT_EQ(r.status, 1) << r.err;  // the warning stops a run from source; no signal killed it
  EXPECT_NE(r.err.find("copy.bin"), std::string::npos) << r.err;
  for (auto& e : std::filesystem::directory_iterator(dir.path())) {
    const std::string name = e.path().filename().string();
    EXPECT_TRUE(name == "big.bin" || name == "save.vka") << "left behind: " << name;
  }
}

// A built game goes on past a write the disk did not take, as past any warning, but says it,
// naming the file and the cause, and ends with a failure.
TEST(FileSizeLimit, ABuiltGameSaysAWriteItLostAndFails) {
  TempDir dir;
  dir.Write("big.bin", std::string(300000, 'b'));
  // A folder block of that file, read into a folder.
  dir.Write("dir.blk", std::string("\1\0\0\0\10\0\0\0big.bin\0\xe0\x93\x04\0", 20) + std::string(300000, 'b'));
  std::string big;  // a program whose image is past the limit: the game cannot start
  for (int k = 0; k < 30000; ++k) big += "a = a + 1\n";
  const struct {
    std::string program;
    const char* file;
    std::string said;
    int status = 1;
  } cases[] = {{"open to write 1, \"save.txt\"\nfor i = 1 to 10000\nwrite string 1, \"a line of the save\"\nnext i\n"
                "close file 1\n",
                "save.txt", "cannot write save.txt: file too large\n"},
               {"copy file \"big.bin\", \"copy.bin\"\n", "copy.bin", "cannot write copy.bin: file too large\n"},
               {"open to read 1, \"dir.blk\"\nread dirblock 1, \"dbout\"\nclose file 1\n", "dbout/big.bin",
                "cannot write dbout/big.bin: file too large\n"},
               {big, "", "/_virtual.dat: file too large\n", 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.said);
    dir.Write("save.vka", c.program + "make file \"after\"\n");
    ASSERT_EQ(RunProcess(VellumarkExe(), {"build", "save.vka", "-o", "game"}, dir.path()).status, 0);
    ProcessResult r = RunProcess("/bin/sh", {"-c", "ulimit -f 128 && exec ./game"}, dir.path());
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
    EXPECT_EQ(std::filesystem::remove(dir.File("after")), c.status == 1);
    if (*c.file) std::filesystem::remove(dir.File(c.file));
  }
}

// A folder block that packs a file of the game's own pack past the limit is a lost write too.
TEST(FileSizeLimit, AFolderBlockOfPackedFilesPastItIsALostWrite) {
  TempDir dir;
  std::filesystem::create_directories(dir.File("src/pk"));
  std::filesystem::create_directories(dir.File("play"));
  dir.Write("src/pk/big.txt", std::string(300000, 'b'));
  dir.Write("src/prog.vka", "open to write 1, \"blk.dat\"\nwrite dirblock 1, \"pk\"\nclose file 1\nmake file \"after\"\n");
  ASSERT_EQ(RunProcess(VellumarkExe(), {"build", dir.File("src/prog.vka"), "--media", "-o", dir.File("play/game")}).status,
            0);
  ProcessResult r = RunProcess("/bin/sh", {"-c", "ulimit -f 128 && exec ./game"}, dir.File("play"));
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("blk.dat: file too large\n"), std::string::npos) << r.err;
  EXPECT_TRUE(std::filesystem::exists(dir.File("play/after")));
}

// compile and build past the limit say so, no signal killing them; build names the game it
// makes, not the work file of its program image.
TEST(FileSizeLimit, BuildNamesTheGameItCannotWrite) {
  TempDir dir;
  std::string big;
  for (int k = 0; k < 30000; ++k) big += "a = a + 1\n";
  dir.Write("big.vka", big);
  const std::pair<std::string, std::string> cases[] = {
      {"compile big.vka -o big.img", "Cannot write the program image " + dir.File("big.img") + ": file too large\n"},
      {"build big.vka -o game", "Cannot write the program image game: file too large\n"}};
  for (const auto& [command, said] : cases) {
    ProcessResult r = RunProcess("/bin/sh", {"-c", "ulimit -f 128 && exec \"$0\" " + command, VellumarkExe()},
                                 dir.path());
    EXPECT_EQ(r.status, 2) << command << r.err;
    EXPECT_NE(r.err.find(said), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("_exefile"), std::string::npos) << r.err;
  }
}

// F5 whose program image does not fit names that image alone, not the environment's work file.
TEST(FileSizeLimit, TheEnvironmentNamesTheImageItCannotWrite) {
  TempDir dir;
  std::filesystem::create_directories(dir.File("config/vellumark"));
  dir.Write("config/vellumark/WIN.INI", "[VellumarkStateData]\r\nINTRO=1\r\n");
  dir.Write("f5.txt", "5 key F5 down\n6 key F5 up\n");
  dir.Write("game.vka", "print \"ran\"\n");
  ProcessResult r = RunProcess(
      "/bin/sh",
      {"-c", "ulimit -f 2 && exec \"$0\" edit game.vka --headless --input f5.txt --frames 30", VellumarkExe()},
      dir.path(), {"XDG_CONFIG_HOME=" + dir.File("config"), "ASAN_OPTIONS=detect_leaks=0"});
  EXPECT_NE(r.err.find("vellumark: Cannot write the program image "), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("workfile"), std::string::npos) << r.err;
}

}  // namespace
