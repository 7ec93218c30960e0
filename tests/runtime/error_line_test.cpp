// A run-time error stops the program at the line that raised it, whatever the refresh setting.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "runtime/command_families.h"
#include "tests/support/program_run.h"

namespace {

// One command of each family that fails as it runs ("" for a family none of whose commands
// fails; drawing queued under SYNC ON fails at the SYNC). Line 3 fails too: a program that ran
// on past line 2 would stop there instead.
const std::map<std::string, std::string> kFailingCommand = {
    {"control", "function f()"},  // running into a definition
    {"data", ""},
    {"operators", "a = 1 / 0"},
    {"arrays", "zz(9) = 1"},
    {"strings", "a$ = space$(300)"},
    {"maths", "a = rnd(-1)"},
    {"timing", "sync rate -5"},
    {"input", "set control device \"nope\""},
    {"force feedback", "force up 10"},
    {"checklist", "a = checklist value a(1)"},
    {"mouse", ""},
    {"files", "delete file \"nope.txt\""},
    {"streams", "close file 0"},
    {"ftp", "ftp set dir \"x\""},
    {"window and system", "set graphics card \"nope\""},
    {"bitmaps", "set gamma 600, 0, 0"},
    {"drawing", ""},
    {"text", ""},
    {"print", ""},
    {"display modes", "set display mode 640, 480, 99"},
    {"animations", "load animation \"nope.avi\", 1"},
    {"3d maths", ""},
    {"lights", "delete light 5"},
    {"fog and backdrop", "set ambient light 200"},
    {"3d objects", "load object \"nope.x\", 1"},
    {"3d limbs", "hide limb 7, 1"},
    {"3d placement", "rotate object 7, 0, 0, 0"},
    {"3d appearance", "hide object 7"},
    {"3d camera", "set camera to object orientation 7"},
    {"matrices", "delete matrix 7"},
    {"3d collision", "object collision on 7"},
    {"3d animation", "play object 7"},
    {"static world", "make static object 7"},
    {"images", "load image \"nope.png\", 1"},
    {"sprites", "sprite 0, 0, 0, 1"},
    {"model files", "convert 3ds to x \"nope.3ds\", \"out.x\""},
    {"sound", "play sound 0"},
    {"music", "play music 9"},
};

}  // namespace

TEST(RunErrors, StopAtTheirOwnLineUnderSyncOnAndOff) {
  for (const CommandFamily& family : CommandFamilies()) {
    const auto it = kFailingCommand.find(family.name);
    ASSERT_NE(it, kFailingCommand.end()) << "no failing command for the family " << family.name;
    if (it->second.empty()) continue;
    for (const char* refresh : {"sync on", "sync off"}) {
      const std::string& command = it->second;
      const std::string source = std::string(refresh) + " : dim zz(2)\n" + command + "\nzz(7) = 1\nsync\n" +
                                 (command.starts_with("function") ? "endfunction\n" : "");
      RunOutcome r = RunVkaSource(source, 10);
      EXPECT_NE(r.err.find("program.vka:2: Error In Program: "), std::string::npos)
          << family.name << ", " << refresh << ": " << r.err;
    }
  }
}
