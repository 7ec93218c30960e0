// The environment's drawing: the fixed-font bands against pictures, geometry by numbers.
#include <map>

#include "compiler/compiler.h"
#include "devenv/ide_draw.h"
#include "devenv/ide_texts.h"
#include "tests/devenv/devenv_fixture.h"
#include "tests/devenv/golden.h"

namespace {

class DrawingTest : public DevenvTest {
 protected:
  void SetUp() override {
    DevenvTest::SetUp();
    ASSERT_TRUE(IdeCreateSurfaces(16));
    ASSERT_TRUE(IdeBuildFont());
  }
  void TearDown() override {
    IdeReleaseSurfaces();
    DevenvTest::TearDown();
  }
  void SetMenus() {
    const char* titles[kMenuCount] = {"File", "Edit", "Go To", "Help", "Run", "Media"};
    for (int m = 0; m < kMenuCount; ++m) g_ide.menus[m].title = titles[m];
    g_ide.menus[0].items = {{"Open", "F2", true}, {"-", "", true}, {"Close", "", false}, {"Save", "F3", true}};
    g_ide.menus[2].items = {{"Top", "", true}, {"End", "", true}};
  }
};

TEST_F(DrawingTest, GlyphCellsAndTheFixedFontWidths) {
  int32_t x, y;
  IdeGlyphCell(2 * 256 + 'A', &x, &y);  // 'A' - 32 = 33: column 5, row 1 of band 2
  EXPECT_EQ(x, 60);
  EXPECT_EQ(y, 2 * 128 + 16);
  IdeGlyphCell(7 * 256 + 255, &x, &y);
  EXPECT_EQ(x, 27 * 12);  // 223 = 7 * 28 + 27
  EXPECT_EQ(y, 7 * 128 + 7 * 16);
  EXPECT_EQ(IdeTextWidth("Hello"), 40);
  EXPECT_EQ(g_ide.gfx.widths[3 * 256 + 'W'].height, 16);
  EXPECT_GT(IdeGlyphWidth('m'), 0);  // the Courier band is measured too
  EXPECT_EQ(IdeGlyphWidth('m'), IdeGlyphWidth('i'));
}

// The pixels of one character drawn alone in a band.
std::vector<uint32_t> BandGlyph(int32_t band, unsigned char c) {
  Surface* s = g_ide.gfx.editor.get();
  SurfRect r{0, 0, kGlyphCellWidth, kGlyphCellHeight};
  SurfaceFill(s, &r, 0);
  IdeDrawTextBand(s, std::string(1, char(c)), band, 0, 0);
  std::vector<uint32_t> pixels;
  for (int32_t y = 0; y < kGlyphCellHeight; ++y)
    for (int32_t x = 0; x < kGlyphCellWidth; ++x) pixels.push_back(s->GetPixel(x, y));
  return pixels;
}

// Where a character drawn alone in a band has ink.
std::vector<bool> BandInk(int32_t band, unsigned char c) {
  std::vector<bool> ink;
  for (uint32_t pixel : BandGlyph(band, c)) ink.push_back(pixel != 0);
  return ink;
}

// Every band draws the text character set: the Courier bands (0 source, 7 comments) show the
// letters the fixed-font bands (the Find field's among them; 4 here) show; where the Courier
// face lacks letters of the set, the Courier bands are drawn with the fixed font.
TEST_F(DrawingTest, TheTextCharacterSetPicksTheGlyphsOfEveryBand) {
  struct Case {
    int32_t charset;
    unsigned char byte;  // a letter of the set that Western has another letter at
    bool asA;            // drawn as Latin "A"
    bool courierFace;    // the face has every letter of the set
  } const cases[] = {
      {204, 0xC0, true, true},    // Cyrillic A
      {161, 0xC1, true, true},    // Greek capital alpha
      {238, 0xC0, false, true},   // R with acute
      {162, 0xDD, false, true},   // capital I with dot
      {186, 0xC0, false, true},   // A with ogonek
      {177, 0xE0, false, false},  // Hebrew alef
      {178, 0xC7, false, false},  // Arabic alef
      {163, 0xC3, false, false},  // A with breve
      {222, 0xA1, false, false},  // Thai ko kai
  };
  const auto fixedA = BandInk(4, 'A'), courierA = BandInk(0, 'A');
  ASSERT_NE(courierA, fixedA);
  std::map<unsigned char, std::vector<bool>> western;
  for (const Case& c : cases) western[c.byte] = BandInk(0, c.byte);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.charset);
    g_ide.settings.textCharset = c.charset;
    IdeReleaseFont();
    ASSERT_TRUE(IdeBuildFont());
    if (c.asA) {
      EXPECT_EQ(BandInk(4, c.byte), fixedA);
    }
    for (int32_t band : {0, 7}) {
      EXPECT_NE(BandInk(band, c.byte), western[c.byte]) << band;
      EXPECT_EQ(BandInk(band, 'A'), c.courierFace ? courierA : fixedA) << band;
      if (c.asA) {
        EXPECT_EQ(BandInk(band, c.byte), c.courierFace ? courierA : fixedA) << band;
      }
      if (!c.courierFace) {
        EXPECT_EQ(BandInk(band, c.byte), BandInk(4, c.byte)) << band;
      }
    }
  }
}

