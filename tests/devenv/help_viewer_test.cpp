// The help viewer: entities, layout and word wrap, links, history and the pane's clicks.
#include "devenv/help_pane.h"
#include "devenv/help_viewer.h"
#include "devenv/ide_draw.h"
#include "devenv/ide_texts.h"
#include "display/sprites.h"
#include "platform/fs.h"
#include "tests/devenv/devenv_fixture.h"

namespace {

class HelpViewerTest : public DevenvTest {
 protected:
  void SetUp() override {
    DevenvTest::SetUp();
    ResetHelpViewer();
    g_ide.settings.helpFolder = dir_.File("HELP/");
    ASSERT_TRUE(FsMakeFolders(dir_.File("HELP/sub")));
  }
  void TearDown() override {
    ResetHelpViewer();
    DevenvTest::TearDown();
  }
  void Page(const std::string& name, const std::string& text) { dir_.Write("HELP/" + name, text); }
  // A page of n lines of 17 pixels.
  static std::string Lines(int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += "line " + std::to_string(i) + "<BR>";
    return s;
  }
};

TEST_F(HelpViewerTest, EntitiesGiveTheirBytesAndUnknownOnesGo) {
  const struct {
    const char* raw;
    const char* decoded;
  } cases[] = {
      {"a&amp;b&lt;c&gt;", "a&b<c>"},  {"x&nbsp;y", "xy"},        {"&eacute;&Ouml;&thorn;", "\xE9\xD6\xFE"},
      {"&quot;&times;&yuml;", "\"\xD7\xFF"}, {"one &amp two", "one &"}, {"stop & the rest; here", "stop  here"},
      {"cut & no semicolon", "cut "},
  };
  for (const auto& c : cases) EXPECT_EQ(HelpDecodeEntities(c.raw), c.decoded) << c.raw;

  // A '<' an entity gave is text, not the start of a tag.
  Page("lt.htm", "&lt;A HREF=\"x.htm\"&gt;shown&lt;/A&gt; <A HREF=\"y.htm\">link</A>");
  ASSERT_TRUE(HelpGoToPage("lt.htm"));
  HelpRender();
  ASSERT_EQ(g_help.links.size(), 1u);
  EXPECT_EQ(g_help.links[0].target, "y.htm");
  EXPECT_GT(g_help.links[0].x1, 100);  // after the shown text
}

// The pages are text of the help language's character set: its fonts draw that set.
TEST_F(HelpViewerTest, TheHelpCharacterSetPicksTheGlyphs) {
  SurfacePtr surface = SurfaceCreate(64, 40, FormatForDepth(32));
  g_help.target = surface.get();
  const auto ink = [&](const char* text) {
    SurfaceFill(surface.get(), nullptr, 0);
    Page("c.htm", text);
    EXPECT_TRUE(HelpGoToPage("c.htm"));
    HelpRender();
    std::vector<bool> pixels;
    for (int32_t y = 0; y < surface->Height(); ++y)
      for (int32_t x = 0; x < surface->Width(); ++x) pixels.push_back(surface->GetPixel(x, y) != 0);
    return pixels;
  };
  const auto latinA = ink("A"), westernC0 = ink("\xC0");
  EXPECT_NE(westernC0, latinA);
  const struct {
    int32_t charset;
    const char* letter;  // drawn as Latin "A"
  } cases[] = {{204, "\xC0"}, {161, "\xC1"}};  // Cyrillic A, Greek capital alpha
  for (const auto& c : cases) {
    g_ide.settings.helpCharset = c.charset;
    EXPECT_EQ(ink(c.letter), latinA) << c.charset;
  }
  g_help.target = nullptr;
}

// A line break of the page's file, in any convention, separates words as a blank does.
TEST_F(HelpViewerTest, LineBreaksAreBlanks) {
  std::vector<int32_t> starts;
  for (const char* text : {"one two", "one\ntwo", "one\r\ntwo"}) {
    Page("br.htm", std::string(text) + " <A HREF=\"y.htm\">link</A>");
    ASSERT_TRUE(HelpGoToPage("br.htm"));
    HelpRender();
    ASSERT_EQ(g_help.links.size(), 1u) << text;
    starts.push_back(g_help.links[0].x1);
  }
  EXPECT_EQ(starts[1], starts[0]);
  EXPECT_EQ(starts[2], starts[0]);
}

TEST_F(HelpViewerTest, AWrappedLinkIsClickableFromXZeroOnItsNextLine) {
  std::string words;
  for (int i = 0; i < 30; ++i) words += "word ";
  Page("wrap.htm", "Some text before the link <A HREF=\"Next.htm\">" + words + "</A> after");
  ASSERT_TRUE(HelpGoToPage("wrap.htm"));
  HelpRender();
  std::string target;
  EXPECT_TRUE(HelpLinkAt(0, 4 + 17 + 5, &target));  // the second line, at x 0
  EXPECT_EQ(target, "Next.htm");                    // the case of the target kept
  EXPECT_FALSE(HelpLinkAt(4, 10, &target));         // left of where the link begins
  EXPECT_EQ(target, "");
  EXPECT_TRUE(HelpLinkAt(300, 10, &target));  // its first line
}

// A line is the font's size plus one high (SIZE n is n * 4 pixels, 4 to 96); a long line wraps
// at its last blank that fits; link areas are where the link shows after a scroll.
TEST_F(HelpViewerTest, FontSizesWrapAndLinkAreasFollowTheScroll) {
  const struct {
    const char* n;
    int32_t size;
  } sizes[] = {{"0", 4}, {"2", 8}, {"5", 20}, {"40", 96}};
  for (const auto& c : sizes) {
    Page("size.htm", std::string("<FONT SIZE=") + c.n + "><A HREF=\"a\">a</A><BR><A HREF=\"b\">b</A>");
    ASSERT_TRUE(HelpGoToPage("size.htm"));
    HelpRender();
    ASSERT_EQ(g_help.links.size(), 2u) << c.n;
    EXPECT_EQ(g_help.links[0].y1, 4) << c.n;
    EXPECT_EQ(g_help.links[0].y2, 4 + c.size) << c.n;
    EXPECT_EQ(g_help.links[1].y1, 4 + c.size + 1) << c.n;
  }

  // The widths of a word and of a blank, from one line; then a limit that three words fit.
  Page("one.htm", "<A HREF=\"w\">abcd</A><BR><A HREF=\"w\">abcd abcd</A>");
  ASSERT_TRUE(HelpGoToPage("one.htm"));
  HelpRender();
  ASSERT_EQ(g_help.links.size(), 2u);
  const int32_t word = g_help.links[0].x2 - g_help.links[0].x1;
  const int32_t blank = g_help.links[1].x2 - g_help.links[1].x1 - 2 * word;
  ASSERT_GT(blank, 0);
  Page("wrap3.htm", "<A HREF=\"w\">abcd abcd abcd abcd abcd abcd abcd abcd abcd</A>");
  ASSERT_TRUE(HelpGoToPage("wrap3.htm"));
  g_help.rightLimit = 8 + 3 * word + 3 * blank + 1;
  HelpRender();
  ASSERT_EQ(g_help.links.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(g_help.links[i].y1, 4 + 17 * int32_t(i)) << i;
    EXPECT_EQ(g_help.links[i].x2, 8 + 3 * word + 2 * blank) << i;  // three whole words
  }
  g_help.rightLimit = 608;

  Page("far.htm", Lines(60) + "<A HREF=\"z.htm\">z</A>");
  ASSERT_TRUE(HelpGoToPage("far.htm"));
  HelpRender();
  for (const int32_t scroll : {600, HelpMaxScroll()}) {  // the link in view
    HelpSetScroll(scroll);
    HelpRender();
    ASSERT_EQ(g_help.links.size(), 1u) << scroll;
    EXPECT_EQ(g_help.links[0].y1, 4 + 60 * 17 - scroll);
    std::string target;
    EXPECT_TRUE(HelpLinkAt(10, 4 + 60 * 17 - scroll + 2, &target)) << scroll;
  }
}

TEST_F(HelpViewerTest, WordWrapEndsForAnyWidthAndShortPagesDoNotScroll) {
  const struct {
    std::string page;
    int32_t rightLimit;
    int32_t minHeight;
  } cases[] = {
      {std::string(2000, 'x'), 40, 17 * 50},           // a word wider than the pane
      {std::string(2000, 'x'), 0, 17 * 2000},          // not even one character fits: one a line
      {"<CENTER>" + std::string(2000, 'm'), 60, 17 * 50},
      {"a b " + std::string(300, ' ') + "c", 20, 17 * 2},
  };
  for (const auto& c : cases) {
    ResetHelpViewer();
    Page("w.htm", c.page);
    ASSERT_TRUE(HelpGoToPage("w.htm"));
    g_help.rightLimit = c.rightLimit;
    HelpRender();
    EXPECT_GE(g_help.documentHeight, c.minHeight) << c.rightLimit;
  }

  ResetHelpViewer();
  Page("short.htm", "Short.");
  ASSERT_TRUE(HelpGoToPage("short.htm"));
  HelpRender();
  HelpPageDown();
  HelpLineDown();
  EXPECT_EQ(g_help.scroll, 0);
  Page("long.htm", Lines(100));
  ASSERT_TRUE(HelpGoToPage("long.htm"));
  HelpRender();
  for (int i = 0; i < 10; ++i) HelpPageDown();
  EXPECT_EQ(g_help.scroll, g_help.documentHeight - g_help.pageHeight);
}

TEST_F(HelpViewerTest, HistoryKeepsScrollsSubFoldersAndUndoesFailedLinks) {
  Page("a.htm", Lines(100));
  Page("sub/b.htm", "<A HREF=\"../a.htm\">up</A>");
  ASSERT_TRUE(HelpGoToPage("a.htm"));
  HelpRender();
  EXPECT_TRUE(HelpFollowLink("a.htm"));  // the page already shown: no step
  EXPECT_FALSE(HelpCanGoBack());
  EXPECT_FALSE(HelpFollowLink("missing.htm"));  // a failed link leaves no step
  EXPECT_FALSE(HelpCanGoBack());
  EXPECT_EQ(g_help.pageName, HelpNormalisePath(dir_.File("HELP/a.htm")));

  HelpRender();
  HelpSetScroll(96);
  ASSERT_TRUE(HelpFollowLink("sub\\b.htm"));
  EXPECT_EQ(g_help.subFolder, "sub/");
  ASSERT_TRUE(HelpFollowLink("../a.htm"));  // ".." steps back out of the sub-folder
  EXPECT_EQ(g_help.subFolder, "");
  EXPECT_EQ(g_help.pageName, HelpNormalisePath(dir_.File("HELP/a.htm")));

  ASSERT_TRUE(HelpBack());
  EXPECT_EQ(g_help.subFolder, "sub/");
  ASSERT_TRUE(HelpBack());
  EXPECT_EQ(g_help.scroll, 96);  // the page as it was left
  EXPECT_FALSE(HelpCanGoBack());
  ASSERT_TRUE(HelpForward());
  EXPECT_TRUE(HelpCanGoForward());
  EXPECT_FALSE(HelpFollowLink("nowhere.htm"));  // a failed link keeps the way forward
  EXPECT_TRUE(HelpCanGoForward());
  EXPECT_FALSE(HelpGoToPage("gone.htm"));  // so does a page that cannot be read
  EXPECT_TRUE(HelpCanGoBack());
}

TEST_F(HelpViewerTest, TheIndexPageDrawsFromItsCacheAsFromTheTop) {
  std::string index;
  for (int i = 0; i < 300; ++i)
    index += "<FONT SIZE=" + std::to_string(3 + i % 3) + "><A HREF=\"p" + std::to_string(i) + ".htm\">entry " +
             std::to_string(i) + "</A><BR>";
  Page("index.htm", index);
  SurfacePtr cached = SurfaceCreate(640, 480, 16), fromTop = SurfaceCreate(640, 480, 16);
  ASSERT_TRUE(HelpLoadBackground(cached->Format()));
  ASSERT_TRUE(HelpGoToPage("index.htm"));
  HelpRender();  // the first layout fills the cache
  ASSERT_FALSE(g_help.indexCache.empty());
  const auto hits = [] {
    std::vector<std::string> out;
    std::string t;
    for (int32_t y = 0; y < 417; y += 7) out.push_back(HelpLinkAt(20, y, &t) ? t : "-");
    return out;
  };
  for (int32_t scroll : {0, 200, 1000, 3333}) {
    HelpSetScroll(scroll);
    g_help.target = cached.get();
    HelpRender();
    const std::vector<std::string> cachedHits = hits();
    std::vector<HelpPen> cache;
    cache.swap(g_help.indexCache);  // without the cache the layout runs from the top
    g_help.target = fromTop.get();
    HelpRender();
    cache.swap(g_help.indexCache);
    EXPECT_EQ(cachedHits, hits()) << scroll;
    for (int32_t y = 0; y < 417; ++y)
      for (int32_t x = 0; x < 616; ++x)
        ASSERT_EQ(cached->GetPixel(x, y), fromTop->GetPixel(x, y)) << scroll << " " << x << "," << y;
  }
}

TEST_F(HelpViewerTest, ThePaneFollowsLinksGoesBackAndCloses) {
  ASSERT_TRUE(IdeCreateSurfaces(16));
  ASSERT_TRUE(IdeBuildFont());
  ASSERT_TRUE(HelpPaneCreate());
  Page("a.htm", "<A HREF=\"sub/b.htm\">to b</A>");
  Page("sub/b.htm", "page b");
  IdeCreatePointerSprites();
  auto pointerImage = [] { return FrameAt(uint32_t(g_sprites.pointerFrame))->imageRecord; };
  IdeShowHelpPage("a.htm");
  EXPECT_TRUE(g_ide.helpView);
  g_ide.mouseX = 20;
  g_ide.mouseY = 42 + 10;
  IdeHitTest();
  EXPECT_EQ(g_ide.statusText, IdeText(IdeSection::General, kGeneralPageLink));
  IdeDrawPointerSprites();
  EXPECT_EQ(pointerImage(), g_sprites.handImage);  // the hand over the link
  EXPECT_TRUE(HelpPaneClick());
  EXPECT_EQ(g_help.subFolder, "sub/");
  IdeRedraw();  // the back button is now enabled
  g_ide.mouseX = 70;
  g_ide.mouseY = 30;
  IdeHitTest();
  EXPECT_EQ(g_ide.hotSpot, 12);
  IdeDrawPointerSprites();
  EXPECT_EQ(pointerImage(), g_sprites.pointerImage);
  EXPECT_TRUE(HelpPaneClick());
  EXPECT_EQ(g_help.subFolder, "");
  EXPECT_TRUE(HelpPaneKey(27));
  EXPECT_FALSE(g_ide.helpView);
  HelpPaneRelease();
  IdeReleasePointerSprites();
  IdeReleaseSurfaces();
}

}  // namespace
