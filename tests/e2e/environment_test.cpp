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
  bool statusText;          // the status line shows a text
  const char* errText = "";  // what stderr says ("" anything)
};

const EditCase kCases[] = {
    // Typed text reaches the compile; the run ends and the editor comes back.
    {"TypedProgramRunsAndReturns", "", "2 type make file \"ran.txt\"\n40 key F5 down\n41 key F5 up\n", 120,
     "ran.txt", "", -1, true},
    // The "Run" button at the top right compiles and runs as F5 does.
    {"RunButtonRunsTheProgram", "make file \"ran.txt\"\n",
     "9 mouse 529 18\n10 button left down\n11 button left up\n", 60, "ran.txt", "", -1, true},
    // A run-time error comes back with its line selected.
    {"RunErrorSelectsItsLine", "x = 1\nmake file \"ran.txt\"\ndim a(3)\na(5) = 1\nprint x\n",
     "10 key F5 down\n11 key F5 up\n", 60, "ran.txt", "", 3, true},
    // F4 compiles without running: a compile error selects its line.
    {"CompileErrorSelectsItsLine", "make file \"ran.txt\"\ny = (\n", "10 key F4 down\n11 key F4 up\n", 60, "",
     "ran.txt", 1, true, "project/game.vka:2: "},
    // A missing include is named where the source is, not where its work file is.
    {"AMissingIncludeIsNamedBesideTheSource", "#include \"nope.vka\"\n", "10 key F4 down\n11 key F4 up\n", 40, "",
     "", -1, true, "/project/nope.vka cannot be read"},
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

// `vellumark edit FILE` in dir under the script, its settings in dir/config; a later start on
// this machine unless firstStart (the first opens with the introduction).
ProcessResult Edit(const TempDir& dir, const std::string& file, const std::string& script, int frames,
                   bool grab = true, bool firstStart = false, const std::string& folder = "") {
  if (!firstStart) {
    std::filesystem::create_directories(dir.File("config/vellumark"));
    dir.Write("config/vellumark/WIN.INI", "[VellumarkStateData]\r\nINTRO=1\r\n");
  }
  dir.Write("script.txt", script);
  std::vector<std::string> args = {"edit", dir.File(file), "--headless", "--clock", "virtual", "--input",
                                   dir.File("script.txt"), "--frames", std::to_string(frames)};
  if (grab) args.insert(args.end(), {"--grab", dir.File("out.png")});
  return RunProcess(VellumarkExe(), args, folder.empty() ? dir.path() : folder,
                    {"XDG_CONFIG_HOME=" + dir.File("config"), "ASAN_OPTIONS=detect_leaks=0"});
}

// Whether the editor row is drawn with the selection behind it (sampled left of the text, where
// the caret never is).
bool RowSelected(const Surface& grab, int row) {
  const uint32_t pixel = grab.GetPixel(0, 43 + row * 13 + 1) & 0xFFFFFF;
  return pixel == 0xFFFFFF;
}

TEST_P(Environment, Session) {
  const EditCase& c = GetParam();
  TempDir dir;
  std::filesystem::create_directory(dir.File("project"));
  dir.Write("project/game.vka", c.source);
  ProcessResult r = Edit(dir, "project/game.vka", c.script, c.frames);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find(c.errText), std::string::npos) << r.err;
  EXPECT_EQ(dir.Read("script.txt"), c.script);  // the input file is read, never written
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

// The text caret stands at the cursor and the pointer follows the mouse, with the caret's shape
// over the text pane.
TEST(EnvironmentRuns, CaretAndPointerAreDrawn) {
  TempDir dir;
  dir.Write("game.vka", "ab\n");
  ProcessResult r = Edit(dir, "game.vka", "5 key End down\n6 key End up\n7 mouse 300 300\n", 12);
  ASSERT_EQ(r.status, 0) << r.err;
  SurfacePtr grab = LoadImageByExtension(dir.File("out.png"), 32);
  ASSERT_TRUE(grab);
  const uint32_t background = grab->GetPixel(200, 200);
  // The caret reaches below the one line of text, a few pixels right of the pane's edge.
  int caretColumns = 0;
  for (int x = 4; x < 60; ++x) caretColumns += grab->GetPixel(x, 60) != background;
  EXPECT_GE(caretColumns, 1);
  EXPECT_LE(caretColumns, 3);
  EXPECT_EQ(grab->GetPixel(2, 60), background);  // not at the line's start
  int pointerRows = 0;
  for (int y = 300; y < 330; ++y) pointerRows += grab->GetPixel(300, y) != background;
  EXPECT_GE(pointerRows, 10);
}

// Pixels of the text pane that differ between two grabs.
int PaneDifference(const Surface& a, const Surface& b) {
  int n = 0;
  for (int y = 44; y < 458; y += 3)
    for (int x = 0; x < 616; x += 3) n += a.GetPixel(x, y) != b.GetPixel(x, y);
  return n;
}

// Help pages over the editor: the introduction on the first start, F1 on a command its page,
// F1 on an unknown word the "no help" page.
TEST(EnvironmentRuns, HelpPagesOpenOverTheEditor) {
  struct {
    const char* name;
    const char* source;
    const char* script;
    bool firstStart;
  } const cases[] = {
      {"editor", "print 1\n", "", false},
      {"first start", "print 1\n", "", true},
      {"F1 on print", "print 1\n", "5 key Right down\n6 key Right up\n8 key F1 down\n9 key F1 up\n", false},
      {"F1 on an unknown word", "xyzzy 1\n", "5 key Right down\n6 key Right up\n8 key F1 down\n9 key F1 up\n",
       false},
  };
  std::vector<SurfacePtr> grabs;
  for (const auto& c : cases) {
    TempDir dir;
    dir.Write("game.vka", c.source);
    ProcessResult r = Edit(dir, "game.vka", c.script, 20, true, c.firstStart);
    ASSERT_EQ(r.status, 0) << c.name << r.err;
    grabs.push_back(LoadImageByExtension(dir.File("out.png"), 32));
    ASSERT_TRUE(grabs.back()) << c.name;
  }
  for (size_t i = 1; i < grabs.size(); ++i) {
    EXPECT_GT(PaneDifference(*grabs[0], *grabs[i]), 1000) << cases[i].name << ": no page over the editor";
    for (size_t j = 1; j < i; ++j) EXPECT_GT(PaneDifference(*grabs[j], *grabs[i]), 100) << cases[i].name;
  }
}

// A session through the browser: a new source typed and saved as "game" (the panel's Save
// button), then another source opened by two clicks on its row and run.
TEST(EnvironmentRuns, SaveAndOpenThroughTheBrowser) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("work"));
  dir.Write("work/other.vka", "make file \"ran.txt\"\n");
  const char* script =
      "2 type print 1\n20 key F3 down\n21 key F3 up\n25 type game\n"  // save as: the panel at (111, 80)
      "40 mouse 473 267\n41 button left down\n42 button left up\n"       // its Save button
      "50 key F2 down\n51 key F2 up\n"                                    // open: <parent>, game.VKA, other.vka
      "60 mouse 171 165\n61 button left down\n62 button left up\n64 button left down\n65 button left up\n"
      "80 key F5 down\n81 key F5 up\n";
  dir.Write("script.txt", script);
  std::filesystem::create_directories(dir.File("config/vellumark"));
  dir.Write("config/vellumark/WIN.INI", "[VellumarkStateData]\r\nINTRO=1\r\n");
  ProcessResult r = RunProcess(VellumarkExe(),
                               {"edit", "--headless", "--clock", "virtual", "--input", dir.File("script.txt"),
                                "--frames", "120"},
                               dir.File("work"), {"XDG_CONFIG_HOME=" + dir.File("config"), "ASAN_OPTIONS=detect_leaks=0"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(dir.Read("work/game.VKA"), "print 1\r\n");
  EXPECT_TRUE(std::filesystem::exists(dir.File("work/ran.txt"))) << r.err;
}

// Each run starts from a clean state but keeps the window and the device: the tenth run of a 3D
// program draws what the first drew.
TEST(EnvironmentRuns, TenRunsOfA3DProgramDrawTheSameFrame) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("project"));
  dir.Write("project/game.vka",
            "sync on\nmake object cube 1, 10\nyrotate object 1, 30\nposition camera 0, 5, -30\n"
            "n = 1\nwhile file exist(\"f\" + str$(n) + \".bmp\")\nn = n + 1\nendwhile\nsync\n"
            "save bitmap \"f\" + str$(n) + \".bmp\"\nend\n");
  std::string script;
  for (int k = 0; k < 10; ++k)
    script += std::to_string(10 + 30 * k) + " key F5 down\n" + std::to_string(11 + 30 * k) + " key F5 up\n";
  ProcessResult r = Edit(dir, "project/game.vka", script, 330, false);
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_TRUE(std::filesystem::exists(dir.File("project/f10.bmp"))) << r.err;
  const std::string first = dir.Read("project/f1.bmp");
  SurfacePtr picture = LoadImageByExtension(dir.File("project/f1.bmp"), 32);
  ASSERT_TRUE(picture);
  EXPECT_NE(picture->GetPixel(picture->Width() / 2, picture->Height() / 2) & 0xFFFFFF, 0u);  // the cube
  for (int n = 2; n <= 10; ++n) {
    EXPECT_TRUE(dir.Read("project/f" + std::to_string(n) + ".bmp") == first) << "run " << n;
  }
}

}  // namespace
