// The command line: compile, check, run and build of a source file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/embedded_data.h"
#include "platform/fs.h"
#include "tests/support/compile_helpers.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

struct Result {
  int status;
  std::string output;  // stdout and stderr
};

Result Tool(const std::string& arguments, const std::string& prefix = "") {
  std::string command = prefix + std::string(VK_BINARY_DIR) + "/vellumark " + arguments + " 2>&1";
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
}

// A source that cannot be read is said with the cause, by every command that compiles one.
TEST(CommandLine, ASourceThatCannotBeReadIsSaidWithItsCause) {
  const std::string missing = TempFolder() + "/cli_missing.vka";
  const std::string locked = WriteTempFile("cli_locked.vka", "print 1\n");
  chmod(locked.c_str(), 0);
  const bool root = access(locked.c_str(), R_OK) == 0;  // root reads it anyway
  for (const char* command : {"compile ", "check ", "build ", "run "}) {
    Result r = Tool(command + missing);
    EXPECT_EQ(r.status, 2) << command;
    EXPECT_EQ(r.output, "vellumark: " + missing + ": no such file\n") << command;
    if (root) continue;
    r = Tool(command + locked);
    EXPECT_EQ(r.status, 2) << command;
    EXPECT_EQ(r.output, "vellumark: " + locked + ": cannot be read: permission denied\n") << command;
  }
  FsDeleteFile(locked);
}

TEST(CommandLine, CompileWritesTheImage) {
  std::string source = WriteTempFile("cli_image.vka", "print \"hi\"\n");
  std::string image = TempFolder() + "/cli_image.img";
  FsDeleteFile(image);
  Result r = Tool("compile " + source);
  EXPECT_EQ(r.status, 0) << r.output;
  std::string bytes;
  ASSERT_TRUE(FsReadFile(image, bytes));
  // The image carries the code page of its texts: 1252 where no SETUP.INI names another.
  Compiler& c = TestCompiler();
  ASSERT_TRUE(c.CompileText("print \"hi\"\n"));
  c.SetCodePage(1252);
  std::vector<uint8_t> expected = c.BuildImage();
  c.SetCodePage(0);
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
  // A game is made as any program is: 0777 less the umask of whoever builds it.
  for (const mode_t mask : {022u, 077u}) {
    FsDeleteFile(game);
    const mode_t before = umask(mask);
    Result r = Tool("build " + source + " -o " + game);
    umask(before);
    EXPECT_EQ(r.status, 0) << r.output;
    struct stat st {};
    ASSERT_EQ(stat(game.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0777u & ~mask);
  }
  Result bad = Tool("build " + WriteTempFile("cli_game_bad.vka", "foo bar\n") + " -o " + game + "2");
  EXPECT_EQ(bad.status, 2);
  EXPECT_FALSE(FsFileExists(game + "2"));
  // An output that cannot be written is a command line that cannot be carried out.
  Result unwritable = Tool("build " + source + " -o " + TempFolder() + "/cli_no/such/game");
  EXPECT_EQ(unwritable.status, 2) << unwritable.output;
  EXPECT_NE(unwritable.output.find("cannot write"), std::string::npos) << unwritable.output;
}

// What must fit in 255 bytes is the name in the pack: a project whose folders lie deeper on
// disk than that still has its media packed. Without --media nothing is packed.
TEST(CommandLine, BuildWithMediaPacksTheFoldersOfADeepProject) {
  const std::string project = "cli_deep/" + std::string(250, 'd') + "/project";
  std::filesystem::create_directories(TempFolder() + "/" + project + "/sfx");
  WriteTempFile(project + "/sfx/boom.wav", "RIFF");
  const std::string source = WriteTempFile(project + "/game.vka", "print 1\n");
  const std::string game = TempFolder() + "/cli_deep_game";
  for (const bool media : {true, false}) {
    Result r = Tool("build " + source + (media ? " --media" : "") + " -o " + game);
    ASSERT_EQ(r.status, 0) << r.output;
    std::string bytes;
    ASSERT_TRUE(FsReadFile(game, bytes));
    EXPECT_EQ(bytes.find("sfx\\boom.wav") != std::string::npos, media);
  }
}

// A media file whose name in the pack would pass 255 bytes is refused, and nothing is written:
// also one below a folder whose own name in the pack leaves no room for a file.
TEST(CommandLine, BuildRefusesMediaNamesThePackCannotHold) {
  const struct {
    std::string folder, file;
  } cases[] = {{std::string(200, 'm'), std::string(60, 'p') + ".bmp"}, {std::string(254, 'n') + "/sub", "a.wav"}};
  int k = 0;
  for (const auto& c : cases) {
    const std::string project = "cli_media" + std::to_string(++k);
    std::filesystem::create_directories(TempFolder() + "/" + project + "/" + c.folder);
    WriteTempFile(project + "/" + c.folder + "/" + c.file, "BM");
    std::string source = WriteTempFile(project + "/game.vka", "print 1\n");
    std::string game = TempFolder() + "/" + project + "_game";
    Result r = Tool("build " + source + " --media -o " + game);
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.output.find("is longer than 255 bytes"), std::string::npos) << r.output;
    EXPECT_FALSE(FsFileExists(game));
  }
}

