// Every way a run ends that is not a signal keeps what the program wrote to a file it left open;
// a built game whose stderr's reader is gone runs on to its end.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(Endings, EachKeepsTheFileTheProgramLeftOpen) {
  TempDir dir;
  std::filesystem::create_directories(dir.File("config/vellumark"));
  dir.Write("config/vellumark/WIN.INI", "[VellumarkStateData]\r\nINTRO=1\r\n");
  dir.Write("escape.txt", "3 key Escape down\n4 key Escape up\n");
  dir.Write("f5.txt", "10 key F5 down\n11 key F5 up\n40 key Escape down\n41 key Escape up\n");
  std::string opening = "open to write 1, \"save.txt\"\n", expected;
  for (int k = 0; k < 100; ++k) {
    opening += "write string 1, \"line " + std::to_string(k) + "\"\n";
    expected += "line " + std::to_string(k) + "\r\n";
  }
  const std::string loop = "do\nsync\nloop\n";
  const std::string exe = VellumarkExe(), config = "XDG_CONFIG_HOME=" + dir.File("config");
  const struct {
    const char* name;
    std::string ending;
    std::vector<std::string> command;  // after the executable; "" builds and starts the game
    int status;
    std::string more = "";  // written after the first frame
  } cases[] = {
      {"END", "end\n", {"run", "save.vka", "--headless"}, 0},
      {"the program's last line", "", {""}, 0},
      {"a built game's stderr gone", "sync\nwrite string 1, \"more\"\n", {"", "gone"}, 0, "more\r\n"},
      {"a run-time error", "dim a(3)\na(10) = 1\n", {"exec", "save.img", "--headless"}, 1},
      {"the frames", loop, {"run", "save.vka", "--headless", "--frames", "5"}, 0},
      {"Escape", loop, {"run", "save.vka", "--headless", "--input", "escape.txt"}, 0},
      {"Escape in F5", loop,
       {"edit", "save.vka", "--headless", "--clock", "virtual", "--input", "f5.txt", "--frames", "60"}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(dir.File("save.txt"));
    dir.Write("save.vka", opening + c.ending);
    ProcessResult r;
    if (c.command[0] == "exec") {
      ASSERT_EQ(RunProcess(exe, {"compile", "save.vka", "-o", "save.img"}, dir.path()).status, 0);
    }
    if (c.command[0].empty()) {
      ASSERT_EQ(RunProcess(exe, {"build", "save.vka", "-o", "game"}, dir.path()).status, 0);
      if (c.command.size() == 1) {
        r = RunProcess(dir.File("game"), {}, dir.path());
      } else {
        // With no display to reach, the game says so on stderr as it starts.
        RunProcess("/bin/sh", {"-c", "unset SDL_VIDEODRIVER DISPLAY WAYLAND_DISPLAY; { ./game; echo $? >status; } 2>&1 | true"},
                   dir.path());
        r.status = std::stoi("0" + dir.Read("status"));
      }
    } else {
      r = RunProcess(exe, c.command, dir.path(), {config});
    }
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_EQ(dir.Read("save.txt"), expected + c.more);
  }
}

}  // namespace
