// Keys and clicks over the panels, questions, menus and help pages, each as a window sends it:
// the key going down, the character it types, the key going up; the clicks of a double click.
#include <filesystem>
#include <functional>

#include "devenv/browser.h"
#include "devenv/browser_state.h"
#include "devenv/editor_selection.h"
#include "devenv/help_pane.h"
#include "devenv/ide_actions.h"
#include "devenv/ide_shell.h"
#include "platform/events.h"
#include "tests/devenv/editor_driver.h"

namespace {

class PanelInputTest : public EditorTest {
 protected:
  void SetUp() override {
    EditorTest::SetUp();
    EventsReset();
    BuildIdeMenus();
    std::filesystem::create_directories(dir_.File("work"));
    g_ide.settings.helpFolder = dir_.File("HELP/");
    std::filesystem::create_directory(dir_.File("HELP"));
    dir_.Write("HELP/intro.htm", "Some text");
    ASSERT_TRUE(HelpPaneCreate());
  }
  void TearDown() override {
    HelpPaneRelease();
    EventsReset();
    EditorTest::TearDown();
  }
  void Send(MsgKind kind, int32_t a, int32_t b = 0) { IdeWindowMessage(Message{kind, a, b}); }
  void Press(int32_t vk, char typed) {
    Send(MsgKind::KeyDown, vk);
    if (typed) Send(MsgKind::Char, static_cast<unsigned char>(typed));
    Send(MsgKind::KeyUp, vk);
  }
  std::string Work(const std::string& name) { return dir_.File("work/" + name); }
};

// Every key a panel, question, menu or page takes is its own: it does that panel's thing, and
// the character the key types reaches neither the editor under it nor the panel that follows.
TEST_F(PanelInputTest, AKeyAndItsCharacterBelongToWhatTookTheKey) {
  dir_.Write("work/other.vka", "print 2\r\n");
  const std::string source = "print \"hello world\"";
  auto panel = [](int32_t mode, int32_t kind) { return [=] { IdeOpenDialog(mode, kind); }; };
  auto saveAsOther = [&] {
    IdeOpenDialog(kModeSaveAs, 3);
    for (char c : std::string("other.vka")) Send(MsgKind::Char, c);
    BrowserPerformAction(BrowserButtonAction(2));  // its Save button
  };
  // Enter ends the field's edit with the text typed, and the panel stays: no button acts.
  auto fieldEnded = [](const char* typed) {
    return [=] { return BrowserIsOpen() && g_browser.activeField == 0 && g_browser.fields[1].text == typed; };
  };
  const struct {
    const char* name;
    std::function<void()> open;
    const char* field;  // typed into the panel first
    int32_t vk;
    char typed;
    std::function<bool()> done;
    bool textKept;
  } cases[] = {
      {"save as, Enter: the field ends, nothing is saved", panel(kModeSaveAs, 3), "kept.vka", kVkReturn, 13,
       [&, ended = fieldEnded("kept.vka")] { return ended() && !std::filesystem::exists(Work("kept.vka")); }, true},
      {"save as onto a file: the question follows and keeps", saveAsOther, "", 'Y', 'y',
       [] { return BrowserIsOpen() && g_browser.kind == 4; }, true},
      {"replace it?, Enter: yes", saveAsOther, "", kVkReturn, 13,
       [&] { return !BrowserIsOpen() && dir_.Read("work/other.vka").find("hello") != std::string::npos; }, true},
      {"replace it?, Enter held: its repeats answer nothing more", [&] {
         saveAsOther();
         Send(MsgKind::KeyDown, kVkReturn);
         Send(MsgKind::Char, 13);
       }, "", kVkReturn, 13, [] { return !BrowserIsOpen(); }, true},
      {"replace it?, Enter held, another key let go: the repeats still answer nothing", [&] {
         saveAsOther();
         Send(MsgKind::KeyDown, kVkReturn);
         Send(MsgKind::Char, 13);
         Send(MsgKind::KeyUp, 'A');
       }, "", kVkReturn, 13, [] { return !BrowserIsOpen(); }, true},
      {"replace it?, Enter let go while the window was away: a character after it is typed", [&] {
         saveAsOther();
         Send(MsgKind::KeyDown, kVkReturn);
         Send(MsgKind::Char, 13);
         Send(MsgKind::Activate, 1);
       }, "x", kVkLeft, 0, [&] { return Text().find("hello xworld") != std::string::npos; }, false},
      {"save as opened by F3 still held, the name typed, Enter", [&] { Send(MsgKind::KeyDown, kVkF1 + 2); }, "kept2.vka",
       kVkReturn, 13, [ended = fieldEnded("kept2.vka")] { return ended() && g_ide.fileName.empty(); }, true},
      {"make program, Enter", panel(kModeMakeProgram, 6), "game", kVkReturn, 13,
       [&, ended = fieldEnded("game")] { return ended() && !std::filesystem::exists(Work("game")); }, true},
      {"open, Enter", panel(kModeOpen, 2), "other.vka", kVkReturn, 13, fieldEnded("other.vka"), true},
      {"find, Enter", [] { IdeFindOrReplace(0); }, "world", kVkReturn, 13,
       [ended = fieldEnded("world")] { return ended() && !EditorHasSelection(); }, true},
      {"replace, Enter in its first field: nothing is replaced", [] { IdeFindOrReplace(1); }, "hello", kVkReturn, 13,
       fieldEnded("hello"), true},
      {"new project, Enter", panel(kModeNewProject, 8), "proj", kVkReturn, 13,
       [ended = fieldEnded("proj")] { return ended() && g_ide.fileName.empty(); }, true},
      {"save changes?, Enter: yes, and the save as panel takes over", [] { IdeMenuQuit(); }, "", kVkReturn, 13,
       [] { return BrowserIsOpen() && g_browser.kind == 3 && GetBrowserItem(1).empty(); }, true},
      {"leave?, Enter: yes", [] { IdeAskQuit(); }, "", kVkReturn, 13, [] { return QuitPosted(); }, true},
      {"leave?, Escape: no", [] { IdeAskQuit(); }, "", kVkIdeEscape, 27, [&] { return !BrowserIsOpen() && !QuitPosted(); }, true},
      {"save as, Tab", panel(kModeSaveAs, 3), "a", kVkTab, 9, [] { return GetBrowserItem(1) == "a"; }, true},
      {"save as, Backspace", panel(kModeSaveAs, 3), "ab", kVkBack, 8, [] { return GetBrowserItem(1) == "a"; }, true},
      {"help page, Escape", [] { IdeShowHelpPage("intro.htm"); }, "", kVkIdeEscape, 27, [] { return !g_ide.helpView; }, true},
      {"help page, a letter", [] { IdeShowHelpPage("intro.htm"); }, "", 'X', 'x', [] { return g_ide.helpView; }, true},
      {"file menu, Escape", [] { g_ide.hotSpot = 11, IdeMenuCommand(); }, "", kVkIdeEscape, 27,
       [] { return g_ide.openMenu == 0; }, true},
      {"file menu, Enter", [] { g_ide.hotSpot = 11, IdeMenuCommand(); }, "", kVkReturn, 13,
       [] { return g_ide.openMenu == 0; }, true},
      {"edit menu, a letter", [] { g_ide.hotSpot = 12, IdeMenuCommand(); }, "", 'X', 'x',
       [] { return g_ide.openMenu == 0; }, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::current_path(Work(""));
    g_ide.fileName.clear();
    EditorNewEmpty();
    Type(source);
    Key(kVkLeft, false, false, 6);  // between "hello " and "world": an Enter would split the line
    g_ide.modified = 1;
    const std::string before = Text();
    c.open();
    for (char ch : std::string(c.field)) Send(MsgKind::Char, ch);
    Press(c.vk, c.typed);
    EXPECT_TRUE(c.done());
    if (c.textKept) {
      EXPECT_EQ(Text(), before);
    }
    if (BrowserIsOpen()) BrowserClose();
    if (g_ide.helpView) IdeCloseHelp();
    g_ide.openMenu = 0;
    EventsClearQuit();
    dir_.Write("work/other.vka", "print 2\r\n");
  }
}

}  // namespace

namespace {

// A double click whose first click closes a page or a question, or went to a page before the
// environment, ends there: its later click reaches nothing that came under the pointer. Inside a
// panel a double click still acts.
TEST_F(PanelInputTest, TheSecondClickOfADoubleClickThatClosedAPageReachesNothing) {
  dir_.Write("work/other.vka", "print 2\r\n");
  std::filesystem::current_path(Work(""));
  auto onButton = [](int32_t i) {
    const BrowserButton& b = g_browser.buttons[i];
    return std::pair{g_browser.left + b.x + 5, g_browser.top + b.y + 5};
  };
  const struct {
    const char* name;
    std::function<void()> open;
    std::function<std::pair<int32_t, int32_t>()> at;
    std::function<bool()> done;
    bool firstSeen = true;
  } cases[] = {
      {"the card report took the first click", [] {}, [] { return std::pair{20, 28}; },
       [] { return g_ide.openMenu == 0; }, false},
      {"help page, Close", [] { IdeShowHelpPage("intro.htm"); }, [] { return std::pair{20, 28}; },
       [] { return !g_ide.helpView && g_ide.openMenu == 0; }},
      {"leave?, No", [] { IdeAskQuit(); }, [&] { return onButton(1); },
       [] { return !BrowserIsOpen() && !g_ide.clickPending && !QuitPosted(); }},
      {"open, a file's entry", [] { IdeOpenDialog(kModeOpen, 2); },
       [] { return std::pair{g_browser.left + 40, g_browser.top + kTrackY + kBrowserRowHeight + 8}; },
       [] { return !BrowserIsOpen() && g_ide.editor.lines[0] == "print 2"; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EditorNewEmpty();
    c.open();
    const auto [x, y] = c.at();
    Send(MsgKind::MouseMove, x, y);
    for (int32_t clicks = c.firstSeen ? 1 : 2; clicks <= 2; ++clicks) {
      IdeWindowMessage(Message{MsgKind::LButtonDown, 0, 0, clicks});
      Send(MsgKind::LButtonUp, 0);
    }
    EXPECT_TRUE(c.done());
    if (BrowserIsOpen()) BrowserClose();
    g_ide.openMenu = 0;
    g_ide.clickPending = false;
  }
}

}  // namespace
