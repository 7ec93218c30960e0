// The development environment driven headless by an input file: typing, compiling and running
// the program in the same process, and coming back to the editor with an error selected.
#include <gtest/gtest.h>

#include <filesystem>

#include "display/imagefiles/image_files.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

struct EditCase {
  const char* name;
  const char* source;
  const char* script;
  int frames;
  const char* madeFile;     // a file the program makes in the project folder ("" none)
  const char* notMadeFile;  // a file it must not make ("" none)
  int selectedRow;          // the editor row shown selected at the end (-1 none)
  bool statusText;          // the status line shows a text (a first start shows none)
};

const EditCase kCases[] = {
    // Typed text reaches the compile; the run ends and the editor comes back.
    {"TypedProgramRunsAndReturns", "", "2 type make file \"ran.txt\"\n40 key F5 down\n41 key F5 up\n", 120,
     "ran.txt", "", -1, true},
    // A run-time error comes back with its line selected.
    {"RunErrorSelectsItsLine", "x = 1\nmake file \"ran.txt\"\ndim a(3)\na(5) = 1\nprint x\n",
     "10 key F5 down\n11 key F5 up\n", 60, "ran.txt", "", 3, true},
    // F4 compiles without running: a compile error selects its line.
    {"CompileErrorSelectsItsLine", "make file \"ran.txt\"\ny = (\n", "10 key F4 down\n11 key F4 up\n", 60, "",
     "ran.txt", 1, true},
    // A compile that succeeds runs nothing and says so in the status line.
    {"CompileAloneRunsNothing", "make file \"ran.txt\"\n", "10 key F4 down\n11 key F4 up\n", 40, "", "ran.txt", -1,
     true},
    // One frame counter: Escape ends the first run, the input after it edits the source, and the
    // second run sees the edit.
    {"OneInputFileDrivesTheSession", "do\nloop\n",
     "10 key F5 down\n11 key F5 up\n40 key Escape down\n41 key Escape up\n60 type make file \"after.txt\"\n"
     "90 key Return down\n91 key Return up\n100 key F5 down\n101 key F5 up\n130 key Escape down\n"
     "131 key Escape up\n",
     160, "after.txt", "", -1, true},
    // The cursor comes back where the run left it: the character typed after it lands on line 2.
    {"CursorIsKeptAcrossARun", "a = 1\nb = 2\n",
     "5 key Down down\n6 key Down up\n7 key End down\n8 key End up\n10 key F5 down\n11 key F5 up\n"
     "40 type (\n50 key F4 down\n51 key F4 up\n",
     80, "", "", 1, true},
    // F5 with Escape held: the run waits for its release (here past the session's end).
    {"EscapeHeldDelaysTheRun", "make file \"ran.txt\"\n",
     "5 key Escape down\n10 key F5 down\n11 key F5 up\n60 key Escape up\n", 40, "", "ran.txt", -1, true},
};

class Environment : public ::testing::TestWithParam<EditCase> {};

// Whether the editor row is drawn with the selection behind it (sampled left of the text).
bool RowSelected(const Surface& grab, int row) {
  const uint32_t pixel = grab.GetPixel(1, 43 + row * 13 + 1) & 0xFFFFFF;
  return pixel == 0xFFFFFF;
}

TEST_P(Environment, Session) {
  const EditCase& c = GetParam();
  TempDir dir;
  std::filesystem::create_directory(dir.File("project"));
  dir.Write("project/game.vka", c.source);
  dir.Write("script.txt", c.script);
  ProcessResult r = RunProcess(VellumarkExe(),
                               {"edit", dir.File("project/game.vka"), "--headless", "--clock", "virtual", "--input",
                                dir.File("script.txt"), "--frames", std::to_string(c.frames), "--grab",
                                dir.File("out.png")},
                               dir.path(), {"XDG_CONFIG_HOME=" + dir.File("config"), "ASAN_OPTIONS=detect_leaks=0"});
  ASSERT_EQ(r.status, 0) << r.err;
  if (*c.madeFile) {
    EXPECT_TRUE(std::filesystem::exists(dir.File(std::string("project/") + c.madeFile))) << r.err;
  }
  if (*c.notMadeFile) {
    EXPECT_FALSE(std::filesystem::exists(dir.File(std::string("project/") + c.notMadeFile)));
  }
  SurfacePtr grab = LoadImageByExtension(dir.File("out.png"), 32);
  ASSERT_TRUE(grab);
  // The session ends in the editor: its menu bar, not a program's black screen.
  EXPECT_NE(grab->GetPixel(300, 5) & 0xFFFFFF, 0u);
  for (int row = 0; row < 5; ++row) EXPECT_EQ(RowSelected(*grab, row), row == c.selectedRow) << "row " << row;
  bool text = false;
  for (int x = 2; x < 200; ++x) text = text || grab->GetPixel(x, 470) != grab->GetPixel(1, 470);
  EXPECT_EQ(text, c.statusText);
}

INSTANTIATE_TEST_SUITE_P(Edit, Environment, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
