// Editor operations: selections, clipboard, undo, find and replace, block indentation, context
// help, and a whole editing session driven by messages.
#include "devenv/editor_selection.h"
#include "devenv/ide_shell.h"
#include "platform/clipboard.h"
#include "tests/devenv/editor_driver.h"

namespace {

class OperationsTest : public EditorTest {
 protected:
  void Load(const std::string& text) {
    dir_.Write("src.vka", text);
    ASSERT_TRUE(LoadSourceIntoEditor(dir_.File("src.vka")));
  }
  void Select(int r0, int c0, int r1, int c1) {
    g_ide.editor.sel = EditorSelection();
    g_ide.editor.cursorRow = r0;
    g_ide.editor.cursorCol = c0;
    EditorExtendSelection();
    g_ide.editor.cursorRow = r1;
    g_ide.editor.cursorCol = c1;
    EditorExtendSelection();
  }
};

TEST_F(OperationsTest, SelectionIsOrderedWhicheverWayItWasMade) {
  Load(std::string(12, '\n'));
  for (auto& l : g_ide.editor.lines) l = "0123456789";
  Select(10, 3, 8, 5);
  const EditorSelection& s = g_ide.editor.sel;
  EXPECT_EQ(s.startRow, 8);
  EXPECT_EQ(s.startCol, 5);
  EXPECT_EQ(s.endRow, 10);
  EXPECT_EQ(s.endCol, 3);
  EXPECT_TRUE(EditorIsSelected(9, 0));
  EXPECT_TRUE(EditorIsSelected(8, 5));
  EXPECT_FALSE(EditorIsSelected(8, 4));
  EXPECT_FALSE(EditorIsSelected(10, 3));
}

TEST_F(OperationsTest, MouseClickAndDragSelect) {
  Load("first line\nsecond line\nthird\n");
  g_ide.mouseX = 2;
  g_ide.mouseY = 43 + 13 + 5;  // row 1, column 0
  g_ide.clickPending = g_ide.buttonHeld = true;
  EditorMouseFrame();
  g_ide.mouseX = 2 + 3 * IdeGlyphWidth('x');
  g_ide.mouseY = 43 + 2 * 13 + 5;
  EditorMouseFrame();
  g_ide.buttonHeld = false;
  EditorMouseFrame();
  IdeCopy();
  EXPECT_EQ(ClipboardGetText(), "second line\nthi");
  EXPECT_FALSE(g_ide.editor.sel.dragging);
}

TEST_F(OperationsTest, CopyAtALineEndCarriesTheBreakAndTheClipboardReadsAnyLineEnd) {
  Load("abc\ndef\n");
  Select(0, 1, 0, 3);
  IdeCopy();
  g_ide.editor.sel = EditorSelection();
  g_ide.editor.cursorRow = 1;
  g_ide.editor.cursorCol = 0;
  IdePaste();
  EXPECT_EQ(Text(), "abc\nbc\ndef\n");
  for (const char* clip : {"x\r\ny", "x\ny", "x\ry"}) {
    Load("ab\n");
    ClipboardSetText(clip);
    g_ide.editor.cursorCol = 1;
    IdePaste();
    EXPECT_EQ(Text(), "ax\nyb\n") << clip;
    EXPECT_EQ(g_ide.editor.cursorRow, 1);
    EXPECT_EQ(g_ide.editor.cursorCol, 1);
  }
  // Lines that would not fit in the line table are refused whole.
  ClipboardSetText(std::string(kInitialLineCapacity, '\n'));
  IdePaste();
  EXPECT_EQ(Text(), "ax\nyb\n");
}

TEST_F(OperationsTest, UndoRestoresTheTextAndBringsTheCursorBack) {
  Load("short\n");
  IdeRecordUndo();
  g_ide.editor.lines = {"a much longer line", "and another", "and a third"};
  g_ide.editor.cursorRow = 2;
  g_ide.editor.cursorCol = 9;
  IdeUndo();
  EXPECT_EQ(Text(), "short\n");
  EXPECT_EQ(g_ide.editor.cursorRow, 0);
  EXPECT_EQ(g_ide.editor.cursorCol, 5);
  EXPECT_FALSE(g_ide.undoEnabled);
}

TEST_F(OperationsTest, FindWrapsOnceAndReplaceKeepsToTheSelection) {
  Load("Cat cat\ndog\nthe CAT\n");
  g_ide.editor.cursorRow = 1;
  EXPECT_EQ(EditorFindReplace("CAT", nullptr), 2);  // on the last line
  EXPECT_EQ(g_ide.searchText, "cat");
  EXPECT_EQ(g_ide.editor.cursorCol, 7);
  EXPECT_EQ(g_ide.editor.sel.startCol, 4);
  Key('N', false, true);  // find next wraps to the top
  EXPECT_EQ(g_ide.editor.cursorRow, 0);
  EXPECT_EQ(g_ide.editor.cursorCol, 3);
  EXPECT_EQ(EditorFindReplace("bird", nullptr), -1);
  EXPECT_EQ(EditorFindReplace("", nullptr), -1);

  const std::string replacement = "cats";
  Select(0, 2, 2, 5);  // "t cat", "dog", "the C"
  EXPECT_EQ(EditorFindReplace("cat", &replacement), 1);
  EXPECT_EQ(Text(), "Cat cats\ndog\nthe CAT\n");
  g_ide.editor.cursorRow = 1;
  g_ide.editor.cursorCol = 0;
  EXPECT_EQ(EditorFindReplace("cat", &replacement), 1);  // every match once, wrapping
  EXPECT_EQ(Text(), "cats catss\ndog\nthe cats\n");
  EXPECT_EQ(EditorFindReplace("zebra", &replacement), -1);

  // A selection reaching the last line, or ending at column 0 of it, does not wrap round to
  // the lines above it.
  struct {
    int endCol;
    const char* text;
  } const limits[] = {{3, "cat\ndog\ndog\n"}, {0, "cat\ndog\ncat\n"}};
  const std::string dog = "dog";
  for (const auto& c : limits) {
    Load("cat\ncat\ncat");
    Select(1, 0, 2, c.endCol);
    EXPECT_EQ(EditorFindReplace("cat", &dog), 1);
    EXPECT_EQ(Text(), c.text) << c.endCol;
  }

  // Replace All without a selection: a longer replacement moves the rest of the line along.
  struct {
    const char *text, *pattern, *replacement, *result;
  } const all[] = {{"cat cat", "cat", "tiger", "tiger tiger\n"}};
  for (const auto& c : all) {
    Load(c.text);
    const std::string replacement = c.replacement;
    EXPECT_EQ(EditorFindReplace(c.pattern, &replacement), 1);
    EXPECT_EQ(Text(), c.result) << c.text;
  }
}

TEST_F(OperationsTest, ContextHelpFindsTheLongestPhraseAtTheCursor) {
  dir_.Write("index.htm",
             "<A HREF=\"sync.htm\">SYNC</A><br><a href=\"syncon.htm\">sync on</a>"
             "<A HREF=\"print.htm\">PRINT</A>");
  g_ide.settings.helpFolder = dir_.path() + "/";
  std::string page;
  EXPECT_TRUE(ContextHelpLookup("Sync On", &page));
  EXPECT_EQ(page, "syncon.htm");
  struct Case {
    const char* line;
    int col;
    const char* page;
  } cases[] = {
      {"  sync on", 8, "syncon.htm"},               // second word of a two-word command
      {"sync", 2, "sync.htm"},
      {"x = 1 : print \"a:b\" ", 17, "print.htm"},  // ':' in a string does not end the statement
      {"x = 1 : y = 2", 10, "nocontex.htm"},
  };
  for (const Case& c : cases) {
    Load(std::string(c.line) + "\n");
    g_ide.editor.cursorCol = c.col;
    Key(kVkF1);
    EXPECT_EQ(g_ide.helpPage, c.page) << c.line;
  }
  g_ide.settings.helpFolder = dir_.path() + "/none/";
  Key(kVkF1);
  EXPECT_EQ(g_ide.helpPage, "nocontex.htm");
}

TEST_F(OperationsTest, AnEditingSessionDrivenByMessages) {
  Type("Rem test\nsync on\nprint cat\nend");
  Key(kVkUp, false, false, 2);
  Key(kVkHome);
  Key(kVkDown, true, false, 2);  // select "sync on" and "print cat"
  Key('X', false, true);
  EXPECT_EQ(Text(), "Rem test\nend\n");
  Key(kVkDown);
  Key(kVkEnd);
  Type("\n");
  Key('V', false, true);
  EXPECT_EQ(Text(), "Rem test\nend\nsync on\nprint cat\n\n");
  Type("x");
  Key(kVkLeft, true);
  Type("y");  // typing over a selection replaces it
  EXPECT_EQ(Text(), "Rem test\nend\nsync on\nprint cat\ny\n");
  Key('Z', false, true);  // back to before the typing over the selection
  EXPECT_EQ(Text(), "Rem test\nend\nsync on\nprint cat\nx\n");
  const std::string replacement = "dog";
  EditorFindReplace("CAT", &replacement);
  Key(kVkUp, false, false, 2);
  Key(kVkHome);
  Key(kVkDown, true, false, 2);
  Type("\t");  // indents the two selected lines, not the one the cursor is at the start of
  EXPECT_EQ(Text(), "Rem test\nend\n\tsync on\n\tprint dog\nx\n");
  g_ide.keysHeld[kVkShift] = true;
  Type("\t");
  g_ide.keysHeld[kVkShift] = false;
  Type("\t");
  g_ide.title = "Session";
  ASSERT_TRUE(SaveEditorBuffer(dir_.File("session.vka")));
  EXPECT_EQ(dir_.Read("session.vka"),
            "Rem * Title  : Session\r\nRem test\r\nend\r\n\tsync on\r\n\tprint dog\r\nx\r\n");
}

}  // namespace

namespace {

// A compile error's line: selected whole, cursor at its end, centred when off the pane; a line
// past the end (an error reported in an included file's lines) selects the last one.
TEST_F(OperationsTest, ErrorLineIsSelectedAndClampedToTheLastLine) {
  std::string text;
  for (int i = 0; i < 999; ++i) text += "x = 1\n";
  Load(text + "last");
  struct {
    int32_t line, row, top;
  } const cases[] = {{1200, 999, 984}, {3, 2, 0}};
  for (const auto& c : cases) {
    IdeSelectErrorLine(c.line);
    const EditorBuffer& e = g_ide.editor;
    EXPECT_EQ(e.cursorRow, c.row) << c.line;
    EXPECT_EQ(e.cursorCol, int32_t(e.lines[size_t(c.row)].size()));
    EXPECT_EQ(e.topLine, c.top);
    EXPECT_TRUE(EditorIsSelected(c.row, 0));
  }
}

}  // namespace