// Only regular files are packed: a named pipe with a media name in the folder does not hold
// the build.
TEST(CommandLine, BuildWithMediaSkipsAPipe) {
  std::filesystem::create_directories(TempFolder() + "/cli_pipe");
  const std::string pipe = TempFolder() + "/cli_pipe/music.wav";
  unlink(pipe.c_str());
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  std::string source = WriteTempFile("cli_pipe/game.vka", "print 1\n");
  std::string game = TempFolder() + "/cli_pipe_game";
  Result r = Tool("build " + source + " --media -o " + game, "timeout 60 ");
  unlink(pipe.c_str());
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(FsFileExists(game));
}

// A game whose name ends in "x" counts as a media name: building it again beside its source
// must not pack the previous build into the new one.
TEST(CommandLine, RebuildingWithMediaLeavesThePreviousGameOut) {
  std::filesystem::create_directories(TempFolder() + "/cli_box");
  std::string source = WriteTempFile("cli_box/box.vka", "print 1\n");
  const std::string game = TempFolder() + "/cli_box/box";
  uintmax_t sizes[2] = {};
  for (uintmax_t& size : sizes) {
    Result r = Tool("build " + source + " --media -o " + game);
    ASSERT_EQ(r.status, 0) << r.output;
    size = std::filesystem::file_size(game);
  }
  EXPECT_EQ(sizes[1], sizes[0]);
  std::filesystem::remove(game);
}

// --media takes the media of the source's folder: with only a program image it is refused, not
// silently left out.
TEST(CommandLine, BuildFromAnImageRefusesMedia) {
  std::string source = WriteTempFile("cli_img_media.vka", "print 1\n");
  std::string image = TempFolder() + "/cli_img_media.img";
  ASSERT_EQ(Tool("compile " + source + " -o " + image).status, 0);
  const std::string game = TempFolder() + "/cli_img_media_game";
  Result r = Tool("build --image " + image + " -o " + game + " --media");
  EXPECT_EQ(r.status, 2) << r.output;
  EXPECT_NE(r.output.find("--media"), std::string::npos) << r.output;
  EXPECT_FALSE(FsFileExists(game));
}

