// Every way the environment writes a source over its file, against what happened to the file
// since the buffer read it; one file in one tab; an example of the help never written back.
#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "devenv/browser_state.h"
#include "devenv/ide_actions.h"
#include "devenv/ide_texts.h"
#include "platform/events.h"
#include "tests/devenv/editor_driver.h"

namespace {

class SavesTest : public EditorTest {
 protected:
  void SetUp() override {
    EditorTest::SetUp();
    EventsReset();
    BuildIdeMenus();
    std::filesystem::create_directories(dir_.File("proj"));
  }
  void TearDown() override {
    chmod(dir_.File("proj/game.vka").c_str(), 0644);
    if (BrowserIsOpen()) BrowserClose();
    EventsReset();
    EditorTest::TearDown();
  }
  void Click(int32_t x, int32_t y) {
    Deliver({MsgKind::MouseMove, x, y});
    Deliver({MsgKind::LButtonDown, 0, 0});
    Deliver({MsgKind::LButtonUp, 0, 0});
  }
  void ChooseItem(int32_t item) {
    const SurfRect& r = g_ide.dropDownRect;
    Click(r.left + 10, r.top + 2 + 16 * (item - 1) + 8);
  }
  void Answer(bool yes) { BrowserPerformAction(BrowserButtonAction(yes ? 2 : 1)); }
  std::string Game() const { return dir_.File("proj/game.vka"); }
};

// Each save path (F3, File > Save, "yes" to save first from F2, Open Recent, Close, New Project
// and Exit, in the shown tab and in the other) × what became of the file since it was read. A
// file changed or replaced is asked about ("No" writes nothing, the buffer still changed; "Yes"
// writes it and the action goes on); a deleted one is written again without a question; a
// read-only one is never written.
TEST_F(SavesTest, ASaveNeverWritesOverAFileThatChangedSinceItWasRead) {
  const struct {
    const char* name;
    bool otherTab;  // the source is in tab 2, tab 1 shown
    std::function<void()> save;
    std::function<bool()> wentOn;  // the action carried out after the save
  } paths[] = {
      {"F3", false, [this] { Key(kVkF1 + 2); }, [] { return !BrowserIsOpen(); }},
      {"File > Save", false, [this] { Click(IdeMenuLeft(1) + 3, 28), ChooseItem(5); }, [] { return !BrowserIsOpen(); }},
      {"yes to save first, F2", false, [this] { Key(kVkF1 + 1), Answer(true); },
       [] { return g_ide.dialogMode == kModeOpen; }},
      {"yes to save first, Open Recent", false, [this] {
         g_ide.recent = {{"other.vka", dir_.File("proj")}};
         IdeMenuOpenRecent(0), Answer(true);
       }, [] { return g_ide.fileName == "other.vka"; }},
      {"yes to save first, File > Close", false, [this] { IdeMenuNew(), Answer(true); },
       [] { return g_ide.fileName.empty() && !BrowserIsOpen(); }},
      {"yes to save first, New Project", false, [this] { IdeMenuNewProject(), Answer(true); },
       [] { return g_ide.dialogMode == kModeNewProject; }},
      {"yes to save first, Exit", false, [this] { Click(600, 18), Answer(true); },
       [] { return g_ide.dialogMode == kModeQuit; }},
      {"yes to save first, Exit, tab 2", true, [this] { Click(600, 18), Answer(true); },
       [] { return g_ide.dialogMode == kModeQuit; }},
  };
  const struct {
    const char* name;
    std::function<void(const std::string&)> happen;
    bool asked, written;
  } happenings[] = {
      {"untouched", [](const std::string&) {}, false, true},
      {"changed by another program",
       [](const std::string& p) { std::ofstream(p, std::ios::trunc) << "theirs, longer\r\n"; }, true, true},
      {"replaced (a second environment's save)", [](const std::string& p) {
         std::ofstream(p + ".new") << "old\r\n";  // the same text and size: another file
         std::filesystem::rename(p + ".new", p);
       }, true, true},
      {"deleted", [](const std::string& p) { std::filesystem::remove(p); }, false, true},
      {"made read-only", [](const std::string& p) { chmod(p.c_str(), 0444); }, false, false},
  };
  for (const auto& path : paths) {
    for (const auto& h : happenings) {
      SCOPED_TRACE(std::string(path.name) + ", " + h.name);
      if (BrowserIsOpen()) BrowserClose();
      g_ide.dialogMode = 0;
      chmod(Game().c_str(), 0644);
      dir_.Write("proj/game.vka", "old\r\n");
      dir_.Write("proj/other.vka", "other\r\n");
      g_ide.records[0] = g_ide.records[1] = EditorBufferRecord();
      g_ide.loadedBuffer = 0;
      g_ide.currentBuffer = path.otherTab ? 2 : 1;
      EditorSelectBuffer(g_ide.currentBuffer, true);
      ASSERT_TRUE(BrowserLoadSource(Game()));
      Type("new ");
      if (path.otherTab) Click(461, 20);  // tab 1 shown
      h.happen(Game());
      const std::string before = std::filesystem::exists(Game()) ? dir_.Read("proj/game.vka") : "";
      path.save();
      if (h.asked) {
        ASSERT_EQ(g_ide.dialogMode, kModeReplaceChanged);
        EXPECT_EQ(g_ide.loadedBuffer, path.otherTab ? 2 : 1);
        Answer(false);
        EXPECT_FALSE(BrowserIsOpen());
        EXPECT_EQ(dir_.Read("proj/game.vka"), before);
        EXPECT_TRUE(g_ide.modified);
        path.save();
        ASSERT_EQ(g_ide.dialogMode, kModeReplaceChanged);
        Answer(true);
      }
      EXPECT_EQ(dir_.Read("proj/game.vka"), h.written ? "new old\r\n" : before);
      EXPECT_EQ(g_ide.modified, !h.written);
      if (h.written) {
        EXPECT_TRUE(path.wentOn()) << g_ide.dialogMode;
      }
    }
  }
}

// After a save, the buffer compares with the file it wrote: a second save asks nothing; a
// change on disk after it is asked about again.
TEST_F(SavesTest, TheFileWrittenIsTheOneComparedWith) {
  dir_.Write("proj/game.vka", "old\r\n");
  ASSERT_TRUE(BrowserLoadSource(Game()));
  Type("a");
  Key(kVkF1 + 2);
  Type("b");
  Key(kVkF1 + 2);
  EXPECT_FALSE(BrowserIsOpen());
  EXPECT_EQ(dir_.Read("proj/game.vka"), "abold\r\n");
  dir_.Write("proj/game.vka", "theirs\r\n");
  Type("c");
  Key(kVkF1 + 2);
  EXPECT_EQ(g_ide.dialogMode, kModeReplaceChanged);
  EXPECT_EQ(dir_.Read("proj/game.vka"), "theirs\r\n");
  Answer(true);
  const std::string ours = dir_.Read("proj/game.vka");
  EXPECT_EQ(ours, "abcold\r\n");  // Yes wrote the buffer
  // Another file renamed into its place, of the same size and time: a file the buffer never
  // read, asked about too.
  struct stat st {};
  ASSERT_EQ(stat(Game().c_str(), &st), 0);
  dir_.Write("proj/other.tmp", std::string(ours.size(), 'x'));
  const timespec times[2] = {st.st_atim, st.st_mtim};
  ASSERT_EQ(utimensat(AT_FDCWD, dir_.File("proj/other.tmp").c_str(), times, 0), 0);
  std::filesystem::rename(dir_.File("proj/other.tmp"), Game());
  Type("d");
  Key(kVkF1 + 2);
  EXPECT_EQ(g_ide.dialogMode, kModeReplaceChanged);
  EXPECT_EQ(dir_.Read("proj/game.vka"), std::string(ours.size(), 'x'));
}

// "Yes" to save first over a read-only source: the refusal stands alone in the panel (the
// question and its buttons gone), the next click closes it, and nothing is written or left.
TEST_F(SavesTest, ARefusedSaveFirstShowsItsReasonAlone) {
  dir_.Write("proj/game.vka", "old\r\n");
  ASSERT_TRUE(BrowserLoadSource(Game()));
  Type("new ");
  chmod(Game().c_str(), 0444);
  Click(600, 18);
  Answer(true);
  ASSERT_TRUE(BrowserIsOpen());
  EXPECT_FALSE(g_browser.message.empty());
  for (const BrowserButton& b : g_browser.buttons) EXPECT_FALSE(b.exists);
  Deliver({MsgKind::Char, 13, 0});  // Enter answers nothing
  Click(300, 300);
  EXPECT_FALSE(BrowserIsOpen());
  EXPECT_FALSE(QuitPosted());
  EXPECT_EQ(dir_.Read("proj/game.vka"), "old\r\n");
  EXPECT_TRUE(g_ide.modified);
}

// F2, File > Open, Open Recent and New Project of the file the other tab holds show that tab,
// its changes kept, rather than a second copy.
TEST_F(SavesTest, OpeningTheOtherTabsFileShowsThatTab) {
  std::filesystem::create_directories(dir_.File("MYPROJ/game"));
  const std::string game = dir_.File("MYPROJ/game/game.vka");
  dir_.Write("MYPROJ/game/game.vka", "old\r\n");
  dir_.Write("proj/mine.vka", "mine\r\n");
  const struct {
    const char* name;
    std::function<void()> open;
  } ways[] = {
      {"F2", [&] { Key(kVkF1 + 1), BrowserSetField(1, game), BrowserApplySelection(kModeOpen); }},
      {"File > Open", [&] {
         Click(IdeMenuLeft(1) + 3, 28), ChooseItem(2);
         BrowserSetField(1, game), BrowserApplySelection(kModeOpen);
       }},
      {"Open Recent", [] { IdeMenuOpenRecent(0); }},
      {"New Project", [] { IdeMenuNewProject(), BrowserSetField(1, "game"), BrowserApplySelection(kModeNewProject); }},
  };
  for (const auto& way : ways) {
    SCOPED_TRACE(way.name);
    g_ide.records[0] = g_ide.records[1] = EditorBufferRecord();
    g_ide.loadedBuffer = 0;
    g_ide.currentBuffer = 2;
    EditorSelectBuffer(2, true);
    ASSERT_TRUE(BrowserLoadSource(game));
    Type("new ");
    Click(461, 20);  // tab 1
    ASSERT_TRUE(BrowserLoadSource(dir_.File("proj/mine.vka")));
    g_ide.recent = {{"game.vka", dir_.File("MYPROJ/game")}};
    BuildIdeMenus();
    way.open();
    EXPECT_FALSE(BrowserIsOpen());
    EXPECT_EQ(g_ide.loadedBuffer, 2);
    EXPECT_EQ(g_ide.editor.lines[0], "new old");
    EXPECT_TRUE(g_ide.modified);
    EXPECT_EQ(g_ide.records[0].buffer.lines[0], way.name == std::string("New Project") ? "" : "mine");
  }
}

// F3 and "yes" to save first on an example loaded from the help go to Save As, and Save As into
// the help's folder (over the example, or a new name there) is refused, unasked: the help's
// files stay as they are. Loading the example names the unsaved changes of it kept earlier.
TEST_F(SavesTest, AnExampleOfTheHelpIsSavedElsewhere) {
  std::filesystem::create_directories(dir_.File("HELP/examples"));
  std::filesystem::create_directories(dir_.File("config/vellumark"));
  dir_.Write("HELP/examples/ex.vka", "print 4\r\n");
  dir_.Write("config/vellumark/ex.vka.recovered", "typed\r\n");
  g_ide.settings.helpFolder = dir_.File("HELP/");
  const struct {
    const char* name;
    std::function<void()> save;
    std::string message;  // in the Save As panel
  } ways[] = {
      {"F3", [this] { Key(kVkF1 + 2); }, ""},
      {"yes to save first", [this] { Click(600, 18), Answer(true); }, ""},
      {"Save As over the example", [this] {
         Key(kVkF1 + 2), BrowserSetField(1, dir_.File("HELP/examples/ex.vka")), BrowserApplySelection(kModeSaveAs);
       }, IdeText(IdeSection::Desc, kDescHelpKept)},
      {"Save As of a new name there", [this] {
         Key(kVkF1 + 2), BrowserSetField(1, dir_.File("HELP/examples/new.vka")), BrowserApplySelection(kModeSaveAs);
       }, IdeText(IdeSection::Desc, kDescHelpKept)},
  };
  for (const auto& way : ways) {
    SCOPED_TRACE(way.name);
    g_ide.startNotices.clear();
    testing::internal::CaptureStderr();
    IdeOpenFromBrowser("examples/ex.vka");
    const std::string said = testing::internal::GetCapturedStderr();
    ASSERT_EQ(g_ide.fileName, "ex.vka");
    const std::string notice =
        "the unsaved changes of ex.vka are kept in " + dir_.File("config/vellumark/ex.vka.recovered");
    EXPECT_EQ(g_ide.statusText, notice);
    EXPECT_EQ(said, "vellumark: edit: " + notice + "\n");
    Type("x");
    way.save();
    EXPECT_EQ(g_ide.dialogMode, kModeSaveAs);
    EXPECT_EQ(g_browser.message, way.message);
    EXPECT_EQ(dir_.Read("HELP/examples/ex.vka"), "print 4\r\n");
    EXPECT_FALSE(std::filesystem::exists(dir_.File("HELP/examples/new.vka")));
    BrowserPerformAction(1);
    g_ide.modified = 0;
  }
}

}  // namespace
