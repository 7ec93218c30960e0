// Display mode and font list commands, run as programs and, for the failures a program cannot
// cause, by calling the handlers directly.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <vector>

#include "core/checklist.h"
#include "core/command_table.h"
#include "core/errors.h"
#include "core/interp.h"
#include "platform/display_modes.h"
#include "platform/window.h"
#include "runtime/command_families.h"
#include "tests/support/program_run.h"

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(DisplayModePrograms, ListCurrentModeChangeAndCheck) {
  RunOutcome r = RunVka("display_modes.vka", 200, "", true);
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> want = {
      "36", "320x200x16", "0",  // 12 sizes at three depths, none below 16 bits
      "640x480x16", "640", "480", "16", "24", "32",  // one size, once per depth
      "640", "480", "16", "0",                       // start mode; surfaces in system memory
      "1", "0", "0",                                 // 800x600x32 offered; -800 and 801 not
      "800", "600", "24", "1", "0",                  // new mode; re-created once
      "800", "24",                                   // bitmap 0 follows the mode
      "800", "600", "24"};                           // refused mode: warning ignored, mode kept
  EXPECT_EQ(Lines(r.transcript), want);
  ASSERT_NE(r.grab, nullptr);
  EXPECT_EQ(r.grab->Width(), 800);
  EXPECT_EQ(r.grab->Height(), 600);
  EXPECT_EQ(r.Pixel(795, 595), 0xFF0000u);
  EXPECT_EQ(r.Pixel(789, 595), 0u);
}

TEST(DisplayModePrograms, DepthIsCheckedBeforeTheSizes) {
  struct Case {
    const char* statement;
    const char* error;
  };
  const Case cases[] = {
      {"set display mode 800,600,8", "Display depth must be 16, 24 or 32"},
      {"set display mode 0,-1,8", "Display depth must be 16, 24 or 32"},
      {"set display mode 0,600,16", "Display width or height below 1"},
      {"set display mode 640,-5,32", "Display width or height below 1"},
      {"x = check display mode(0,0,8)", "Display depth must be 16, 24 or 32"},
      {"x = check display mode(640,0,16)", "Display width or height below 1"},
      {"set display mode 801,600,32", "Cannot set the display mode; the old mode is kept"},
  };
  for (const Case& c : cases) {
    RunOutcome r = RunVkaSource(std::string(c.statement) + "\nprint \"after\"\n", 20);
    EXPECT_EQ(r.status, 1) << c.statement;
    EXPECT_NE(r.err.find(c.error), std::string::npos) << c.statement << ": " << r.err;
    EXPECT_EQ(r.transcript.find("after"), std::string::npos) << c.statement;
  }
}

TEST(DisplayModePrograms, ChangingTheModeAlwaysEndsTheSlice) {
  const std::string source = "sync on\nfor i = 1 to 20\n  set display mode 640,480,16\nnext i\nprint \"done\"\nsync\n";
  EXPECT_EQ(RunVkaSource(source, 10).transcript, "");
  EXPECT_EQ(RunVkaSource(source, 40).transcript, "done\n");
}

TEST(DisplayModePrograms, FontListHoldsNamesOnly) {
  RunOutcome r = RunVkaSource(
      "checklist fonts\n"
      "n = checklist count()\n"
      "if n > 0 and n <= 255 then print \"ok\"\n"
      "for i = 1 to n\n"
      "  print checklist string$(i)\n"
      "next i\n"
      "print checklist value a(1)\n",
      50);
  EXPECT_EQ(r.status, 1);  // the list has no values: 9004
  std::vector<std::string> lines = Lines(r.transcript);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], "ok");
  std::set<std::string> names(lines.begin() + 1, lines.end());
  EXPECT_EQ(names.size(), lines.size() - 1) << "every family once";
  EXPECT_NE(names.count("Liberation Sans"), 0u) << r.transcript;
}

// Calls one handler on the cells; returns the error it raised and clears it.
int32_t CallCommand(int number, std::vector<VarCell>& cells) {
  CommandCall call;
  std::copy(cells.begin(), cells.end(), call.cells);
  int32_t code = call.Run(number, int(cells.size()));
  std::copy(call.cells, call.cells + cells.size(), cells.begin());
  g_errorCode = 0;
  return code;
}

std::vector<VarCell> IntCells(std::initializer_list<int32_t> values) {
  std::vector<VarCell> cells;
  for (int32_t v : values) {
    VarCell c;
    c.raw = 0;
    c.i = v;
    cells.push_back(c);
  }
  return cells;
}

TEST(DisplayModeCommands, AnUnreadableModeListIsAModeErrorNotASilentEnd) {
  std::vector<VarCell> check = IntCells({-7, 640, 480, 16});
  EXPECT_EQ(CallCommand(1571, check), 0);
  EXPECT_EQ(check[0].i, 1);
  check[0].i = -7;
  g_displayModeReadFailures = 1;
  EXPECT_EQ(CallCommand(1571, check), 1501);
  EXPECT_EQ(check[0].i, 0) << "no result is computed: the cleared cell, not what it held";

  std::vector<VarCell> none;
  g_displayModeReadFailures = 1;
  EXPECT_EQ(CallCommand(1500, none), 0);
  EXPECT_EQ(g_checklist.made, 0) << "the list is not made";
  EXPECT_EQ(g_checklist.count, 0);
  EXPECT_EQ(CallCommand(1500, none), 0);
  EXPECT_EQ(g_checklist.made, 1);
  EXPECT_EQ(g_checklist.count, 36);
  g_displayModeReadFailures = 0;
  ClearChecklist();
}

TEST(DisplayModeCommands, HeadlessListHasTheClassicModes) {
  std::vector<DisplayModeInfo> modes;
  ASSERT_TRUE(PlatformDisplayModes(&modes));
  auto has = [&](int32_t w, int32_t h, int32_t d) {
    for (const DisplayModeInfo& m : modes)
      if (m.width == w && m.height == h && m.depth == d) return true;
    return false;
  };
  for (int32_t d : {16, 24, 32}) {
    EXPECT_TRUE(has(640, 480, d));
    EXPECT_TRUE(has(800, 600, d));
    EXPECT_TRUE(has(1024, 768, d));
  }
  for (const DisplayModeInfo& m : modes) EXPECT_GE(m.depth, 16);
}

}  // namespace

namespace {

TEST(DisplayModeCommands, ScreenListAddsTheClassicSizesThatFit) {
  PlatformSetHeadless(false);
  if (!PlatformVideoInit() || PlatformIsHeadless()) {
    PlatformSetHeadless(false);
    GTEST_SKIP() << "no video driver";
  }
  std::vector<DisplayModeInfo> modes;
  bool read = PlatformDisplayModes(&modes);
  PlatformVideoQuit();
  ASSERT_TRUE(read);
  ASSERT_EQ(modes.size() % 3, 0u);
  bool has640 = false;
  for (size_t k = 0; k < modes.size(); k += 3) {
    EXPECT_EQ(modes[k].depth, 16);
    EXPECT_EQ(modes[k + 1].depth, 24);
    EXPECT_EQ(modes[k + 2].depth, 32);
    EXPECT_EQ(modes[k].width, modes[k + 2].width);
    if (k) {
      EXPECT_TRUE(modes[k - 3].width < modes[k].width ||
                  (modes[k - 3].width == modes[k].width && modes[k - 3].height < modes[k].height));
    }
    has640 |= modes[k].width == 640 && modes[k].height == 480;
  }
  EXPECT_TRUE(has640);
}

}  // namespace