// build --image and exec load the image as a run loads it: what would not run (an empty file,
// other bytes, a damaged or cut image, a source) makes no game and runs nothing, and both say
// the same reason with the same status 3 (each naming itself for a source).
TEST(CommandLine, BuildAndExecRefuseAnImageThatDoesNotLoadAlike) {
  std::string source = WriteTempFile("cli_bad_image.vka", "print \"1\"\n");
  std::string image = TempFolder() + "/cli_bad_image.img", bytes;
  ASSERT_EQ(Tool("compile " + source + " -o " + image).status, 0);
  ASSERT_TRUE(FsReadFile(image, bytes));
  const std::string game = TempFolder() + "/cli_bad_image_game", bad = TempFolder() + "/cli_bad_image.bin";
  const std::pair<std::string, std::string> kImages[] = {
      {"", " is not a program image\n"},
      {std::string(4096, 'x'), " is not a program image (a source file "},
      {"\x02" + bytes.substr(1), " is not a program image\n"},
      {bytes.substr(0, bytes.size() - 4), ": the program image is cut short"},
      {bytes + "junk", ": the program image holds more data than its counts give: 4 bytes follow the end of its code\n"},
      {bytes.substr(0, 16) + std::string(4, '\0') + bytes.substr(20),
       ": the program image holds more string literals than its count gives\n"},
      {bytes.substr(0, bytes.size() / 2), ": the program image has a wrong size\n"},
      {"print 1\n", " is not a program image (a source file "}};
  const auto given = [&](const char* command) {
    return Tool(command + bad + (command[0] == 'b' ? " -o " + game : " --headless --frames 1"));
  };
  for (const auto& [content, reason] : kImages) {
    WriteTempFile("cli_bad_image.bin", content);
    for (const char* command : {"build --image ", "exec "}) {
      Result r = given(command);
      EXPECT_EQ(r.status, 3) << command << reason << r.output;
      EXPECT_EQ(r.output.rfind("vellumark: " + bad + reason, 0), 0u) << command << r.output;
    }
    EXPECT_FALSE(FsFileExists(game)) << reason;
  }
  // A file that is not there is a bad input file to both.
  FsDeleteFile(bad);
  for (const char* command : {"build --image ", "exec "}) {
    Result r = given(command);
    EXPECT_EQ(r.status, 2) << command;
    EXPECT_EQ(r.output, "vellumark: " + bad + ": no such file\n") << command;
  }
  EXPECT_EQ(Tool("build --image " + image + " -o " + game).status, 0);
  EXPECT_TRUE(FsFileExists(game));
  FsDeleteFile(game);
}

// A link back to a folder above does not pack the same files again at every depth.
TEST(CommandLine, BuildWithMediaFollowsALinkLoopOnce) {
  const std::string root = TempFolder() + "/cli_loop";
  std::filesystem::create_directories(root + "/pics");
  WriteTempFile("cli_loop/pics/tree.bmp", std::string(1000, 'b'));
  std::string source = WriteTempFile("cli_loop/game.vka", "print 1\n");
  std::filesystem::remove(root + "/pics/up");
  uintmax_t sizes[2] = {};
  for (int k = 0; k < 2; ++k) {
    if (k == 1) std::filesystem::create_directory_symlink("..", root + "/pics/up");
    Result r = Tool("build " + source + " --media -o " + root + "_game");
    ASSERT_EQ(r.status, 0) << r.output;
    sizes[k] = std::filesystem::file_size(root + "_game");
  }
  std::filesystem::remove(root + "/pics/up");
  EXPECT_EQ(sizes[1], sizes[0]);
}

// Links whose target lies outside the source's folder tree are not followed; links inside it are.
TEST(CommandLine, BuildWithMediaStaysInTheSourceFolderTree) {
  const std::string root = TempFolder() + "/cli_tree", outside = TempFolder() + "/cli_tree_outside";
  std::filesystem::remove_all(root);
  std::filesystem::create_directories(root + "/pics");
  std::filesystem::create_directories(outside);
  WriteTempFile("cli_tree/pics/tree.bmp", std::string(1000, 'b'));
  WriteTempFile("cli_tree_outside/far.bmp", std::string(100000, 'f'));
  std::string source = WriteTempFile("cli_tree/game.vka", "print 1\n");
  uintmax_t sizes[3] = {};
  for (int k = 0; k < 3; ++k) {
    if (k == 1) std::filesystem::create_directory_symlink(outside, root + "/away");
    if (k == 1) std::filesystem::create_symlink(outside + "/far.bmp", root + "/far.bmp");
    if (k == 2) std::filesystem::create_directory_symlink("pics", root + "/again");
    Result r = Tool("build " + source + " --media -o " + root + "_game");
    ASSERT_EQ(r.status, 0) << r.output;
    sizes[k] = std::filesystem::file_size(root + "_game");
  }
  std::filesystem::remove_all(root);
  EXPECT_EQ(sizes[1], sizes[0]);
  EXPECT_GT(sizes[2], sizes[1]);
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

// A run-time error in a run names its file and line first.
TEST(CommandLine, RunTimeErrorsNameTheirFileAndLine) {
  const std::string lib = WriteTempFile("cli_boom.vka", "function boom()\n  dim q(2)\n  q(7) = 1\nendfunction\n");
  const std::string source = WriteTempFile("cli_boom_main.vka", "rem main\n#include cli_boom.vka\nboom()\n");
  Result run = Tool("run " + source + " --headless --clock virtual --frames 10");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.output.rfind(lib + ":3: Error In Program: Runtime Error", 0), 0u) << run.output;
}