TEST_F(DrawingTest, StatusLineMenuAndProgressMatchTheirPictures) {
  g_ide.statusText = "Project: Space  File: game.vka";
  g_ide.statusColour = 256;
  g_ide.modified = 1;
  g_ide.redrawStatus = true;
  IdeDrawStatusLine();
  EXPECT_EQ(g_ide.statusText.back(), '*');
  ExpectMatchesGolden(*g_ide.gfx.editor, {0, 460, 300, 480}, "status_line");

  SetMenus();
  g_ide.openMenu = 1;
  g_ide.hotItem = 4;
  IdeDrawDropDown(g_ide.gfx.screen.get(), 1);
  ExpectMatchesGolden(*g_ide.gfx.screen, {0, 38, 120, 116}, "file_menu");

  ASSERT_TRUE(IdeDrawProgressBox());
  IdeShowProgress(0);
  ExpectMatchesGolden(*g_ide.gfx.back, {100, 215, 250, 295}, "progress_0");
  IdeShowProgress(100);
  ExpectMatchesGolden(*g_ide.gfx.back, {380, 215, 525, 295}, "progress_100");
  EXPECT_EQ(g_ide.gfx.back->GetPixel(505, 250), g_ide.gfx.colours.selection);  // the last block
}

TEST_F(DrawingTest, ProgressLeavesTheUndoneBarBlack) {
  ASSERT_TRUE(IdeDrawProgressBox());
  IdeShowProgress(0);
  EXPECT_EQ(g_ide.gfx.back->GetPixel(140, 240), 0u);
  EXPECT_EQ(g_ide.gfx.back->GetPixel(509, 272), 0u);
  EXPECT_EQ(g_ide.gfx.back->GetPixel(200, 237), g_ide.gfx.colours.darkEdge);  // the bar's sunken frame
  EXPECT_EQ(g_ide.gfx.presents, 1);
}

TEST_F(DrawingTest, GeometryOfDropDownsThumbAndStatusText) {
  SetMenus();
  SurfRect go = IdeDropDownRect(3);
  EXPECT_EQ(go.Width(), 96);  // short items: the least width
  EXPECT_EQ(go.Height(), 2 + 2 * 16 + 5);
  EXPECT_EQ(go.left, 8 + 40 + 40);  // titles of 4 characters and 8 pixels
  EXPECT_EQ(IdeDropDownRect(1).Width(), 96);

  IdeScrollBar bar;
  IdeThumbGeometry(32, 32, 0, &bar);
  EXPECT_EQ(bar.length, 0);  // exactly a page: no thumb
  IdeThumbGeometry(64, 32, 100, &bar);  // the top line is limited to the last page
  EXPECT_EQ(bar.length, 191);
  EXPECT_EQ(bar.position, 191);
  g_ide.editor.lines.assign(32, "x");
  g_ide.redrawScrollBar = true;
  IdeDrawScrollBar();
  EXPECT_EQ(g_ide.scroll.rect.Width(), 0);

  // A status text of 100 wide characters shows its end, cut at the front.
  g_ide.statusText = std::string(99, 'W') + "Z";
  g_ide.redrawStatus = true;
  IdeDrawStatusLine();
  Surface reference(640, 480, g_ide.gfx.format);
  IdeDrawTextBand(&reference, "Z", 3, 0, 0);
  const int32_t zx = 2 + (610 / 8 - 1) * 8;  // the last of the 76 characters that fit
  for (int32_t y = 0; y < 16; ++y)
    for (int32_t x = 0; x < 8; ++x)
      EXPECT_EQ(g_ide.gfx.editor->GetPixel(zx + x, 463 + y), reference.GetPixel(x, y)) << x << "," << y;
}

