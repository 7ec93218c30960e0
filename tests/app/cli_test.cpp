// The command line: compile, check, run and build of a source file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/fs.h"
#include "tests/support/compile_helpers.h"

namespace {

struct Result {
  int status;
  std::string output;  // stdout and stderr
};

Result Tool(const std::string& arguments) {
  std::string command = std::string(VK_BINARY_DIR) + "/vellumark " + arguments + " 2>&1";
  Result r{-1, ""};
  FILE* p = popen(command.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.output.append(buf, n);
  int status = pclose(p);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

}  // namespace

TEST(CommandLine, CheckReportsFileLineAndMessage) {
  std::string good = WriteTempFile("cli_good.vka", "a=1\nprint a\n");
  std::string bad = WriteTempFile("cli_bad.vka", "a=1\nb=\n");
  Result ok = Tool("check " + good);
  EXPECT_EQ(ok.status, 0) << ok.output;
  EXPECT_EQ(ok.output, "");
  Result fail = Tool("check " + bad);
  EXPECT_EQ(fail.status, 2);
  EXPECT_EQ(fail.output, bad + ":2: Command not understood\n");
  Result missing = Tool("check " + TempFolder() + "/cli_missing.vka");
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.output.find("Cannot read the source file"), std::string::npos);
}

TEST(CommandLine, CompileWritesTheImage) {
  std::string source = WriteTempFile("cli_image.vka", "print \"hi\"\n");
  std::string image = TempFolder() + "/cli_image.img";
  FsDeleteFile(image);
  Result r = Tool("compile " + source);
  EXPECT_EQ(r.status, 0) << r.output;
  std::string bytes;
  ASSERT_TRUE(FsReadFile(image, bytes));
  Compiler& c = TestCompiler();
  ASSERT_TRUE(c.CompileText("print \"hi\"\n"));
  std::vector<uint8_t> expected = c.BuildImage();
  EXPECT_EQ(bytes, std::string(expected.begin(), expected.end()));
  Result named = Tool("compile " + source + " -o " + TempFolder() + "/cli_named.img");
  EXPECT_EQ(named.status, 0);
  EXPECT_TRUE(FsFileExists(TempFolder() + "/cli_named.img"));
}

TEST(CommandLine, RunCompilesWithTheSourceFolderAsCurrentFolder) {
  WriteTempFile("cli_lib.vka", "function two()\nendfunction 2\n");
  std::string source = WriteTempFile("cli_run.vka", "#include cli_lib.vka\na=two()\n");
  // Run from another folder: the include is still found beside the source.
  Result r = Tool("run " + source + " --headless --frames 3");
  EXPECT_NE(r.status, 2) << r.output;
  EXPECT_NE(r.status, 3) << r.output;
  // Until the language commands are built, a run stops at the first one with a clear text.
  if (r.status != 0) {
    EXPECT_NE(r.output.find("is not available in this build"), std::string::npos) << r.output;
  }
  std::string broken = WriteTempFile("cli_broken.vka", "\n\nfor i=1 to\n");
  Result b = Tool("run " + broken + " --headless");
  EXPECT_EQ(b.status, 2);
  EXPECT_EQ(b.output.substr(0, broken.size() + 3), broken + ":3:");
}

// --standalone runs as a built game for run and exec alike: the division warning is ignored.
TEST(CommandLine, StandaloneIgnoresWarningsForRunAndExec) {
  std::string source = WriteTempFile("cli_warn.vka", "a = 1 / 0\nprint \"went on\"\n");
  std::string image = TempFolder() + "/cli_warn.img";
  ASSERT_EQ(Tool("compile " + source + " -o " + image).status, 0);
  for (const std::string& command : {"run " + source, "exec " + image}) {
    SCOPED_TRACE(command);
    Result r = Tool(command + " --standalone --headless --clock virtual --frames 3 --transcript -");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("went on"), std::string::npos) << r.output;
    EXPECT_EQ(Tool(command + " --headless --clock virtual --frames 3").status, 1);
  }
}

TEST(CommandLine, RunOfAnEmptyProgram) {
  std::string source = WriteTempFile("cli_empty.vka", "");
  Result r = Tool("run " + source + " --headless --frames 2");
  EXPECT_TRUE(r.status == 0 || (r.status == 1 && r.output.find("command 213") != std::string::npos)) << r.output;
}

TEST(CommandLine, BuildCompilesAndPacks) {
  std::string source = WriteTempFile("cli_game.vka", "print 1\n");
  std::string game = TempFolder() + "/cli_game";
  Result r = Tool("build " + source + " -o " + game);
  EXPECT_EQ(r.status, 0) << r.output;
  struct stat st {};
  ASSERT_EQ(stat(game.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0755u);
  Result bad = Tool("build " + WriteTempFile("cli_game_bad.vka", "foo bar\n") + " -o " + game + "2");
  EXPECT_EQ(bad.status, 2);
  EXPECT_FALSE(FsFileExists(game + "2"));
}

// A media file whose name in the pack would pass 255 bytes is refused, and nothing is written.
TEST(CommandLine, BuildRefusesMediaNamesThePackCannotHold) {
  const std::string folder = std::string(200, 'm');
  std::filesystem::create_directories(TempFolder() + "/cli_media/" + folder);
  WriteTempFile("cli_media/" + folder + "/" + std::string(60, 'p') + ".bmp", "BM");
  std::string source = WriteTempFile("cli_media/game.vka", "print 1\n");
  std::string game = TempFolder() + "/cli_media_game";
  Result r = Tool("build " + source + " --media -o " + game);
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.output.find("is longer than 255 bytes"), std::string::npos) << r.output;
  EXPECT_FALSE(FsFileExists(game));
}

TEST(CommandLine, TheStatementsExampleCompiles) {
  Result r = Tool(std::string("check ") + VK_SOURCE_DIR + "/examples/statements.vka");
  EXPECT_EQ(r.status, 0) << r.output;
  std::string image = TempFolder() + "/statements.img";
  ASSERT_EQ(Tool(std::string("compile ") + VK_SOURCE_DIR + "/examples/statements.vka -o " + image).status, 0);
  std::string bytes;
  ASSERT_TRUE(FsReadFile(image, bytes));
  // No jump-target name survives into the image.
  uint32_t codeStart = uint8_t(bytes[28]) | uint8_t(bytes[29]) << 8 | uint8_t(bytes[30]) << 16 | uint32_t(uint8_t(bytes[31])) << 24;
  for (size_t at = size_t(codeStart) * 4; at + 4 <= bytes.size(); at += 4) {
    int32_t w = int32_t(uint8_t(bytes[at]) | uint8_t(bytes[at + 1]) << 8 | uint8_t(bytes[at + 2]) << 16 |
                        uint32_t(uint8_t(bytes[at + 3])) << 24);
    EXPECT_FALSE(w >= 35000 && w < 37000) << "word " << at / 4;
  }
}