// Image loads name the file and the cause after the error's text; errors of drawing queued
// under sync on name the line that queued the drawing, not the sync that ran it.
TEST(CommandLine, ImageErrorsNameTheFileTheCauseAndTheQueuingLine) {
  const std::string bad = WriteTempFile("cli_bad.png", "not a picture"), jpeg = WriteTempFile("cli_pic.jpeg", "x");
  const std::string missing = TempFolder() + "/cli_missing/x.png";
  const std::pair<std::string, std::string> kCases[] = {
      {"rem\nload image \"cli_nope.png\",1\n", ":2: Error In Program: Runtime Error : File not found. cli_nope.png: not found"},
      {"load image \"" + bad + "\",1\n",
       ":1: Error In Program: Runtime Warning : Cannot load the image file. " + bad + ": damaged, or not a .png picture"},
      {"load image \"" + jpeg + "\",1\n",
       ":1: Error In Program: Runtime Warning : Cannot load the image file. " + jpeg + ": only .jpg is read"},
      {"sync on\nget image 1,-5,0,10,10\nprint 1\nsync\n", ":2: Error In Program: Runtime Error : Image area outside"},
      {"sync on\nget image 1,0,0,10,10\nsave image \"" + missing + "\",1\nprint 1\nsync\n",
       ":3: Error In Program: Runtime Error : Image command failed. " + missing + ": its folder does not exist"},
      {"create bitmap 1,8,8\nsave bitmap \"cli_shot.tif\",1\n",
       ":2: Error In Program: Runtime Error : Cannot save the bitmap. cli_shot.tif: not a format that is written"},
      {"sync on\nprint 1\nsave bitmap \"" + missing + "\"\nprint 2\nsync\nprint 3\nsync\n",
       ":3: Error In Program: Runtime Error : Cannot save the bitmap. " + missing + ": its folder does not exist"},
      // Two saves that fail in one refresh: the program stops at the first, which is named.
      {"sync on\nget image 1,0,0,10,10\nsave image \"" + missing + "\",1\nsave bitmap \"" + missing + "2\"\nsync\n",
       ":3: Error In Program: Runtime Error : Image command failed. " + missing + ": its folder does not exist"},
      {"sync on\nget image 1,0,0,10,10\nsave image \"" + bad + "\",1\n",
       ":3: Error In Program: Runtime Error : File already exists. " + bad + ": already exists"},
      {"sync on\nget image 1,0,0,10,10\nsave image \"" + bad + "/x.png\",1\nsync\n",
       ":3: Error In Program: Runtime Error : Image command failed. " + bad + "/x.png: a part of the path is not a folder"},
  };
  for (const auto& [program, message] : kCases) {
    const std::string source = WriteTempFile("cli_image_error.vka", program);
    Result r = Tool("run " + source + " --headless --clock virtual --frames 10");
    EXPECT_EQ(r.status, 1) << program;
    EXPECT_EQ(r.output.rfind(source + message, 0), 0u) << program << r.output;
  }
}