// A failed Make Program keeps the file and the cause in the status line, however long its
// folders: they give way in their middle, then the game's name; why it was not made stays whole.
// The next frame shows it, though nothing else changed.
TEST_F(DrawingTest, AFailedMakeProgramKeepsTheFileAndTheCause) {
  const std::string failed = IdeText(IdeSection::Desc, kDescNotBuilt) + ": ";
  const std::string folder = "/tmp/mk/a_rather_long_folder_name_for_projects/another_long_folder_name_here";
  const std::string cause = "a part of the path is not a folder";
  const std::string game47 = "my_space_shooter_game_with_extra_levels_final_v2", game74 = std::string(74, 'g');
  const struct {
    std::string text;
    std::vector<std::string> whole;  // in order
  } cases[] = {
      {failed + "cannot write " + folder + "/blocker/game: " + cause, {"cannot write /", "/game: " + cause}},
      {failed + "cannot write " + folder + folder + "/game: " + cause, {"cannot write /", "/game: " + cause}},
      {failed + "cannot write /tmp/game: " + cause, {"cannot write /tmp/game: " + cause}},
      // Where the folder giving way is enough, the failure's own words stay.
      {failed + "cannot write /tmp/mk/a_rather_long_folder_name/game: permission denied",
       {failed + "cannot write /", "/game: permission denied"}},
      {failed + "cannot write /tmp/qa/M7/games/" + game47 + ": permission denied",
       {"cannot write /\x85/my_space_", "\x85", "_final_v2: permission denied"}},
      {failed + "cannot write /tmp/qa/M7/games/" + game74 + ": permission denied",
       {"cannot write /\x85/gggg", "\x85", "gggg: permission denied"}},
  };
  IdeRedraw();  // the frame before
  for (const auto& [text, whole] : cases) {
    SCOPED_TRACE(text);
    const std::string fitted = IdeFitBuildFailure(text, 3);
    EXPECT_LE(fitted.size() * 8, 610u);
    size_t at = 0;
    for (const std::string& part : whole) {
      at = fitted.find(part, at);
      ASSERT_NE(at, std::string::npos) << part << " in " << fitted;
    }
    if (text.size() * 8 <= 610) {
      EXPECT_EQ(fitted, text);
    }
    g_ide.statusText = text;
    g_ide.statusColour = 0;
    g_ide.redrawStatus = true;
    IdeRedraw();
    Surface reference(640, 480, g_ide.gfx.format);
    IdeDrawTextBand(&reference, fitted, 3, 0, 0);
    for (int32_t y = 0; y < 16; ++y)
      for (int32_t x = 0; x < int32_t(fitted.size()) * 8 - 8; ++x)
        ASSERT_EQ(g_ide.gfx.back->GetPixel(2 + x, 463 + y), reference.GetPixel(x, y)) << x << "," << y;
  }
}

