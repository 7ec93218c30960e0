// The browser panel over a temporary tree: what a folder lists and in what order, the limits
// of the list and of a field, the strict button test, and what confirming does in the save,
// make-program, new-folder, new-project and save-first modes.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>

#include "devenv/browser_state.h"
#include "devenv/ide_actions.h"
#include "devenv/ide_draw.h"
#include "devenv/ide_texts.h"
#include "platform/codepage.h"
#include "platform/fs.h"
#include "tests/support/process.h"
#include "tests/devenv/editor_driver.h"

namespace {

class BrowserTest : public EditorTest {
 protected:
  void SetUp() override {
    EditorTest::SetUp();
    here_ = std::filesystem::current_path();
    std::filesystem::create_directories(dir_.File("work"));
    std::filesystem::current_path(dir_.File("work"));
  }
  void TearDown() override {
    std::filesystem::current_path(here_);
    EditorTest::TearDown();
  }
  void Open(int32_t mode, int32_t kind) {
    g_ide.dialogMode = mode;
    BrowserOpenDialog(kind, 320, 240);
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> out;
    for (const BrowserEntry& e : g_browser.entries) out.push_back(e.name);
    return out;
  }
  // A click at panel-relative x, y as the window delivers it.
  void Click(int32_t x, int32_t y) {
    g_ide.mouseX = g_browser.left + x;
    g_ide.mouseY = g_browser.top + y;
    BrowserWindowMessage({MsgKind::LButtonDown, 0, 0});
    BrowserWindowMessage({MsgKind::LButtonUp, 0, 0});
  }
  std::string Work(const std::string& name) { return dir_.File("work/" + name); }
  std::filesystem::path here_;
};

TEST_F(BrowserTest, FoldersListTheirKindsInOrderWithoutHiddenEntries) {
  for (const char* d : {"beta", "Alpha", ".git"}) std::filesystem::create_directory(Work(d));
  for (const char* f : {"zed.VKA", "a.vka", "b.txt", "Prog", ".hidden.vka"}) dir_.Write(std::string("work/") + f, "x");
  chmod(Work("Prog").c_str(), 0755);
  const std::string up = "<Up one folder>";
  struct {
    int32_t mode, kind;
    std::vector<std::string> names;
  } const cases[] = {
      {1, 2, {up, "Alpha", "beta", "a.vka", "zed.VKA", "Prog", "b.txt"}},
      {11, 6, {up, "Alpha", "beta", "Prog"}},
      {31, 8, {"Alpha", "beta"}},
  };
  for (const auto& c : cases) {
    Open(c.mode, c.kind);
    if (c.kind == 8) {  // new projects start in the projects folder: list ours instead
      SetBrowserPath(Work(""));
      BrowserBuildList();
    }
    EXPECT_EQ(Names(), c.names) << "kind " << c.kind;
    BrowserClose();
  }
  // Names are in the order of the text code page's alphabet, capitals among the rest.
  for (const char* f : {"Яма.txt", "ёж.txt", "еда.txt", "жук.txt", "Аист.txt"})
    dir_.Write(std::string("work/") + f, "x");
  SetTextCodePage(1251);
  Open(1, 2);
  std::vector<std::string> shown;
  for (const std::string& name : Names()) shown.push_back(CodePageToUtf8(1251, name));
  SetTextCodePage(1252);
  EXPECT_EQ(std::vector<std::string>(shown.begin() + 6, shown.end()),
            (std::vector<std::string>{"b.txt", "Аист.txt", "еда.txt", "ёж.txt", "жук.txt", "Яма.txt"}));
  BrowserClose();
  // The parent entry goes up; above "/" come the roots, "/" first.
  Open(1, 2);
  BrowserGoToParent();
  EXPECT_EQ(GetBrowserPath(), dir_.path());
  SetBrowserPath("/");
  BrowserGoToParent();
  ASSERT_FALSE(g_browser.entries.empty());
  EXPECT_EQ(g_browser.entries[0].real, "/");
  EXPECT_EQ(g_browser.entries[0].type, kEntryRoot);
}

TEST_F(BrowserTest, TheListAndAFieldKeepTheirLimits) {
  for (int i = 0; i < 300; ++i) dir_.Write("work/f" + std::to_string(i) + ".txt", "");
  Open(2, 3);
  EXPECT_EQ(g_browser.entries.size(), 256u);
  for (int i = 0; i < 300; ++i) BrowserWindowMessage({MsgKind::Char, 'n', 0});
  EXPECT_EQ(GetBrowserItem(1).size(), 255u);
  // Scrolling stops at the last page.
  for (int i = 0; i < 300; ++i) Click(398, 165);
  EXPECT_EQ(g_browser.firstVisible, 256 - kBrowserRows);
}

TEST_F(BrowserTest, AButtonIsPressedOnlyInsideItsBorder) {
  Open(99, 4);
  const BrowserButton no = g_browser.buttons[1], yes = g_browser.buttons[2];
  struct {
    int32_t x, y, action;
  } const cases[] = {
      {yes.x, yes.y + 5, 0}, {no.x + no.width, no.y + 5, 0}, {no.x + 5, no.y, 0}, {no.x + 5, no.y + no.height, 0},
      {no.x + no.width - 1, no.y + 1, 1}, {yes.x + 1, yes.y + yes.height - 1, 2},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(BrowserHitTest(c.x, c.y), c.action) << c.x << "," << c.y;
    EXPECT_EQ(g_browser.buttons[1].pressed || g_browser.buttons[2].pressed, c.action != 0);
  }
}

TEST_F(BrowserTest, SaveAsAddsTheSourceExtensionOnlyToANameWithout) {
  Type("print 1\n");
  struct {
    const char* typed;
    const char* written;
  } const cases[] = {{"game", "game.VKA"}, {"game.txt", "game.txt"}};
  for (const auto& c : cases) {
    Open(2, 3);
    BrowserSetField(1, c.typed);
    BrowserApplySelection(2);
    EXPECT_TRUE(std::filesystem::exists(Work(c.written))) << c.typed;
    EXPECT_EQ(g_ide.fileName, c.written);
    EXPECT_EQ(g_ide.projectFolder, dir_.File("work"));
    EXPECT_EQ(g_ide.statusText, IdeText(IdeSection::Desc, kDescSaved));
    EXPECT_FALSE(BrowserIsOpen());
  }
  // Saving as an existing name asks first.
  Open(2, 3);
  BrowserSetField(1, "game");
  BrowserApplySelection(2);
  EXPECT_EQ(g_ide.dialogMode, 3);
  EXPECT_EQ(g_browser.kind, 4);
}

TEST_F(BrowserTest, AProgramKeepsItsNameAndIsNotReplacedWithoutAsking) {
  Type("x = 1\n");
  Open(11, 6);
  BrowserSetField(1, "demo");
  BrowserPerformAction(BrowserButtonAction(2));
  EXPECT_TRUE(std::filesystem::exists(Work("demo")));
  EXPECT_FALSE(std::filesystem::exists(Work("demo.EXE")));
  EXPECT_EQ(g_ide.statusText, IdeText(IdeSection::Desc, kDescBuilt));
  EXPECT_EQ(g_ide.dialogMode, 0);
  Open(11, 6);
  BrowserSetField(1, "demo");
  BrowserPerformAction(BrowserButtonAction(2));
  EXPECT_EQ(g_ide.dialogMode, 13);
  EXPECT_EQ(g_browser.kind, 4);
  EXPECT_EQ(BrowserButtonAction(2), 13);
}

// Save As and Make Program write the name typed, in the text code page's letters, beside the
// files whose names differ from it in case or in the coding of their letters; a name picked from
// the list is that entry's own.
TEST_F(BrowserTest, SaveAsAndMakeProgramWriteTheNameTyped) {
  Type("x = 1");
  dir_.Write("work/MyGame", "an older game");
  dir_.Write("work/Keep.vka", "an older source");
  dir_.Write("work/caf\xe9.vka", "a name that is not UTF-8");
  std::filesystem::create_directory(Work("sub"));
  struct {
    int32_t mode, kind, codePage;
    const char* typed;
    const char* written;
  } const cases[] = {
      {11, 6, 1252, "mygame", "mygame"},
      {2, 3, 1252, "keep.vka", "keep.vka"},
      {2, 3, 1252, "caf\xe9.vka", "caf\xc3\xa9.vka"},
      {12, 7, 1251, "\xe2\xe3", "\xd0\xb2\xd0\xb3"},
      {11, 6, 1252, "sub\\mygame", "sub/mygame"},
      {2, 3, 1252, "sub\\saved.vka", "sub/saved.vka"},
  };
  for (const auto& c : cases) {
    SetTextCodePage(c.codePage);
    Open(c.mode, c.kind);
    BrowserSetField(1, c.typed);
    BrowserPerformAction(BrowserButtonAction(2));
    EXPECT_EQ(g_ide.dialogMode, 0) << c.written;  // nothing of that name: no question
    EXPECT_TRUE(std::filesystem::exists(Work(c.written))) << c.written;
  }
  SetTextCodePage(1252);
  EXPECT_EQ(FsCurrentFolder(), Work("sub"));  // a saved source's folder is the working folder
  std::filesystem::current_path(Work(""));
  EXPECT_EQ(dir_.Read("work/MyGame"), "an older game");
  EXPECT_EQ(dir_.Read("work/Keep.vka"), "an older source");
  dir_.Write("work/caf\xc3\xa9.vka", "the twin");
  Open(2, 3);
  BrowserSetChosenName("caf\xe9.vka", "caf\xe9.vka");
  BrowserApplySelection(2);
  ASSERT_EQ(g_ide.dialogMode, 3);
  BrowserPerformAction(BrowserButtonAction(2));
  EXPECT_EQ(dir_.Read("work/caf\xe9.vka"), "x = 1\r\n");
  EXPECT_EQ(dir_.Read("work/caf\xc3\xa9.vka"), "the twin");
  // The name Save As starts with is the source's own, even one shown with a '?'.
  dir_.Write("work/\xe6\x97\xa5.vka", "print 7\r\n");
  ASSERT_TRUE(BrowserLoadSource(Work("\xe6\x97\xa5.vka")));
  Open(2, 3);
  EXPECT_EQ(GetBrowserItem(1), "?.vka");
  BrowserApplySelection(2);
  ASSERT_EQ(g_ide.dialogMode, 3);
  BrowserPerformAction(BrowserButtonAction(2));
  EXPECT_EQ(g_ide.fileName, "\xe6\x97\xa5.vka");
  EXPECT_FALSE(std::filesystem::exists(Work("?.vka")));
}

// Answering a "save first?" question says what became of the changes, in the environment's words.
TEST_F(BrowserTest, ASaveFirstAnswerSaysWhatBecameOfTheChanges) {
  for (const int32_t button : {2, 1}) {
    g_ide.dialogMode = 5;
    BrowserButtonAction(button);
    EXPECT_EQ(g_ide.statusText, button == 2 ? "Source saved" : "Changes not saved");
  }
  g_ide.dialogMode = 0;
}

// Make Program and Save As never offer to replace a file the program is made from: the other
// buffer's source, or either buffer's for Make Program (made yet or not), an included file
// (found as the compile finds it, from the project folder wherever the panel has gone) or the
// settings the compile reads. The panel says so and keeps the name. Save As over the source's own file is a plain save.
TEST_F(BrowserTest, MakeProgramAndSaveAsRefuseTheFilesTheProgramIsMadeFrom) {
  const char* const kFiles[][2] = {{"other.vka", "print 2\r\n"},
                                   {"lib.vka", "function f()\r\nendfunction\r\n"},
                                   {"game.vka", "#include LIB.vka\r\nprint 1\r\n"},
                                   {"notes", "notes"},
                                   {"SETUP.INI", "[SETTINGS]\r\nTEXTLANGUAGE-CHARSET=204\r\n"}};
  for (const auto& f : kFiles) dir_.Write(std::string("work/") + f[0], f[1]);
  std::filesystem::create_directory(Work("out"));
  for (const int32_t mode : {11, 2}) {
    for (const int32_t live : {1, 2}) {
      EditorSelectBuffer(3 - live, false);
      ASSERT_TRUE(BrowserLoadSource(Work("other.vka")));
      EditorSelectBuffer(live, false);
      ASSERT_TRUE(BrowserLoadSource(Work("game.vka")));
      for (const char* name : {"game.vka", "other.vka", "lib.vka", "notes", "SETUP.INI", "new.vka", "../lib.vka"}) {
        // Save As names a source: "notes" would be notes.VKA, and new.vka is its own name.
        if (mode == 2 && (std::string(name) == "notes" || std::string(name) == "new.vka")) continue;
        const bool refused = std::string(name) != "notes" && (mode == 11 || std::string(name) != "game.vka");
        if (std::string(name) == "new.vka") g_ide.fileName = name;  // a new source, not saved yet
        Open(mode, mode == 11 ? 6 : 3);
        for (size_t e = 0; name[0] == '.' && e < g_browser.entries.size(); ++e)
          if (g_browser.entries[e].real == "out") BrowserOpenEntry(int32_t(e + 1));
        BrowserSetField(1, name);
        BrowserPerformAction(BrowserButtonAction(2));
        EXPECT_EQ(g_ide.dialogMode, refused ? mode : mode == 11 ? 13 : 3) << mode << live << name;
        // Save As onto the other tab's source says that tab holds it.
        const int says = mode == 2 && std::string(name) == "other.vka" ? kDescOtherTabHolds : kDescOutputIsInput;
        EXPECT_EQ(g_browser.message, refused ? IdeText(IdeSection::Desc, says) : "") << mode << live << name;
        EXPECT_EQ(GetBrowserItem(1), name);
        BrowserClose();
      }
    }
  }
  for (const auto& f : kFiles) EXPECT_EQ(dir_.Read(std::string("work/") + f[0]), f[1]);
  EXPECT_FALSE(std::filesystem::exists(Work("new.vka")));
}

// Make Program with media never offers to replace a file it packs, and neither Make Program nor
// Save As (nor a plain save of a source opened from there) writes where the run's own --grab or
// --transcript goes (there yet or not, however spelt) or over its --input: the panel says why,
// on lines that fit its box, and the file stays.
TEST_F(BrowserTest, NoOutputIsAFileTheProgramPacksOrTheRunWrites) {
  Type("x = 1\n");
  g_ide.projectFolder = Work("");
  std::filesystem::create_directory(Work("media"));
  dir_.Write("work/media/backdrop.png", "picture");
  dir_.Write("work/log.txt", "log");
  g_runtime.options.grabFile = Work("media/../shot.png");
  g_runtime.options.transcriptFile = Work("log.txt");
  dir_.Write("work/in.txt", "script");
  g_runtime.options.inputGiven = Work("in.txt");
  const std::string grab = ": it is the run's --grab file", transcript = ": it is the run's --transcript file";
  const struct {
    int32_t mode, kind;
    const char* name;
    std::string says;
  } cases[] = {
      {12, 7, "media\\backdrop.png", IdeText(IdeSection::Desc, kDescOutputIsInput)},
      {11, 6, "shot.png", IdeText(IdeSection::Desc, kDescNotBuilt) + grab},
      {12, 7, "log.txt", IdeText(IdeSection::Desc, kDescNotBuilt) + transcript},
      {2, 3, "shot.png", IdeText(IdeSection::Desc, kDescNotSaved) + grab},
      {2, 3, "log.txt", IdeText(IdeSection::Desc, kDescNotSaved) + transcript},
      {11, 6, "in.txt", IdeText(IdeSection::Desc, kDescNotBuilt) + ": it is the run's --input file"},
  };
  for (const auto& c : cases) {
    Open(c.mode, c.kind);
    BrowserSetField(1, c.name);
    BrowserPerformAction(BrowserButtonAction(2));
    EXPECT_EQ(g_ide.dialogMode, c.mode) << c.name;
    EXPECT_EQ(g_browser.message, c.says) << c.name;
    std::string shown;
    for (const std::string& line : BrowserMessageLines(g_browser.message)) {
      EXPECT_LE(IdeTextWidth(line), 390) << line;
      shown += (shown.empty() ? "" : " ") + line;
    }
    EXPECT_EQ(shown, c.says);
    // Enter takes the message away, as a click does, and does no more.
    BrowserWindowMessage({MsgKind::KeyDown, kVkReturn, 0});
    EXPECT_EQ(g_browser.message, "") << c.name;
    EXPECT_TRUE(BrowserIsOpen()) << c.name;
    BrowserClose();
  }
  g_ide.fileName = "log.txt";
  IdeSaveSource();
  EXPECT_EQ(g_ide.statusText, IdeText(IdeSection::Desc, kDescNotSaved) + transcript);
  // Make Program alone packs no media: the picture is no input of it, and it asks.
  Open(11, 6);
  BrowserSetField(1, "media\\backdrop.png");
  BrowserPerformAction(BrowserButtonAction(2));
  EXPECT_EQ(g_ide.dialogMode, 13);
  BrowserClose();
  g_runtime.options.grabFile.clear();
  g_runtime.options.transcriptFile.clear();
  g_runtime.options.inputGiven.clear();
  EXPECT_EQ(dir_.Read("work/media/backdrop.png"), "picture");
  EXPECT_EQ(dir_.Read("work/log.txt"), "log");
  EXPECT_EQ(dir_.Read("work/in.txt"), "script");
  EXPECT_FALSE(std::filesystem::exists(Work("shot.png")));
}

// Enter in the Save As and Make Program panels ends the field's edit with the name typed (over
// an entry picked before); only the panel's button saves or makes.
TEST_F(BrowserTest, EnterEndsTheFieldAndOnlyTheButtonActs) {
  Type("x = 1");
  const struct {
    int32_t mode, kind;
    const char* name;
  } cases[] = {{2, 3, "saved.vka"}, {11, 6, "made"}, {12, 7, "made2"}};
  for (const auto& c : cases) {
    Open(c.mode, c.kind);
    BrowserSetChosenName("picked", "picked");
    for (const char* ch = c.name; *ch; ++ch) BrowserWindowMessage({MsgKind::Char, *ch, 0});
    BrowserWindowMessage({MsgKind::KeyDown, kVkReturn, 0});
    EXPECT_TRUE(BrowserIsOpen()) << c.name;
    EXPECT_EQ(g_browser.activeField, 0) << c.name;
    EXPECT_FALSE(std::filesystem::exists(Work(c.name))) << c.name;
    BrowserPerformAction(BrowserButtonAction(2));
    EXPECT_FALSE(BrowserIsOpen()) << c.name;
    EXPECT_TRUE(std::filesystem::exists(Work(c.name))) << c.name;
  }
  EXPECT_FALSE(std::filesystem::exists(Work("picked")));
}

// Replacing a program asks first; the "yes" keeps to what was asked for: the program alone
// from make-program, the project's media too from make-program-with-media, as a new name does.
TEST_F(BrowserTest, OnlyTheOverwriteOfAProgramWithMediaPacksTheMedia) {
  Type("x = 1\n");
  g_ide.projectFolder = Work("");
  dir_.Write("work/song.wav", std::string(5000, 'm'));
  struct {
    int32_t mode, kind, overwrite;
  } const cases[] = {{11, 6, 13}, {12, 7, 14}, {11, 6, 0}, {12, 7, 0}};
  std::vector<uintmax_t> sizes;
  for (const auto& c : cases) {
    std::filesystem::remove(Work("demo"));
    if (c.overwrite) dir_.Write("work/demo", "an older game");
    Open(c.mode, c.kind);
    BrowserSetField(1, "demo");
    BrowserPerformAction(BrowserButtonAction(2));
    ASSERT_EQ(g_ide.dialogMode, c.overwrite);
    if (c.overwrite) BrowserPerformAction(BrowserButtonAction(2));
    EXPECT_EQ(g_ide.statusText, IdeText(IdeSection::Desc, kDescBuilt)) << c.mode;
    sizes.push_back(std::filesystem::file_size(Work("demo")));
  }
  EXPECT_GE(sizes[1], sizes[0] + 5000);
  EXPECT_EQ(sizes[2], sizes[0]);
  EXPECT_EQ(sizes[3], sizes[1]);
}

// "Replace it?" and yes, then a disk that takes no more than a megabyte: the game there is
// kept and the status line says why.
TEST_F(BrowserTest, AProgramThatCannotBeWrittenKeepsTheOldOneAndSaysWhy) {
  Type("x = 1\n");
  dir_.Write("work/demo", "an older game");
  Open(11, 6);
  BrowserSetField(1, "demo");
  BrowserPerformAction(BrowserButtonAction(2));
  ASSERT_EQ(g_ide.dialogMode, 13);
  const std::string says = IdeText(IdeSection::Desc, kDescNotBuilt) + ": cannot write " + Work("demo") + ": file too large";
  ASSERT_FALSE(FsTempFolder().empty());  // made here, so the child leaves nothing behind
  EXPECT_EQ(RunWithFileSizeLimit(1 << 20, [&] {
              BrowserPerformAction(BrowserButtonAction(2));
              return g_ide.statusText == says ? 0 : 1;
            }),
            0);
  EXPECT_EQ(dir_.Read("work/demo"), "an older game");
  // So does a program whose text cannot be written for its compile (the check of the name
  // writes it first).
  g_fsWriteFaults = 2;
  Open(11, 6);
  BrowserSetField(1, "demo2");
  BrowserPerformAction(BrowserButtonAction(2));
  EXPECT_EQ(g_ide.statusText, IdeText(IdeSection::Desc, kDescNotBuilt) + ": disk full");
  EXPECT_FALSE(std::filesystem::exists(Work("demo2")));
  g_fsWriteFaults = 0;
  // A compile error names the user's file and line, not the text's work copy.
  g_ide.fileName = "game.vka";
  Type("y = (\n");
  Open(11, 6);
  BrowserSetField(1, "demo3");
  testing::internal::CaptureStderr();
  BrowserPerformAction(BrowserButtonAction(2));
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(said.rfind(Work("game.vka") + ":2: ", 0), 0u) << said;
  EXPECT_NE(g_ide.statusText.find(": game.vka:2: "), std::string::npos) << g_ide.statusText;
}

// A folder at the name is never offered for replacing: the panel says it is a folder.
TEST_F(BrowserTest, SaveAsOrMakeProgramOntoAFolderSaysItIsOne) {
  Type("x = 1\n");
  std::filesystem::create_directory(Work("box.vka"));
  const struct {
    int32_t mode, kind, desc;
  } cases[] = {{2, 3, kDescNotSaved}, {11, 6, kDescNotBuilt}};
  for (const auto& c : cases) {
    Open(c.mode, c.kind);
    BrowserSetField(1, "box.vka");
    BrowserApplySelection(c.mode == 2 ? 2 : 6);
    EXPECT_EQ(g_ide.dialogMode, c.mode);
    EXPECT_EQ(g_browser.message, IdeText(IdeSection::Desc, c.desc) + ": is a folder");
    EXPECT_TRUE(std::filesystem::is_directory(Work("box.vka")));
    BrowserClose();
  }
}

// A search that finds nothing says so, and the panel stays until the next click.
TEST_F(BrowserTest, FindingNothingSaysSo) {
  Type("cat\n");
  Open(21, 11);
  BrowserSetField(1, "zebra");
  BrowserPerformAction(21);
  EXPECT_EQ(g_ide.dialogMode, 23);
  EXPECT_EQ(g_browser.message, IdeText(IdeSection::Desc, kDescNotFound));
}

TEST_F(BrowserTest, ANewFolderNameThatIsTakenGetsANumber) {
  std::filesystem::create_directory(Work("New"));
  Open(1, 2);
  for (const char* made : {"New2", "New3"}) {
    ASSERT_TRUE(BrowserMakeFolder("New"));
    EXPECT_TRUE(std::filesystem::is_directory(Work(made)));
    BrowserBuildList();
  }
}

TEST_F(BrowserTest, ANewProjectOnAnExistingFolderOpensItsSourceOrSaysItHasNone) {
  std::filesystem::create_directories(Work("space"));
  std::filesystem::create_directories(Work("empty"));
  dir_.Write("work/space/space.vka", "print \"space\"\r\n");
  struct {
    const char* name;
    int desc;
    const char* file;
    const char* firstLine;
  } const cases[] = {
      {"space", kDescProjectOpened, "space.vka", "print \"space\""},
      {"empty", kDescNoProjectSource, "", ""},
      {"fresh", kDescProjectMade1, "fresh.vka", ""},
  };
  for (const auto& c : cases) {
    Open(31, 8);
    SetBrowserPath(Work(""));
    BrowserBuildList();
    BrowserSetField(1, c.name);
    BrowserPerformAction(BrowserButtonAction(2));
    EXPECT_EQ(g_ide.statusText.rfind(IdeText(IdeSection::Desc, c.desc), 0), 0u) << c.name << ": " << g_ide.statusText;
    EXPECT_EQ(g_ide.fileName, c.file);
    EXPECT_EQ(Line(0), c.firstLine);
    EXPECT_EQ(FsCurrentFolder(), Work(c.name));
    EXPECT_EQ(g_ide.dialogMode, 0);
  }
  EXPECT_TRUE(std::filesystem::exists(Work("fresh/fresh.vka")));
}

// A name outside the code page is shown with '?' yet opens the file it names.
TEST_F(BrowserTest, AnEntryOpensByItsRealName) {
  dir_.Write("work/\xe6\x97\xa5.vka", "print 7\r\n");
  Open(1, 2);
  ASSERT_EQ(g_browser.entries.size(), 2u);
  EXPECT_EQ(g_browser.entries[1].name, "?.vka");
  Click(40, kTrackY + kBrowserRowHeight + 4);
  Click(40, kTrackY + kBrowserRowHeight + 4);
  EXPECT_FALSE(BrowserIsOpen());
  EXPECT_EQ(Line(0), "print 7");
  EXPECT_EQ(g_ide.fileName, "\xe6\x97\xa5.vka");
}

// The "yes" of a save-first question saves over the file in place; a save that fails leaves
// the question's next step undone and says so.
TEST_F(BrowserTest, SaveFirstReplacesTheFileAndStopsWhenTheSaveFails) {
  dir_.Write("work/keep.vka", "old\r\n");
  ASSERT_TRUE(BrowserLoadSource(Work("keep.vka")));
  Type("new ");
  g_ide.modified = 1;
  Open(9, 4);
  g_fsWriteFaults = 1;
  BrowserPerformAction(BrowserButtonAction(2));
  EXPECT_EQ(dir_.Read("work/keep.vka"), "old\r\n");
  EXPECT_EQ(g_ide.dialogMode, 23);
  EXPECT_EQ(g_browser.message, IdeText(IdeSection::Desc, kDescNotSaved) + ": disk full");
  Click(1, 1);  // the click after the message closes the panel
  EXPECT_FALSE(BrowserIsOpen());
  g_fsWriteFaults = 1;  // F3 says it on the status line
  IdeSaveSource();
  EXPECT_EQ(g_ide.statusText, IdeText(IdeSection::Desc, kDescNotSaved) + ": disk full");
  Open(2, 3);  // so does the "yes" to replacing a file by Save As, and the panel stays
  BrowserSetField(1, "keep.vka");
  BrowserApplySelection(2);
  ASSERT_EQ(g_ide.dialogMode, 3);
  g_fsWriteFaults = 1;
  BrowserPerformAction(BrowserButtonAction(2));
  EXPECT_EQ(g_ide.dialogMode, 23);
  EXPECT_EQ(g_browser.message, IdeText(IdeSection::Desc, kDescNotSaved) + ": disk full");
  BrowserWindowMessage({MsgKind::KeyDown, kVkReturn, 0});  // Enter after the message closes it too
  EXPECT_FALSE(BrowserIsOpen());
  Open(9, 4);
  BrowserPerformAction(BrowserButtonAction(2));
  EXPECT_EQ(dir_.Read("work/keep.vka"), "new old\r\n");
  EXPECT_EQ(g_ide.modified, 0);
}

// Each "save first?" question: "yes" saves and "no" leaves the file, and either goes on with
// the command that asked: close, new project, open, the leave question, the recent file.
TEST_F(BrowserTest, EachSaveFirstAnswerGoesOnWithItsCommand) {
  dir_.Write("work/other.vka", "other\r\n");
  struct {
    void (*command)();
    int32_t asked, next;
    const char* fileAfter;
  } const cases[] = {
      {IdeMenuNew, kModeSaveBeforeClose, 0, ""},
      {IdeMenuNewProject, kModeSaveBeforeNewProject, kModeNewProject, "keep.vka"},
      {IdeMenuOpen, kModeSaveBeforeOpen, kModeOpen, "keep.vka"},
      {IdeMenuQuit, kModeSaveBeforeQuit, kModeQuit, "keep.vka"},
      {[] { IdeMenuOpenRecent(1); }, kModeSaveBeforeRecent, 0, "other.vka"},
  };
  for (const auto& c : cases) {
    for (const bool yes : {true, false}) {
      dir_.Write("work/keep.vka", "old\r\n");
      ASSERT_TRUE(BrowserLoadSource(Work("other.vka")));
      ASSERT_TRUE(BrowserLoadSource(Work("keep.vka")));  // the recent files: keep, other
      Type("new ");
      c.command();
      ASSERT_EQ(g_ide.dialogMode, c.asked);
      BrowserPerformAction(BrowserButtonAction(yes ? 2 : 3));
      EXPECT_EQ(dir_.Read("work/keep.vka"), yes ? "new old\r\n" : "old\r\n") << c.asked << yes;
      EXPECT_EQ(g_ide.dialogMode, c.next) << c.asked << yes;
      EXPECT_EQ(g_ide.fileName, c.fileAfter) << c.asked << yes;
      ResetBrowserItems();
      BrowserClose();
      g_ide.dialogMode = 0;
    }
  }
}

// A recent file is named in the panel in the code page, and opened by its name on disk.
TEST_F(BrowserTest, ARecentFileIsNamedInTheCodePage) {
  SetTextCodePage(1252);
  for (const bool there : {true, false}) {
    dir_.Write("work/\xC3\xA9.vka", "e\r\n");
    ASSERT_TRUE(BrowserLoadSource(Work("\xC3\xA9.vka")));
    IdeNewSource();
    if (!there) std::filesystem::remove(Work("\xC3\xA9.vka"));
    IdeMenuOpenRecent(0);
    EXPECT_EQ(GetBrowserItem(1), "\xE9.vka");
    EXPECT_EQ(g_ide.fileName, there ? "\xC3\xA9.vka" : "");
    ResetBrowserItems();
    BrowserClose();
    g_ide.dialogMode = 0;
  }
}

// A close asked by a stop signal (a shutdown that may not wait for an answer) asks nothing: the
// text goes into its recovery file, and the environment leaves to end by the signal; asked
// again with the same text it writes no other. The window's close button still asks.
TEST_F(BrowserTest, AStopSignalKeepsTheTextAndLeavesWithoutAQuestion) {
  dir_.Write("work/keep.vka", "old\r\n");
  ASSERT_TRUE(BrowserLoadSource(Work("keep.vka")));
  Type("new ");
  IdeWindowMessage({MsgKind::Close, 0, 0});
  EXPECT_EQ(g_ide.dialogMode, kModeSaveBeforeQuit);
  EXPECT_FALSE(std::filesystem::exists(Work("keep.vka.recovered")));
  for (int k = 0; k < 2; ++k) IdeWindowMessage({MsgKind::Close, 1, SIGINT});
  EXPECT_TRUE(QuitPosted());
  EXPECT_EQ(g_ide.stopSignal, SIGINT);
  EXPECT_EQ(dir_.Read("work/keep.vka.recovered"), "new old\r\n");
  EXPECT_FALSE(std::filesystem::exists(Work("keep.vka.recovered-2")));
  EXPECT_EQ(dir_.Read("work/keep.vka"), "old\r\n");
  EventsReset();
}

// The file kept at a stop signal gives way: to newer text kept at a hang-up after more typing
// (one file, the newest text), and at once to a save. An unmodified buffer gets no file, with
// or without copies made for a run.
TEST_F(BrowserTest, TheTextKeptAtAStopGivesWayToNewerTextAndToASave) {
  auto recovered = [&] {
    std::vector<std::string> names;
    for (const char* folder : {"work", "config/vellumark"})
      for (const auto& e : std::filesystem::directory_iterator(dir_.File(folder), std::filesystem::directory_options{}))
        if (e.path().filename().string().find(".recovered") != std::string::npos)
          names.push_back(e.path().filename().string());
    return names;
  };
  std::filesystem::create_directories(dir_.File("config/vellumark"));
  dir_.Write("work/keep.vka", "old\r\n");
  for (const char* step : {"hang-up", "save"}) {
    SCOPED_TRACE(step);
    ASSERT_TRUE(BrowserLoadSource(Work("keep.vka")));
    Type("new ");
    IdeWindowMessage({MsgKind::Close, 1, 0});
    ASSERT_EQ(recovered(), std::vector<std::string>{"keep.vka.recovered"});
    BrowserPerformAction(1);  // the question closed unanswered
    if (std::string(step) == "hang-up") {
      Type("more ");
      IdeSyncNotedWork();  // the frame after
      IdeWriteRecoveryFiles();
      EXPECT_EQ(recovered(), std::vector<std::string>{"keep.vka.recovered-2"});
      EXPECT_EQ(dir_.Read("work/keep.vka.recovered-2"), "new more old\r\n");
      std::filesystem::remove(Work("keep.vka.recovered-2"));
    } else {
      ASSERT_TRUE(BrowserSaveSource(Work("keep.vka")));
      EXPECT_EQ(recovered(), std::vector<std::string>{});
    }
  }
  ASSERT_TRUE(BrowserLoadSource(Work("keep.vka")));
  IdeKeepUnsavedForRun();
  IdeWriteRecoveryFiles();
  IdeDropUnsavedCopies();
  EXPECT_EQ(recovered(), std::vector<std::string>{});
}

// An ending at the hand-back from a run no copy could be made for (the work file the only
// one) keeps each buffer once and names one place for it: its work file, written anew.
TEST_F(BrowserTest, AnEndingAtTheHandBackNamesOnePlaceABuffer) {
  dir_.Write("config", "a file where the settings folder would be");
  const std::string workWas = g_runtime.workFileTmp, work2Was = g_runtime.workFileTmp2;
  g_runtime.workFileTmp = FsTempFolder() + "/workfile.tmp";  // the session's, as its start sets them
  g_runtime.workFileTmp2 = FsTempFolder() + "/workfil2.tmp";
  Type("print 1");  // no name: only the settings folder could take it
  IdeKeepUnsavedForRun();
  ASSERT_TRUE(EditorWriteWorkFiles());
  std::fflush(stderr);
  const int said = open(dir_.File("err.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), stderrWas = dup(2);
  ASSERT_GE(said, 0);
  dup2(said, 2);
  const bool all = IdeWriteRecoveryFiles();
  // An ending after that finds the text in the work file still: kept there only, not said again.
  const bool again = IdeWriteRecoveryFiles();
  dup2(stderrWas, 2);
  close(stderrWas);
  close(said);
  IdeDropUnsavedCopies();
  const std::string err = dir_.Read("err.txt");
  EXPECT_FALSE(all);
  EXPECT_FALSE(again);
  EXPECT_EQ(err.find("unsaved changes of"), err.rfind("unsaved changes of")) << err;
  EXPECT_NE(err.find("kept in " + EditorWorkFile(g_ide.currentBuffer)), std::string::npos) << err;
  g_runtime.workFileTmp = workWas;
  g_runtime.workFileTmp2 = work2Was;
}

TEST_F(BrowserTest, FieldKeysEditAroundTheCursor) {
  auto key = [](int vk) { BrowserWindowMessage({MsgKind::KeyDown, vk, 0}); };
  auto type = [](const std::string& t) {
    for (char c : t) BrowserWindowMessage({MsgKind::Char, static_cast<unsigned char>(c), 0});
  };
  struct {
    std::vector<int> keys;  // before typing "X"
    const char* result;
  } const cases[] = {
      {{}, "X"},                                    // everything selected: typing replaces it
      {{kVkLeft}, "abXc"},                          // a move ends the selection
      {{kVkLeft, kVkBack}, "aXc"},
      {{kVkLeft, kVkLeft, kVkDelete}, "aXc"},
      {{kVkRight, kVkRight}, "abcX"},               // the cursor stays inside the text
      {{kVkBack}, "X"},                             // Backspace on the selection empties it
  };
  for (const auto& c : cases) {
    Open(21, 11);
    BrowserSetField(1, "abc");
    for (int vk : c.keys) key(vk);
    type("X");
    EXPECT_EQ(GetBrowserItem(1), c.result);
    key(kVkReturn);  // Enter commits the field
    EXPECT_EQ(g_browser.activeField, 0);
    EXPECT_EQ(g_browser.fields[1].text, c.result);
    BrowserClose();
  }
}

TEST_F(BrowserTest, NewProjectButtonSaysSelectForAKnownFolderAndCancelGoesBack) {
  std::filesystem::create_directory(Work("Racer"));
  Open(31, 8);
  SetBrowserPath(Work(""));
  BrowserBuildList();
  for (const char* c : {"r", "a", "c", "e", "r"}) BrowserWindowMessage({MsgKind::Char, c[0], 0});
  EXPECT_EQ(g_browser.buttons[2].label, IdeText(IdeSection::General, kGeneralSelect));
  BrowserWindowMessage({MsgKind::Char, 's', 0});
  EXPECT_EQ(g_browser.buttons[2].label, IdeText(IdeSection::General, kGeneralNew));
  BrowserWindowMessage({MsgKind::KeyDown, kVkIdeEscape, 0});
  EXPECT_FALSE(BrowserIsOpen());
  EXPECT_EQ(g_ide.dialogMode, 0);
  EXPECT_EQ(FsCurrentFolder(), dir_.File("work"));
}

// Every kind draws, with a long list scrolled and dragged, a selection and a message.
TEST_F(BrowserTest, EveryKindDraws) {
  for (int i = 0; i < 40; ++i) dir_.Write("work/s" + std::to_string(i) + ".vka", "Rem * Title  : t\r\n");
  for (int32_t kind : {2, 3, 4, 6, 7, 8, 11, 12, 71, 72}) {
    Open(kind == 4 ? 3 : 1, kind);
    Click(40, kTrackY + 20);
    Click(398, 100);  // pages down the list
    g_ide.buttonHeld = true;
    g_ide.mouseY = g_browser.top + 150;
    g_browser.dragging = g_browser.listShown;
    for (int f = 0; f < 30; ++f) IdeRedraw();
    g_ide.buttonHeld = false;
    // The message's words are drawn in its box.
    const auto box = [] {
      std::vector<uint32_t> pixels;
      for (int32_t y = 210; y < 250; ++y)
        for (int32_t x = 120; x < 520; ++x) pixels.push_back(g_ide.gfx.screen->GetPixel(x, y));
      return pixels;
    };
    BrowserShowMessage(" ");
    IdeRedraw();
    const std::vector<uint32_t> empty = box();
    BrowserShowMessage("message");
    IdeRedraw();
    EXPECT_TRUE(box() != empty) << kind;
    BrowserClose();
    IdeRedraw();
  }
}

}  // namespace

namespace {

// "Yes" to a save-first question saves the buffer asked about (the other tab's too, into its own
// file), an unnamed one through Save As, whose save carries on with the action; Save As
// cancelled drops the action; a read-only source is never written and the action stops.
TEST_F(BrowserTest, YesSavesTheBufferAskedAboutAndGoesOn) {
  std::string readOnly = IdeText(IdeSection::Desc, kDescReadOnly);
  for (char& c : readOnly) c = char(std::toupper(static_cast<unsigned char>(c)));
  std::filesystem::create_directories(dir_.File("HELP"));
  dir_.Write("HELP/ex.vka", "print 4\r\n");
  g_ide.settings.helpFolder = dir_.File("HELP/");
  auto yes = [] { BrowserPerformAction(BrowserButtonAction(2)); };
  auto saveAs = [&](const char* name) {
    if (g_ide.dialogMode != kModeSaveAs) return;
    BrowserSetField(1, name);
    yes();
  };
  const struct {
    const char* name;
    bool shownNamed, shownChanged, otherNamed, otherChanged;
    std::function<void()> act;
    std::function<bool()> after;
  } cases[] = {
      {"exit, tab 2 named and changed: its file gets its text; the leave question follows", true, false, true, true,
       [&] { IdeMenuQuit(), yes(); },
       [&] { return dir_.Read("work/two.vka") == "print 2\r\n" && g_ide.dialogMode == kModeQuit; }},
      {"exit, both changed: each is saved, then the leave question", true, true, true, true,
       [&] { IdeMenuQuit(), yes(), yes(); },
       [&] {
         return dir_.Read("work/one.vka") == "print 1\r\n" && dir_.Read("work/two.vka") == "print 2\r\n" &&
                g_ide.dialogMode == kModeQuit;
       }},
      {"F2 over unnamed typed text: Save As, then the browser opens", false, true, true, false,
       [&] { IdeMenuOpen(), yes(), saveAs("typed.vka"); },
       [&] { return dir_.Read("work/typed.vka") == "print 1\r\n" && g_ide.dialogMode == kModeOpen; }},
      {"F2 over unnamed typed text: Save As cancelled, nothing opens, even after a later Save As", false, true, true,
       false,
       [&] {
         IdeMenuOpen(), yes();
         BrowserPerformAction(BrowserButtonAction(1));
         IdeOpenDialog(kModeSaveAs, 3);
         saveAs("later.vka");
       },
       [&] { return g_ide.dialogMode == 0 && !BrowserIsOpen() && g_ide.fileName == "later.vka"; }},
      {"example over unnamed tab 2: Save As, then the example loads in tab 2", true, false, false, true,
       [&] {
         IdeAskLoadExample("ex.vka");
         yes(), yes(), saveAs("kept2.vka");
       },
       [&] {
         return dir_.Read("work/kept2.vka") == "print 2\r\n" && g_ide.loadedBuffer == 2 && g_ide.fileName == "ex.vka";
       }},
      {"a recent file, named text changed: saved, then the chosen entry opens, though the save moved the list",
       true, true, true, false,
       [&] {
         dir_.Write("work/three.vka", "print 3\r\n");
         g_ide.recent.clear();
         AddRecentFile("one.vka", dir_.File("work"));
         AddRecentFile("three.vka", dir_.File("work"));
         IdeMenuOpenRecent(0), yes();
       },
       [&] { return dir_.Read("work/one.vka") == "print 1\r\n" && g_ide.fileName == "three.vka" && g_ide.editor.lines[0] == "print 3"; }},
      {"a recent file over unnamed typed text: Save As, then the chosen entry opens", false, true, true, false,
       [&] {
         g_ide.recent.clear();
         AddRecentFile("three.vka", dir_.File("work"));
         IdeMenuOpenRecent(0), yes(), saveAs("typed3.vka");
       },
       [&] { return dir_.Read("work/typed3.vka") == "print 1\r\n" && g_ide.fileName == "three.vka"; }},
      {"exit over a read-only source: refused, the file and the text kept, no leave question", true, true, true,
       false,
       [&] {
         chmod(Work("one.vka").c_str(), 0444);
         IdeMenuQuit(), yes();
       },
       [&] {
         const bool refused = g_browser.message == readOnly && g_ide.dialogMode == 23;
         Click(1, 1);
         return refused && dir_.Read("work/one.vka") == "old\r\n" && !BrowserIsOpen() && g_ide.modified &&
                g_ide.editor.lines[0] == "print 1";
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (const char* f : {"one.vka", "two.vka"}) {
      if (std::filesystem::exists(Work(f))) chmod(Work(f).c_str(), 0644);
      dir_.Write(std::string("work/") + f, "old\r\n");
    }
    if (BrowserIsOpen()) BrowserClose();
    g_ide.dialogMode = 0;
    g_ide.currentBuffer = g_ide.loadedBuffer = 1;
    EditorNewEmpty();
    g_ide.editor.lines = {"print 1"};
    g_ide.fileName = c.shownNamed ? "one.vka" : "";
    g_ide.projectFolder = dir_.File("work");
    g_ide.modified = c.shownChanged;
    g_ide.title = g_ide.author = g_ide.date = "";
    EditorBufferRecord& other = g_ide.records[1];
    other = EditorBufferRecord();
    other.used = true;
    other.buffer.lines = {"print 2"};
    other.fileName = c.otherNamed ? "two.vka" : "";
    other.projectFolder = dir_.File("work");
    other.modified = c.otherChanged;
    std::filesystem::current_path(dir_.File("work"));
    c.act();
    EXPECT_TRUE(c.after()) << g_ide.dialogMode << " " << g_browser.message;
  }
}

}  // namespace