// An include line whose file cannot be read is a warning of run, compile and check, which
// otherwise go on without it.
TEST(CommandLine, MissingIncludedFilesAreWarnedAbout) {
  const std::string source = WriteTempFile("cli_includes.vka", "rem main\n#include cli_nothere.vka\nprint 1\n");
  const std::string warning =
      source + ":2: warning: the included file " + TempFolder() + "/cli_nothere.vka cannot be read\n";
  for (const std::string& command : {"check " + source, "compile " + source + " -o " + TempFolder() + "/cli_inc.img",
                                     "run " + source + " --headless --clock virtual --frames 2"}) {
    Result r = Tool(command);
    EXPECT_EQ(r.status, 0) << command;
    EXPECT_EQ(r.output, warning) << command;
  }
}

// A statement outside the functions of an included file is left out with a warning at its line.
TEST(CommandLine, LeftOutStatementsOfIncludedFilesAreWarnedAbout) {
  const std::string lib = WriteTempFile("cli_toplib.vka", "function one()\nendfunction 1\nprint 2\n");
  const std::string source = WriteTempFile("cli_top.vka", "#include cli_toplib.vka\nprint one()\n");
  Result r = Tool("check " + source);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.output, lib + ":3: warning: Statements outside the functions of an included file are not compiled\n");
}

// A keywords.txt beside the executable stands for the built-in list; a compile names each line
// it skips, once.
TEST(CommandLine, AKeywordListBesideTheExecutableNamesTheLinesItSkips) {
  TempDir dir;
  std::error_code linked;
  std::filesystem::create_hard_link(VellumarkExe(), dir.File("vellumark"), linked);
  if (linked) std::filesystem::copy_file(VellumarkExe(), dir.File("vellumark"));
  const EmbeddedFile* list = FindEmbeddedFile("keywords.txt");
  ASSERT_NE(list, nullptr);
  dir.Write("keywords.txt", std::string(reinterpret_cast<const char*>(list->data), list->size) + "\nno such line\n");
  dir.Write("p.vka", "print 1\n");
  const ProcessResult r = RunProcess(dir.File("vellumark"), {"check", dir.File("p.vka")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "vellumark: keywords.txt: Keyword list line skipped (malformed): no such line\n");
}

// A command line that cannot be carried out says what was wrong, with status 2.
TEST(CommandLine, UsageErrorsSayWhatWasWrong) {
  const std::string source = WriteTempFile("cli_usage.vka", "print 1\n");
  const std::pair<std::string, std::string> kCases[] = {
      {"frob", "unknown command \"frob\""},
      {"run", "run needs a source file"},
      {"run " + source + " --bogus", "unknown option \"--bogus\""},
      {"run " + source + " --frames", "--frames needs a number of frames"},
      {"exec x.img --frames -3", "--frames needs a number of frames, not \"-3\""},
      {"exec x.img --clock fast", "--clock takes only \"virtual\", not \"fast\""},
      {"exec x.img --grab", "--grab needs a file name"},
      {"compile " + source + " -o", "-o needs a file name"},
      {"check " + source + " extra", "unexpected argument \"extra\""},
      {"build --image x.img", "build --image needs -o GAME"},
  };
  for (const auto& [arguments, what] : kCases) {
    Result r = Tool(arguments);
    EXPECT_EQ(r.status, 2) << arguments;
    EXPECT_EQ(r.output.rfind("vellumark: " + what + "\n", 0), 0u) << arguments << " gave " << r.output;
  }
}

TEST(CommandLine, HelpSaysWhatEachOptionDoesAndVersionNamesTheRelease) {
  Result help = Tool("--help");
  EXPECT_EQ(help.status, 0);
  for (const char* option : {"--window", "--headless", "--frames N", "--clock virtual", "--grab FILE",
                             "--transcript FILE", "--input FILE", "--debug", "--standalone", "-o GAME", "--media"}) {
    const size_t at = help.output.find(std::string("\n  ") + option + " ");
    ASSERT_NE(at, std::string::npos) << option;
    const size_t end = help.output.find('\n', at + 1);
    EXPECT_GT(end - at, std::string(option).size() + 20) << option << " has no description";
  }
  // The --input file's every event is described, in the form the reader takes.
  for (const char* form : {"FRAME key NAME down|up", "FRAME type TEXT", "FRAME char CODE", "FRAME mouse X Y",
                           "FRAME button B down|up", "FRAME wheel N"})
    EXPECT_NE(help.output.find(std::string("\n  ") + form + "  "), std::string::npos) << form;
  // Under the virtual clock the sound mix keeps real time: the help says so where the option is.
  EXPECT_NE(help.output.find("  --clock virtual    a clock that moves only as the program runs: a run repeats exactly,\n"
                             "                     except sound: the mix (SOUND PLAYING, MUSIC PLAYING) keeps real time\n"),
            std::string::npos)
      << help.output;
  Result version = Tool("--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.output.rfind("vellumark ", 0), 0u);
  EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(version.output[10]))) << version.output;
}