// A notice of kept text keeps its words and each file's name whole: its paths give way in their
// middle, then a reason in brackets, then the source's name, and the status line shows it so.
TEST_F(DrawingTest, ANoticeOfKeptTextKeepsItsWords) {
  const std::string folder = "/home/someone/projects/games/alpha-" + std::string(40, 'd');
  const std::string run = "/home/someone/.local/state/vellumark/run-1234-abcdef";
  const struct {
    std::string notice;
    std::vector<std::string> whole;  // in order
  } cases[] = {
      {"the unsaved changes of alpha.vka are kept in " + folder + "/alpha.vka.recovered",
       {"the unsaved changes of alpha.vka are kept in /", "\x85", "/alpha.vka.recovered"}},
      {"the unsaved changes of an ended run could not be kept (" + run + "/work.rec is damaged): they are in " + run +
           "/workfile.tmp",
       {"the unsaved changes of ", "\x85", " could not be kept: they are in /", "\x85", "/workfile.tmp"}},
      {"the unsaved changes of b.vka are kept in /tmp/b.vka.recovered", {"in /tmp/b.vka.recovered"}},
      {"the unsaved changes of asteroids_game.vka are kept in /tmp/qa/K8b/asteroids_game.vka.recovered",
       {"the unsaved changes of aste", "\x85", " are kept in /\x85/asteroids_game.vka.recovered"}},
      {"the unsaved changes of spaceshooter_dx.vka are kept in /home/someone/spaceshooter_dx.vka.recovered-2",
       {"the unsaved changes of ", "\x85", " are kept in /\x85/spaceshooter_dx.vka.recovered-2"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.notice);
    const std::string fitted = IdeFitNotice(c.notice, 3);
    EXPECT_LE(fitted.size() * 8, 610u);
    size_t at = 0;
    for (const std::string& part : c.whole) {
      at = fitted.find(part, at);
      ASSERT_NE(at, std::string::npos) << part << " in " << fitted;
    }
    if (c.notice.size() * 8 <= 610) {
      EXPECT_EQ(fitted, c.notice);
    }
  }
  g_ide.startNotices = {"VELLUMARK", cases[0].notice};
  g_ide.noticeShown = 1;
  g_ide.statusText = cases[0].notice;
  g_ide.statusColour = 0;
  g_ide.redrawStatus = true;
  g_ide.editorChanged = false;
  IdeDrawStatusLine();
  EXPECT_TRUE(g_ide.editorChanged);  // shown at the next present
  Surface reference(640, 480, g_ide.gfx.format);
  IdeDrawTextBand(&reference, IdeFitNotice(cases[0].notice, 3), 3, 0, 0);
  for (int32_t y = 0; y < 16; ++y)
    for (int32_t x = 0; x < 608; ++x)
      ASSERT_EQ(g_ide.gfx.editor->GetPixel(2 + x, 463 + y), reference.GetPixel(x, y)) << x << "," << y;
}

TEST_F(DrawingTest, HitTestFindsTitlesButtonsArrowsAndItems) {
  SetMenus();
  struct Case {
    int32_t x, y, hot;
  } cases[] = {{10, 25, 11}, {60, 25, 12}, {300, 25, 0}, {500, 10, 22}, {600, 10, 23}, {630, 30, 31}, {630, 470, 32}};
  for (const Case& c : cases) {
    g_ide.mouseX = c.x;
    g_ide.mouseY = c.y;
    IdeHitTest();
    EXPECT_EQ(g_ide.hotSpot, c.hot) << c.x << "," << c.y;
  }
  g_ide.openMenu = 1;
  g_ide.dropDownRect = IdeDropDownRect(1);
  g_ide.mouseX = 20;
  g_ide.mouseY = 40 + 2 + 16 * 3 + 5;
  IdeHitTest();
  EXPECT_EQ(g_ide.hotItem, 4);
  g_ide.mouseX = 20;
  g_ide.mouseY = 10;
  IdeHitTest();
  EXPECT_EQ(g_ide.hotItem, 0);
}

TEST_F(DrawingTest, RedrawPresentsAndRemovesAClosedDropDown) {
  SetMenus();
  g_ide.redrawMenus = true;
  g_ide.openMenu = 1;
  IdeRedraw();
  const SurfRect r = IdeDropDownRect(1);
  EXPECT_EQ(g_ide.gfx.back->GetPixel(r.left + 2, r.bottom - 3), g_ide.gfx.colours.face);
  g_ide.openMenu = 0;
  IdeRedraw();
  EXPECT_EQ(g_ide.gfx.back->GetPixel(r.left + 2, r.bottom - 3), g_ide.gfx.colours.background);
  EXPECT_EQ(g_ide.gfx.presents, 2);
  g_ide.displayActive = false;  // lost, and no display to restore: nothing is drawn
  IdeRedraw();
  EXPECT_EQ(g_ide.gfx.presents, 2);
}

}  // namespace

namespace {

TEST_F(DrawingTest, TheCompilerShowsItsProgressInTheBox) {
  Compiler c;
  ASSERT_TRUE(c.LoadKeywordTable());
  IdeAttachProgress(c);
  ASSERT_TRUE(IdeDrawProgressBox());
  std::string program;
  for (int i = 0; i < 200; ++i) program += "a = " + std::to_string(i) + "\n";
  ASSERT_TRUE(c.CompileText(program));
  EXPECT_GT(g_ide.gfx.presents, 0);
  EXPECT_EQ(g_ide.gfx.back->GetPixel(505, 250), g_ide.gfx.colours.selection);  // 100 per cent reached
}

}  // namespace
