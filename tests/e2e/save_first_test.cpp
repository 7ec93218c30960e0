// `vellumark edit` driven by an input file: every action that would drop changed text asks
// first, a read-only source is never written over, and Enter in a panel's field ends the field.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

// Where the Save As panel's "Save" button is on the screen (the panel centred at 320, 240).
constexpr const char* kSaveButton = "mouse 473 267";

// `vellumark edit [file]` in dir, a later start on this machine (no introduction).
ProcessResult Edit(const TempDir& dir, const std::string& file, const std::string& script, int frames) {
  std::filesystem::create_directories(dir.File("config/vellumark"));
  dir.Write("config/vellumark/WIN.INI", "[VellumarkStateData]\r\nINTRO=1\r\n");
  dir.Write("script.txt", script);
  std::vector<std::string> args = {"edit"};
  if (!file.empty()) args.push_back(dir.File(file));
  args.insert(args.end(), {"--headless", "--clock", "virtual", "--input", dir.File("script.txt"), "--frames",
                           std::to_string(frames)});
  return RunProcess(VellumarkExe(), args, dir.path(), {"XDG_CONFIG_HOME=" + dir.File("config"), "ASAN_OPTIONS=detect_leaks=0"});
}

std::string Click(int frame, const std::string& mouse) {
  return std::to_string(frame) + " " + mouse + "\n" + std::to_string(frame + 1) + " button left down\n" +
         std::to_string(frame + 2) + " button left up\n";
}

std::string Enter(int frame) {
  return std::to_string(frame) + " key Return down\n" + std::to_string(frame + 1) + " key Return up\n";
}

// A program that makes its own source anew, empty; typed into, run, then F3 (the Enter after
// the run ends up in the text).
constexpr const char* kRewrites = "rem\r\ndelete file \"game.vka\"\r\nmake file \"game.vka\"\r\n";
const std::string kRewriteThenSave =
    "2 type rem \n40 key F5 down\n41 key F5 up\n" + Enter(60) + "80 key F3 down\n81 key F3 up\n";

TEST(SaveFirst, TheHeadlineCasesThroughTheEditor) {
  const struct {
    const char* name;
    const char* source;  // game.vka's text; nullptr: no file
    mode_t access;
    std::string script;
    int frames;
    const char* file;  // the file checked afterwards
    const char* expected;
  } cases[] = {
      // Typed text without a name, then F2: "save first?" yes, Save As, and the browser opens.
      {"unnamed typed text, F2", nullptr, 0,
       "2 type print 1\n20 key F2 down\n21 key F2 up\n" + Enter(30) + "40 type typed.vka\n" + Click(60, kSaveButton), 80,
       "typed.vka", "print 1\r\n"},
      // Exit from tab 1 while tab 2 holds typed text: tab 2 is asked about, saved, then the leave
      // question.
      {"exit with tab 2 changed", "print 0\r\n", 0644,
       Click(5, "mouse 478 20") + "10 type print 2\n" + Click(25, "mouse 461 20") + Click(35, "mouse 600 18") + Enter(45) +
           "55 type tab2.vka\n" + Click(70, kSaveButton) + Enter(80),
       120, "tab2.vka", "print 2\r\n"},
      // "Save first?" yes over a source made read-only: refused, the file is as it was.
      {"save first over a read-only source", "print 0\r\n", 0444,
       "2 type x\n" + Click(20, "mouse 600 18") + Enter(30), 60, "game.vka", "print 0\r\n"},
      // F3 once the program run by F5 made its own source anew: "changed on disk. Replace it?"
      // No writes nothing; Yes writes the buffer.
      {"F3 over a file the program rewrote, No", kRewrites, 0644, kRewriteThenSave + Click(90, "mouse 363 257"), 110,
       "game.vka", ""},
      {"F3 over a file the program rewrote, Yes", kRewrites, 0644, kRewriteThenSave + Click(90, "mouse 277 257"), 110,
       "game.vka", "rem \r\nrem\r\ndelete file \"game.vka\"\r\nmake file \"game.vka\"\r\n"},
      // Enter in Replace's first field ends it: nothing is replaced (F3 saves what is there).
      {"replace, Enter in its first field", "hello hello\r\n", 0644,
       "5 key Left Ctrl down\n6 key R down\n7 key R up\n8 key Left Ctrl up\n15 type hello\n" + Enter(30) +
           "35 key Escape down\n36 key Escape up\n45 key F3 down\n46 key F3 up\n",
       60, "game.vka", "hello hello\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    if (c.source) {
      dir.Write("game.vka", c.source);
      chmod(dir.File("game.vka").c_str(), c.access);
    }
    const ProcessResult r = Edit(dir, c.source ? "game.vka" : "", c.script, c.frames);
    EXPECT_TRUE(std::filesystem::exists(dir.File(c.file))) << r.err;
    if (std::filesystem::exists(dir.File(c.file))) {
      EXPECT_EQ(dir.Read(c.file), c.expected) << r.err;
    }
    chmod(dir.File("game.vka").c_str(), 0644);
  }
}

// A start that opens a source names the copy an earlier ending kept of its unsaved changes.
TEST(SaveFirst, AStartNamesTheCopyKeptOfItsSource) {
  TempDir dir;
  dir.Write("game.vka", "print 0\r\n");
  dir.Write("game.vka.recovered", "print 1\r\n");
  const ProcessResult r = Edit(dir, "game.vka", "", 3);
  EXPECT_NE(r.err.find("the unsaved changes of game.vka are kept in " + dir.File("game.vka.recovered") + "\n"),
            std::string::npos) << r.err;
}

}  // namespace