// The files the options name are checked before the run starts: one that cannot be written
// or read is a usage error, printed once.
TEST(CommandLine, OptionFilesAreCheckedBeforeTheRun) {
  const std::string source = WriteTempFile("cli_files.vka", "print 1\n");
  WriteTempFile("cli_bad_input.txt", "1 key A down\n2 jump\n");
  const std::string folder = TempFolder(), missing = folder + "/cli_no_folder/out";
  std::filesystem::resize_file(WriteTempFile("cli_big_input.txt", ""), (uint64_t(256) << 20) + 1);  // sparse
  const std::pair<std::string, std::string> kCases[] = {
      {"--grab " + missing + ".png", "cannot write the --grab file " + missing + ".png: "},
      {"--transcript " + folder, "cannot write the --transcript file " + folder + ": it is a folder"},
      {"--input " + folder + "/cli_bad_input.txt",
       "--input file " + folder + "/cli_bad_input.txt: line 2: cannot read the \"jump\" event: the events are key, type, char, "
       "mouse, button and wheel\n"},
      {"--input " + missing + ".txt", "cannot read the --input file " + missing + ".txt: not found\n"},
      {"--input /dev/zero", "cannot read the --input file /dev/zero: too large for an input file\n"},
      {"--input " + folder + "/cli_big_input.txt",
       "cannot read the --input file " + folder + "/cli_big_input.txt: too large for an input file\n"},
      {"--grab /proc/self/fd/99", "cannot write the --grab file /proc/self/fd/99: no such descriptor is open\n"},
      {"--transcript /dev/fd/0 </dev/null", "cannot write the --transcript file /dev/fd/0: the descriptor is open for reading only\n"},
  };
  for (const auto& [option, what] : kCases) {
    Result r = Tool("run " + source + " --headless --frames 2 " + option);
    EXPECT_EQ(r.status, 2) << option;
    EXPECT_EQ(r.output.rfind("vellumark: " + what, 0), 0u) << option << " gave " << r.output;
    EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 2) << r.output;  // once, and the hint
  }
  // A pipe on standard input is read from only.
  for (const char* name : {"/dev/fd/0", "/dev/stdin"}) {
    Result piped = Tool("run " + source + " --headless --frames 2 --transcript " + name, "echo | ");
    EXPECT_EQ(piped.status, 2) << name;
    EXPECT_EQ(piped.output.rfind(std::string("vellumark: cannot write the --transcript file ") + name +
                                     ": the descriptor is open for reading only\n",
                                 0),
              0u)
        << piped.output;
  }
  // A pipe is read as far as a file may go, and no further.
  Result endless = Tool("run " + source + " --headless --frames 2 --input /dev/stdin", "yes | ");
  EXPECT_EQ(endless.status, 2);
  EXPECT_NE(endless.output.find("/dev/stdin: too large for an input file"), std::string::npos) << endless.output;
  // A file that can be written is left as it was until the run writes it.
  const std::string kept = WriteTempFile("cli_kept.txt", "old");
  EXPECT_EQ(Tool("exec " + folder + "/cli_no_image.img --transcript " + kept).status, 2);
  std::string text;
  ASSERT_TRUE(FsReadFile(kept, text));
  EXPECT_EQ(text, "old");
}

