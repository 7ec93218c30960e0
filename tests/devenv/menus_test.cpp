// The menus, the shell's keys, the file commands' questions, leaving, and the media editors
// started as outside programs.
#include <sys/stat.h>

#include <cctype>
#include <chrono>
#include <filesystem>
#include <functional>
#include <set>
#include <thread>

#include "devenv/browser.h"
#include "devenv/browser_state.h"
#include "devenv/editor_selection.h"
#include "devenv/help_pane.h"
#include "devenv/ide_actions.h"
#include "devenv/ide_shell.h"
#include "devenv/ide_texts.h"
#include "platform/clipboard.h"
#include "platform/codepage.h"
#include "platform/events.h"
#include "platform/fs.h"
#include "platform/process.h"
#include "platform/unsaved_copies.h"
#include "tests/devenv/editor_driver.h"

namespace {

class MenusTest : public EditorTest {
 protected:
  void SetUp() override {
    EditorTest::SetUp();
    EventsReset();
    BuildIdeMenus();
  }
  void TearDown() override {
    EventsReset();
    EditorTest::TearDown();
  }
  void Click(int32_t x, int32_t y) {
    Deliver({MsgKind::MouseMove, x, y});
    Deliver({MsgKind::LButtonDown, 0, 0});
    Deliver({MsgKind::LButtonUp, 0, 0});
  }
  void OpenMenu(int32_t m) { Click(IdeMenuLeft(m) + 3, 28); }
  void ChooseItem(int32_t item) {
    const SurfRect& r = g_ide.dropDownRect;
    Click(r.left + 10, r.top + 2 + 16 * (item - 1) + 8);
  }
};

TEST_F(MenusTest, ExitItemFollowsTheRecentFilesAndAsksBeforeLeaving) {
  struct {
    int recent, exitItem;
  } const cases[] = {{0, 11}, {2, 14}};
  for (const auto& c : cases) {
    g_ide.recent.clear();
    for (int i = 0; i < c.recent; ++i) AddRecentFile("g" + std::to_string(i) + ".vka", "/home/me/space");
    OpenMenu(1);
    ASSERT_EQ(g_ide.openMenu, 1);
    EXPECT_EQ(g_ide.exitItem, c.exitItem);
    EXPECT_EQ(g_ide.menus[0].items[size_t(c.exitItem - 1)].text, "Exit");
    EXPECT_EQ(g_ide.menus[0].items[9].text, "-");
    ChooseItem(c.exitItem);
    EXPECT_EQ(g_ide.openMenu, 0);
    EXPECT_EQ(g_ide.dialogMode, kModeQuit);
    ResetBrowserItems();
    g_ide.dialogMode = 0;
  }
  // A recent file outside the browser's folder shows that folder's name before its own.
  EXPECT_EQ(g_ide.menus[0].items[10].text, "space/g1.vka");
  SetBrowserPath("/home/me/space/");
  IdeRebuildRecentItems();
  EXPECT_EQ(g_ide.menus[0].items[10].text, "g1.vka");
  // Names from the disk are drawn in the code page.
  SetTextCodePage(1252);
  AddRecentFile("\xC3\xA9t\xC3\xA9.vka", "/home/me/caf\xC3\xA9");
  IdeRebuildRecentItems();
  EXPECT_EQ(g_ide.menus[0].items[10].text, "caf\xE9/\xE9t\xE9.vka");
}

TEST_F(MenusTest, DisabledItemsAndClicksBesideOnlyCloseTheMenu) {
  Type("keep this");
  const std::string text = Text();
  OpenMenu(2);  // edit: no selection, so cut is disabled
  ASSERT_EQ(g_ide.openMenu, 2);
  EXPECT_FALSE(g_ide.menus[1].items[2].enabled);
  ChooseItem(3);
  EXPECT_EQ(g_ide.openMenu, 0);
  EXPECT_EQ(Text(), text);
  OpenMenu(5);
  Click(600, 300);  // beside the run menu's items
  EXPECT_EQ(g_ide.openMenu, 0);
  EXPECT_FALSE(QuitPosted());
  OpenMenu(2);
  ChooseItem(2);  // a separator
  EXPECT_EQ(g_ide.openMenu, 0);
  EXPECT_EQ(g_ide.dialogMode, 0);
  // Cut, copy and delete follow the selection when the menu opens.
  for (const bool selected : {false, true, false}) {
    if (selected) Key(kVkLeft, true);
    else Key(kVkEnd);
    OpenMenu(2);
    for (const size_t item : {3u, 4u, 6u}) EXPECT_EQ(g_ide.menus[1].items[item - 1].enabled, selected) << item;
    ChooseItem(6);  // delete
  }
  EXPECT_EQ(Text(), "keep thi\n");
}

// The top-right buttons say what they do: "Run" leaves for the caller to compile and run, the
// other asks before leaving as the exit item does.
TEST_F(MenusTest, TopButtonsDoWhatTheirLabelsSay) {
  EXPECT_EQ(IdeText(IdeSection::Title, kTitleRunButton), "Run");
  EXPECT_EQ(IdeText(IdeSection::Title, kTitleExitButton), IdeText(IdeSection::Menu, 18));
  Click(595, 18);
  EXPECT_EQ(g_ide.dialogMode, kModeQuit);
  EXPECT_FALSE(QuitPosted());
  ResetBrowserItems();
  g_ide.dialogMode = 0;
  Click(529, 18);
  EXPECT_TRUE(QuitPosted());
  EXPECT_EQ(g_ide.exitState, kIdeExitTopButton);
}

// The introduction (or any help page) stays while the mouse moves, whatever menu was open
// before it; a click on its Close closes it and does nothing else, so typing goes on in the
// editor.
TEST_F(MenusTest, AHelpPageStaysUntilClosedAndItsCloseDoesNothingElse) {
  g_ide.settings.helpFolder = dir_.File("HELP/");
  std::filesystem::create_directory(dir_.File("HELP"));
  dir_.Write("HELP/intro.htm", "<A HREF=\"main.htm\">Main help page</A> and some text");
  ASSERT_TRUE(HelpPaneCreate());
  for (const int32_t menuBefore : {0, 1}) {
    if (menuBefore) OpenMenu(menuBefore);
    EXPECT_EQ(g_ide.openMenu, menuBefore);
    IdeShowHelpPage("intro.htm");
    for (const auto& [x, y] : {std::pair{300, 300}, {20, 28}, {100, 28}, {20, 52}, {529, 18}, {630, 470}}) {
      Deliver({MsgKind::MouseMove, x, y});
      IdeHitTest();
      IdeRedraw();
      EXPECT_TRUE(g_ide.helpView) << x << "," << y;
    }
    Click(20, 28);  // Close
    EXPECT_FALSE(g_ide.helpView);
    EXPECT_EQ(g_ide.openMenu, 0);
    IdeHitTest();
    Type("x");
    EXPECT_EQ(g_ide.openMenu, 0);
  }
  EXPECT_EQ(Text(), "xx\n");
  HelpPaneRelease();
}

TEST_F(MenusTest, ControlShortcutsHeldActOncePerPress) {
  Type("abcd");
  Key(kVkLeft);
  Key(kVkLeft, true, false, 2);  // "bc" selected
  Key('X', false, true, 1, 5);   // held for five frames: cut once, then no selection is left
  EXPECT_EQ(Text(), "ad\n");
  EXPECT_EQ(ClipboardGetText(), "bc");
  Key('V', false, true, 1, 5);
  EXPECT_EQ(Text(), "abcd\n");
  Key('V', false, true, 2);  // two presses paste twice
  EXPECT_EQ(Text(), "abcbcbcd\n");
}

TEST_F(MenusTest, UnsavedChangesAskFirstNamedOrNot) {
  struct {
    const char* name;
    bool modified;
    void (*command)();
    int32_t mode;
  } const cases[] = {
      {"", true, IdeMenuOpen, kModeSaveBeforeOpen},  // typed text without a name is asked about too
      {"game.vka", true, IdeMenuOpen, kModeSaveBeforeOpen},
      {"game.vka", false, IdeMenuOpen, kModeOpen},
      {"game.vka", true, IdeMenuNewProject, kModeSaveBeforeNewProject},
      {"", true, IdeMenuNewProject, kModeSaveBeforeNewProject},
      {"game.vka", true, IdeMenuNew, kModeSaveBeforeClose},
      {"", true, IdeMenuQuit, kModeSaveBeforeQuit},  // leaving never loses an unnamed source
      {"", false, IdeMenuQuit, kModeQuit},
  };
  for (const auto& c : cases) {
    g_ide.fileName = c.name;
    g_ide.modified = c.modified;
    g_ide.dialogMode = 0;
    c.command();
    EXPECT_EQ(g_ide.dialogMode, c.mode) << c.name << " " << c.modified << " " << c.mode;
  }
}

// Every action that replaces, empties or leaves buffer text, over each buffer state: a changed
// buffer it drops (the shown one; tab 2 for an example; both for leaving), named or not, is asked
// about first, the other tab's by name; an unchanged one, or one the action keeps, is not; a
// stop signal asks about none.
TEST_F(MenusTest, EveryActionThatDropsTextAsksAboutEachChangedBufferItDrops) {
  const std::string folder = dir_.File("");
  const struct {
    const char* name;
    std::function<void()> run;
    int32_t mode;            // the save-first question it asks
    bool dropsShown, dropsOther;
    std::function<bool()> goesOn;  // what it does when nothing it drops is changed
  } actions[] = {
      {"F2", [this] { Key(kVkF1 + 1); }, kModeSaveBeforeOpen, true, false, [] { return g_ide.dialogMode == kModeOpen; }},
      {"File > Open", [this] { OpenMenu(1), ChooseItem(2); }, kModeSaveBeforeOpen, true, false,
       [] { return g_ide.dialogMode == kModeOpen; }},
      {"Open Recent", [this] { OpenMenu(1), ChooseItem(11); }, kModeSaveBeforeRecent, true, false,
       [] { return g_ide.dialogMode == 0 && g_ide.editor.lines[0] == "print 3"; }},
      {"File > Close", [] { IdeMenuNew(); }, kModeSaveBeforeClose, true, false,
       [] { return g_ide.fileName.empty() && g_ide.editor.lines[0].empty() && !BrowserIsOpen(); }},
      {"New Project", [this] { OpenMenu(1), ChooseItem(1); }, kModeSaveBeforeNewProject, true, false,
       [] { return g_ide.dialogMode == kModeNewProject; }},
      {"example from the help", [] {
         IdeAskLoadExample("ex.vka");
         BrowserPerformAction(BrowserButtonAction(2));
       }, kModeSaveBeforeExample, false, true, [] { return g_ide.loadedBuffer == 2 && g_ide.fileName == "ex.vka"; }},
      {"Exit item", [this] { OpenMenu(1), ChooseItem(g_ide.exitItem); }, kModeSaveBeforeQuit, true, true,
       [] { return g_ide.dialogMode == kModeQuit; }},
      {"top Exit button", [this] { Click(600, 18); }, kModeSaveBeforeQuit, true, true,
       [] { return g_ide.dialogMode == kModeQuit; }},
      {"closing the window", [this] { Deliver({MsgKind::Close, 0, 0}); }, kModeSaveBeforeQuit, true, true, QuitPosted},
      // A stop signal asks nothing: the text is kept in its recovery file and the environment leaves.
      {"a stop signal", [this] { Deliver({MsgKind::Close, 1, SIGTERM}); }, kModeSaveBeforeQuit, false, false,
       [] { return QuitPosted() && !BrowserIsOpen(); }},
  };
  const struct {
    const char* name;
    bool shownNamed, shownChanged, otherNamed, otherChanged;
  } states[] = {
      {"shown tab changed, named", true, true, true, false},
      {"shown tab changed, unnamed", false, true, true, false},
      {"other tab changed, named", true, false, true, true},
      {"other tab changed, unnamed", true, false, false, true},
      {"nothing changed", true, false, false, false},
  };
  dir_.Write("three.vka", "print 3\r\n");
  std::filesystem::create_directories(dir_.File("HELP"));
  dir_.Write("HELP/ex.vka", "print 4\r\n");
  g_ide.settings.helpFolder = dir_.File("HELP/");
  for (const auto& a : actions) {
    for (const auto& st : states) {
      SCOPED_TRACE(std::string(a.name) + ", " + st.name);
      EventsReset();
      if (BrowserIsOpen()) BrowserClose();
      g_ide.dialogMode = 0;
      g_ide.helpView = false;
      g_ide.currentBuffer = g_ide.loadedBuffer = 1;
      EditorNewEmpty();
      g_ide.editor.lines = {"print 1"};
      g_ide.fileName = st.shownNamed ? "one.vka" : "";
      g_ide.projectFolder = folder;
      g_ide.modified = st.shownChanged;
      EditorBufferRecord& other = g_ide.records[1];
      other = EditorBufferRecord();
      other.used = true;
      other.buffer.lines = {"print 2"};
      other.fileName = st.otherNamed ? "two.vka" : "";
      other.projectFolder = folder;
      other.modified = st.otherChanged;
      g_ide.recent = {{"three.vka", folder}};
      BuildIdeMenus();
      std::filesystem::current_path(folder);
      a.run();
      const bool asked = (a.dropsShown && st.shownChanged) || (a.dropsOther && st.otherChanged);
      if (!asked) {
        EXPECT_TRUE(a.goesOn()) << g_ide.dialogMode;
        continue;
      }
      EXPECT_TRUE(BrowserIsOpen());
      EXPECT_EQ(g_ide.dialogMode, a.mode);
      const bool aboutOther = !(a.dropsShown && st.shownChanged);
      const std::string question = IdeSaveFirstQuestion();
      if (aboutOther) {
        EXPECT_EQ(question, std::string(st.otherNamed ? "two.vka" : "untitled") + " (tab 2) " +
                                IdeText(IdeSection::Desc, kDescChangedSaveFirst));
      } else if (!a.dropsOther) {
        EXPECT_EQ(question, IdeText(IdeSection::Desc, kDescSaveFirst));
      }
      EXPECT_FALSE(QuitPosted());
      // "No" to each question: the action goes on, the questions gone.
      for (int k = 0; k < 2 && BrowserIsOpen() && g_ide.dialogMode == a.mode; ++k)
        BrowserPerformAction(BrowserButtonAction(3));
      // (Leaving asks "Leave the editor now?" once its buffers are answered for.)
      EXPECT_TRUE(a.mode == kModeSaveBeforeQuit ? g_ide.dialogMode == kModeQuit : a.goesOn()) << "after no: " << g_ide.dialogMode;
    }
  }
}

TEST_F(MenusTest, CloseRequestWithUnsavedChangesAsksInsteadOfLeaving) {
  struct {
    bool modified, leaves;
    int32_t mode;
  } const cases[] = {{true, false, kModeSaveBeforeQuit}, {false, true, 0}};
  for (const auto& c : cases) {
    EventsReset();
    g_ide.dialogMode = 0;
    g_ide.exitState = kIdeExitRun;
    g_ide.modified = c.modified;
    Deliver({MsgKind::Close, 0, 0});
    EXPECT_EQ(QuitPosted(), c.leaves);
    EXPECT_EQ(g_ide.dialogMode, c.mode);
    EXPECT_EQ(g_ide.exitState, c.leaves ? kIdeExitRunning : kIdeExitRun);
  }
}

TEST_F(MenusTest, SaveLeavesAReadOnlyFileAndSaysSo) {
  std::filesystem::create_directory(dir_.File("proj"));
  std::string upper = IdeText(IdeSection::Desc, kDescReadOnly);
  for (char& c : upper) c = char(std::toupper(static_cast<unsigned char>(c)));
  struct {
    mode_t mode;
    const char* content;
    bool readOnlyText;
  } const cases[] = {{0444, "old\r\n", true}, {0644, "new\r\n", false}};
  const std::string before = FsCurrentFolder();
  for (const auto& c : cases) {
    dir_.Write("proj/game.vka", "old\r\n");
    chmod(dir_.File("proj/game.vka").c_str(), c.mode);
    g_ide.editor.lines = {"new"};
    g_ide.fileName = "game.vka";
    g_ide.projectFolder = dir_.File("proj");
    g_ide.statusText.clear();
    Key(114);  // F3
    EXPECT_EQ(dir_.Read("proj/game.vka"), c.content);
    EXPECT_EQ(g_ide.statusText, c.readOnlyText ? upper : IdeText(IdeSection::Desc, kDescSaved));
    EXPECT_EQ(FsCurrentFolder(), before);
  }
}

// A source named on the command line, away from the folder the environment started in: the
// Make Program panels open on its project folder, so the game is written beside it.
TEST_F(MenusTest, MakeProgramOpensOnTheProjectFolderOfTheCommandLineFile) {
  std::filesystem::create_directories(dir_.File("start"));
  std::filesystem::create_directories(dir_.File("other"));
  dir_.Write("other/game.vka", "print 1\r\n");
  dir_.Write("start/game.vka", "print 2\r\n");
  // The project folder is a full path without "." or ".." parts, as the status line names it.
  const struct {
    std::string current, name, folder;
  } cases[] = {
      {"start", "./game.vka", "start"},
      {"", "start/./game.vka", "start"},
      {"start", "game.vka", "start"},
      {"start", dir_.File("start/../other/game.vka"), "other"},
      {"start", "../other/game.vka", "other"},  // the last: the panels below open on it
  };
  for (const auto& c : cases) {
    g_ide.records[0] = g_ide.records[1] = EditorBufferRecord();
    g_ide.loadedBuffer = 0;
    ASSERT_TRUE(FsChangeFolder(c.current.empty() ? dir_.path() : dir_.File(c.current)));
    EditorCreateBuffers(c.name);
    EXPECT_EQ(g_ide.projectFolder, dir_.File(c.folder)) << c.name;
  }
  for (int32_t vk : {kVkF1 + 5, kVkF1 + 6}) {  // F6, F7
    Key(vk);
    ASSERT_TRUE(BrowserIsOpen()) << vk;
    EXPECT_EQ(GetBrowserPath(), dir_.File("other")) << vk;
    BrowserSetField(1, "game");
    EXPECT_EQ(BrowserChosenPath(), dir_.File("other/game")) << vk;
    Key(kVkIdeEscape);
    EXPECT_FALSE(BrowserIsOpen()) << vk;
  }
}

using StartUpTest = DevenvTest;

TEST_F(StartUpTest, LaterStartsShowTheVersionAndTheMenusKeepIt) {
  IdeStartUp(0.1);
  EXPECT_TRUE(g_ide.firstRun);
  EXPECT_EQ(g_ide.statusText, "");
  IdeStartUp(2.5);
  EXPECT_FALSE(g_ide.firstRun);
  BuildIdeMenus();
  EXPECT_EQ(g_ide.statusText, "VELLUMARK V2.5");
}

// A start that kept the unsaved text of ended runs (as a kill leaves them: a free lock, a work
// file listed in the record) says where in the status line, as on stderr: each place in turn,
// and the menus keep it there, names in the code page.
TEST_F(StartUpTest, KeptUnsavedTextIsNamedInTheStatusLine) {
  const std::string root = dir_.File("runs"), project = dir_.File("project");
  std::filesystem::create_directories(project);
  std::set<std::string> places;
  for (const std::string name : {"\xC3\xA9.vka", "b.vka"}) {
    const std::string run = "runs/run-2147483647-" + name;
    std::filesystem::create_directories(dir_.File(run));
    dir_.Write(run + "/owner.lock", "");
    dir_.Write(run + "/workfile.tmp", "typed\r\n");
    std::string record;
    for (const std::string& field : {dir_.File(run + "/workfile.tmp"), project + "/" + name, project, name,
                                     std::string("0"), std::string()})
      record += field + '\0';
    dir_.Write(run + "/work.rec", record);
    places.insert(Utf8ToCodePage(1252, "the unsaved changes of " + name + " are kept in " + project + "/" + name +
                                           ".recovered"));
  }
  UnsavedTakeSweepSaid();  // what sweeps before this test said
  FsSweepRunFolders(root, false);
  IdeStartUp(2.5);
  BuildIdeMenus();
  const std::string first = g_ide.statusText;
  EXPECT_EQ(places.count(first), 1u) << first;
  for (int k = 0; k < kStartNoticeFrames; ++k) {
    EXPECT_EQ(g_ide.statusText, first);
    IdeTurnStartNotices();
  }
  EXPECT_EQ(places.count(g_ide.statusText), 1u) << g_ide.statusText;
  EXPECT_NE(g_ide.statusText, first);
  BuildIdeMenus();
  for (int k = 0; k < kStartNoticeFrames; ++k) IdeTurnStartNotices();
  EXPECT_EQ(g_ide.statusText, first);
  // Said once: the next start shows the version.
  IdeStartUp(2.5);
  EXPECT_EQ(g_ide.statusText, "VELLUMARK V2.5");
}

// A start finds the recovery files kept of the source it opens (beside it, by number, then in the
// settings folder), or with no source those of the unnamed buffer in the settings folder: each
// named in the status line and on stderr. A link at such a name and another source's files are
// not named.
TEST_F(StartUpTest, AStartNamesTheCopiesKeptOfItsSource) {
  const std::string project = dir_.File("project"), config = dir_.File("config/vellumark");
  std::filesystem::create_directories(project);
  std::filesystem::create_directories(config);
  for (const char* name : {"game.vka.recovered", "game.vka.recovered-2", "other.vka.recovered"})
    dir_.Write(std::string("project/") + name, "typed\r\n");
  std::filesystem::create_symlink(dir_.File("elsewhere"), project + "/game.vka.recovered-3");
  for (const char* name : {"untitled.vka.recovered", "game.vka.recovered", "other.vka.recovered"})
    dir_.Write(std::string("config/vellumark/") + name, "typed\r\n");
  const auto said = [](const std::string& name, const std::string& path) {
    return "the unsaved changes of " + name + " are kept in " + path;
  };
  const struct {
    std::string file;
    std::vector<std::string> notices;
  } cases[] = {
      {project + "/game.vka", {said("game.vka", project + "/game.vka.recovered"),
                               said("game.vka", project + "/game.vka.recovered-2"),
                               said("game.vka", config + "/game.vka.recovered")}},
      {"", {said("untitled.vka", config + "/untitled.vka.recovered")}},
      {project + "/new.vka", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    IdeStartUp(2.5);
    testing::internal::CaptureStderr();
    IdeNameKeptCopies(c.file);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(g_ide.startNotices, c.notices);
    EXPECT_EQ(g_ide.statusText, c.notices.empty() ? "VELLUMARK V2.5" : c.notices[0]);
    for (const std::string& n : c.notices)
      EXPECT_NE(err.find("vellumark: edit: " + n + "\n"), std::string::npos) << err;
    if (c.notices.empty()) {
      EXPECT_EQ(err, "");
    }
  }
}

TEST_F(MenusTest, MediaEditorGetsTheProjectFolderAndRunsOnce) {
  std::filesystem::create_directory(dir_.File("my game"));
  // The editor runs until the test lets it end (a minute at most).
  dir_.Write("editor.sh", "#!/bin/sh\necho \"$1\" >> \"" + dir_.File("args.txt") + "\"\n"
                          "for i in $(seq 6000); do [ -e \"" + dir_.File("end") + "\" ] && exit; sleep 0.01; done\n");
  chmod(dir_.File("editor.sh").c_str(), 0755);
  g_ide.mediaEditors[1].path = dir_.File("editor.sh");
  g_ide.mediaEditors[2].path = dir_.File("missing.sh");
  g_ide.projectFolder = dir_.File("my game");
  OpenMenu(6);
  EXPECT_TRUE(g_ide.menus[5].items[5].enabled);
  EXPECT_FALSE(g_ide.menus[5].items[6].enabled);
  ChooseItem(6);
  const int64_t pid = g_ide.mediaEditors[1].processId;
  ASSERT_GT(pid, 0);
  RunMediaEditor(1);  // still running: left alone
  RunMediaEditor(2);
  EXPECT_EQ(g_ide.mediaEditors[1].processId, pid);
  EXPECT_EQ(g_ide.mediaEditors[2].processId, 0);
  dir_.Write("end", "");
  for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
       g_ide.mediaEditors[1].processId != 0 && std::chrono::steady_clock::now() < end;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    PollMediaBrowser();
  }
  EXPECT_EQ(g_ide.mediaEditors[1].processId, 0);
  EXPECT_EQ(dir_.Read("args.txt"), dir_.File("my game") + "\n");
  // Beside the program, a missing browser program is said first, with or without a media
  // folder; with the program there, a missing media folder.
  LaunchMediaBrowser();
  EXPECT_EQ(g_ide.statusText, IdeText(IdeSection::Desc, kDescNoMediaBrowser));
  std::filesystem::create_directory(dir_.File("media"));
  g_ide.statusText.clear();
  LaunchMediaBrowser();
  EXPECT_EQ(g_ide.statusText, IdeText(IdeSection::Desc, kDescNoMediaBrowser));
  std::filesystem::remove(dir_.File("media"));
  std::filesystem::create_directory(dir_.File("Tools"));
  dir_.Write("Tools/VKBrowse", "#!/bin/sh\n");
  chmod(dir_.File("Tools/VKBrowse").c_str(), 0755);
  LaunchMediaBrowser();
  EXPECT_EQ(g_ide.statusText, IdeText(IdeSection::Desc, kDescNoMediaFolder));
}

}  // namespace

namespace {

// "Source saved" holds until the text changes: typing after F3 brings back the file line with
// its modified mark.
TEST_F(MenusTest, TypingAfterASaveShowsTheModifiedMarkAgain) {
  g_ide.fileName = "mark.vka";
  g_ide.projectFolder = dir_.File("");
  Type("a");
  Key(kVkF1 + 2);
  ASSERT_EQ(g_ide.statusText, IdeText(IdeSection::Desc, kDescSaved));
  Type("b");
  EXPECT_EQ(g_ide.statusText.back(), '*') << g_ide.statusText;
  // The start's version line gives way to the file line too, at the first change.
  Key(kVkF1 + 2);
  g_ide.statusText = "VELLUMARK V0.1";
  g_ide.statusColour = 0;
  Type("c");
  EXPECT_EQ(g_ide.statusText.back(), '*') << g_ide.statusText;
}

}  // namespace
