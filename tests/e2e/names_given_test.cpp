// Names the system gives a program (its folder, its arguments) and names it shows the user,
// between the program's code page and the host's UTF-8, run by the real executable.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

// A game in a folder that reads "??????" beside another that reads so (змейка, тетрис; code
// page 1252) keeps its save in its own folder, and is given its argument in its code page.
TEST(NamesGiven, AGameReachesItsOwnFolderAndReadsItsArgumentsInItsCodePage) {
  TempDir dir;
  const std::string snake = "\xD0\xB7\xD0\xBC\xD0\xB5\xD0\xB9\xD0\xBA\xD0\xB0";
  std::filesystem::create_directories(dir.File(snake));
  std::filesystem::create_directories(dir.File("\xD1\x82\xD0\xB5\xD1\x82\xD1\x80\xD0\xB8\xD1\x81"));
  dir.Write(snake + "/game.vka", R"(d$ = get dir$()
open to write 1, d$ + "\save.txt"
write string 1, command line$()
write string 1, str$(file exist(app name$()))
close file 1
end
)");
  const std::string folder = dir.File(snake), exe = VellumarkExe();
  ASSERT_EQ(RunProcess(exe, {"build", "game.vka", "-o", "game"}, folder).status, 0);
  ASSERT_EQ(RunProcess(exe, {"compile", "game.vka", "-o", "game.img"}, folder).status, 0);
  const std::vector<std::string> commands[] = {
      {exe, "run", "game.vka", "--headless", "--", "caf\xC3\xA9"},
      {exe, "exec", "game.img", "--headless", "--", "caf\xC3\xA9"},
      {folder + "/game", "caf\xC3\xA9"},
  };
  for (const auto& command : commands) {
    SCOPED_TRACE(command[1]);
    std::filesystem::remove(folder + "/save.txt");
    ProcessResult r = RunProcess(command[0], {command.begin() + 1, command.end()}, folder);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.Read(snake + "/save.txt"), "caf\xE9\r\n1\r\n");
  }
}

// Names a program spells in its code page are said on stderr as the disk spells them: a
// missing include, a line of an include quoted by an error, a file a run cannot load, a folder
// a built game cannot enter, a program that cannot be started.
TEST(NamesGiven, MessagesNameFilesAsTheDiskSpellsThem) {
  TempDir dir;
  dir.Write("bad.vka", "function f()\nprint \"caf\xE9\" +\nendfunction\n");
  const struct {
    std::string source, said;
    bool standalone = false;  // run as a built game
  } cases[] = {
      {"#include \"inclu\xE9.vka\"\nend\n", "the included file inclu\xC3\xA9.vka cannot be read"},
      {"#include \"bad.vka\"\nend\n", "included line: print \"caf\xC3\xA9\" +"},
      {"load image \"caf\xE9.png\", 1\nend\n", "File not found. caf\xC3\xA9.png: not found"},
      {"set dir \"nope\xE9\"\nend\n", "Cannot change to the folder. nope\xC3\xA9: not found", true},
      {"execute file \"nope\xE9\", \"\", \"\"\nend\n", "Cannot run the program. nope\xC3\xA9: not found"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.said);
    dir.Write("game.vka", c.source);
    std::vector<std::string> args = {"run", "game.vka", "--headless"};
    if (c.standalone) args.push_back("--standalone");
    // A PATH of the test's own: an inherited entry this user cannot enter would make the
    // missing program "permission denied".
    ProcessResult r = RunProcess(VellumarkExe(), args, dir.path(), {"PATH=/usr/bin:/bin"});
    EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
  }
}

}  // namespace