// An input pipe is read once, before the run, which its events drive; a command refused once the
// pipe is read leaves no temporary folder behind.
TEST(CommandLine, APipedInputIsReadOnce) {
  const std::string source = WriteTempFile("cli_piped.vka", "sync on\nfor f = 1 to 6\n  s$ = s$ + inkey$()\n  sync\nnext f\nprint s$\nsync\n");
  const std::string state = TempFolder() + "/cli_piped_state";
  std::filesystem::remove_all(state);
  std::filesystem::create_directories(state);
  const std::string prefix = "printf '2 char 65\\n' | XDG_STATE_HOME=" + state + " ";
  Result r = Tool("run " + source + " --headless --clock virtual --input /dev/stdin --transcript -", prefix);
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(r.output, "A\n");
  r = Tool("run " + source + " --headless --input /dev/stdin --transcript " + source, prefix);
  EXPECT_EQ(r.status, 2) << r.output;
  ASSERT_TRUE(std::filesystem::is_directory(state + "/vellumark"));
  for (const auto& entry : std::filesystem::directory_iterator(state + "/vellumark"))
    EXPECT_NE(entry.path().filename().string().rfind("run-", 0), 0u) << entry.path();
}

// A file larger than the memory left is said in words: an --input file as a bad input file,
// whether read as a file or as a device, and a program image as one that does not load. A
// sanitizer reserves more address space than the limit.
TEST(CommandLine, AFileBeyondTheMemoryLeftIsSaidSo) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP();
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
  GTEST_SKIP();
#endif
#endif
  const std::string source = WriteTempFile("cli_memory.vka", "print 1\n");
  const std::string big = WriteTempFile("cli_memory_input.txt", "");
  const std::string image = WriteTempFile("cli_memory.img", std::string("\x01\0\0\0\0\x04\0\0", 8));
  std::filesystem::resize_file(big, 200 << 20);  // sparse: no disk taken
  std::filesystem::resize_file(image, 200 << 20);
  const struct {
    std::string command, said;
    int status;
  } cases[] = {
      {"run " + source + " --headless --input " + big, "not enough memory to read the --input file " + big, 2},
      {"run " + source + " --headless --input /dev/zero", "not enough memory to read the --input file /dev/zero", 2},
      {"exec " + image + " --headless", image + ": not enough memory to load the program image", 3},
  };
  for (const auto& c : cases) {
    Result r = Tool(c.command, "ulimit -v 150000; ");
    EXPECT_EQ(r.status, c.status) << c.command;
    EXPECT_EQ(r.output.rfind("vellumark: " + c.said + "\n", 0), 0u) << r.output;
  }
  FsDeleteFile(big);
  FsDeleteFile(image);
}

// run of a program image and exec of a source say which command fits.
TEST(CommandLine, RunAndExecSayWhichCommandFitsTheFile) {
  const std::string source = WriteTempFile("cli_which.vka", "print 1\n");
  const std::string text = WriteTempFile("cli_which.txt", "print 1\r\n");
  const std::string image = TempFolder() + "/cli_which.img";
  ASSERT_EQ(Tool("compile " + source + " -o " + image).status, 0);
  Result run = Tool("run " + image);
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.output.rfind("vellumark: " + image + " is a program image: run it with \"vellumark exec " + image, 0),
            0u) << run.output;
  const std::pair<std::string, std::string> kNotImages[] = {
      {source, source + " is a source file: run it with \"vellumark run " + source},
      {text, text + " is not a program image (a source file runs with \"vellumark run " + text},
      {image + ".bin", image + ".bin is not a program image\n"}};
  WriteTempFile("cli_which.img.bin", std::string("\x7f" "ELF\x02\x01", 6));
  for (const auto& [file, what] : kNotImages) {
    Result exec = Tool("exec " + file + " --headless");
    EXPECT_EQ(exec.status, 3);
    EXPECT_EQ(exec.output.rfind("vellumark: " + what, 0), 0u) << exec.output;
  }
}

// exec and run of something that is there but is no file say what it is, with the status of a
// bad input file; a file named as a folder is not taken for the file.
TEST(CommandLine, ExecSaysWhatIsNotAFile) {
  const std::string folder = TempFolder() + "/cli_exec_folder", pipe = TempFolder() + "/cli_exec_pipe";
  const std::string file = WriteTempFile("cli_exec_file.vka", "print 1\n");
  std::filesystem::create_directories(folder);
  unlink(pipe.c_str());
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  const std::pair<std::string, std::string> cases[] = {{folder, "is a folder"},
                                                       {folder + "/", "is a folder"},
                                                       {pipe, "is not a regular file"},
                                                       {folder + "/none.img", "no such file"},
                                                       {file + "/", "not a folder"}};
  for (const char* command : {"exec ", "run "})
    for (const auto& [name, what] : cases) {
      Result r = Tool(command + name + " --headless --frames 1", "timeout 60 ");
      EXPECT_EQ(r.status, 2) << command << name;
      EXPECT_EQ(r.output, "vellumark: " + name + ": " + what + "\n");
    }
  unlink(pipe.c_str());
}

// The program's command line keeps arguments with blanks apart, and the running file and the
// current folder come back as full paths with their drive, also for an image given relatively.
TEST(CommandLine, ProgramSeesQuotedArgumentsAndFullPaths) {
  const std::string folder = TempFolder() + "/cli_paths";
  std::filesystem::create_directories(folder);
  const std::string source =
      WriteTempFile("cli_paths/show.vka", "print command line$()\nprint app name$()\nprint get dir$()\n");
  ASSERT_EQ(Tool("compile " + source).status, 0);
  const std::string expected = "\"two words\" x \"\"\n" + FsToProgramPath(folder + "/show.img") + "\n" +
                               FsToProgramPath(folder) + "\n";
  // Three frames: one for each print.
  Result r = Tool("exec ./show.img --headless --frames 3 --transcript - -- \"two words\" x \"\"",
                  "cd " + folder + " && ");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(r.output, expected);
}

// The file of every command may stand anywhere among the options; options keep their values and
// "--" still ends them.
TEST(CommandLine, TheFileMayStandAmongTheOptions) {
  const std::string folder = TempFolder();
  const std::string source = WriteTempFile("cli_order.vka", "print command line$()\n");
  const std::string image = folder + "/cli_order.img", other = folder + "/cli_order_o.img";
  ASSERT_EQ(Tool("compile " + source + " -o " + image).status, 0);
  FsDeleteFile(other);
  const std::string config = folder + "/cli_order_config";
  std::filesystem::create_directories(config + "/vellumark");
  WriteTempFile("cli_order_config/vellumark/WIN.INI", "[VellumarkStateData]\r\nINTRO=1\r\n");
  const std::string run = " --headless --clock virtual --frames 1 --transcript - ";
  const struct {
    std::string arguments;
    int status;
    std::string output;
  } kCases[] = {
      {"run" + run + source, 0, "\n"},
      {"run --frames 1 " + source + " --headless --transcript - -- a.vka", 0, "a.vka\n"},
      {"exec" + run + image + " -- x", 0, "x\n"},
      {"compile -o " + other + " " + source, 0, ""},
      {"build -o " + folder + "/cli_order_game " + source, 0, ""},
      {"edit --headless --frames 2 " + source, 0, ""},
      {"run --headless -- " + source, 2, "vellumark: run needs a source file\n"},
      {"run --transcript " + source, 2, "vellumark: run needs a source file\n"},
      {"run" + run + source + " " + source, 2, "vellumark: unexpected argument \"" + source + "\"\n"},
  };
  for (const auto& c : kCases) {
    Result r = Tool(c.arguments, "XDG_CONFIG_HOME=" + config + " ASAN_OPTIONS=detect_leaks=0 ");
    EXPECT_EQ(r.status, c.status) << c.arguments << " gave " << r.output;
    EXPECT_EQ(r.output.substr(0, c.output.size()), c.output) << c.arguments;
  }
  EXPECT_TRUE(FsFileExists(other));
}
