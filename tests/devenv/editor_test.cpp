// The source editor: keys and typed characters, caret arithmetic, drawing and source files.
#include <sys/stat.h>
#include <unistd.h>

#include "devenv/ide_texts.h"
#include "platform/fs.h"
#include "tests/devenv/editor_driver.h"

namespace {

TEST_F(EditorTest, TypingEnterBackspaceAndDeleteAtLineEnds) {
  Type("ab\ncd");
  EXPECT_EQ(Text(), "ab\ncd\n");
  Key(kVkHome);
  Type("\b");  // at column 0: joins with the line above
  EXPECT_EQ(Text(), "abcd\n");
  EXPECT_EQ(g_ide.editor.cursorCol, 2);
  Key(kVkEnd);
  Type("\n\n");
  Key(kVkUp);
  Key(kVkDelete);  // at a line end: the next line comes up
  EXPECT_EQ(Text(), "abcd\n\n");
  Key(kVkDown);
  Key(kVkDelete);  // at the end of the last line: nothing
  Key(kVkUp, false, false, 5);
  Key(kVkHome);
  Type("\b");  // at the start of the first line: nothing
  EXPECT_EQ(Text(), "abcd\n\n");
  EXPECT_EQ(g_ide.modified, 1);
  Type("\n");  // Enter at column 0 carries the whole line down, no indentation
  EXPECT_EQ(Text(), "\nabcd\n\n");
  EXPECT_EQ(g_ide.editor.cursorRow, 1);
}

TEST_F(EditorTest, CaretFollowsTabStopsWidthsAndScrollsSideways) {
  const int32_t w = IdeGlyphWidth('x');
  Type("\tx");
  EXPECT_EQ(g_ide.editor.caretX, 24 + w);
  Key(kVkHome);
  EXPECT_EQ(g_ide.editor.caretX, 2);
  Key(kVkEnd);
  Type(std::string(200, 'x'));  // past x 617 the view moves by at least 31 characters
  EXPECT_GE(g_ide.editor.firstColumn, 31);
  EXPECT_LT(g_ide.editor.caretX, 618);
  Key(kVkHome);
  EXPECT_EQ(g_ide.editor.firstColumn, 0);
  Key(kVkDown);  // no next line: nothing
  EXPECT_EQ(g_ide.editor.cursorRow, 0);
}

TEST_F(EditorTest, CommentAndSelectionBandsArePainted) {
  EXPECT_EQ(EditorLineColourBand("   REMSTART"), 1792);
  EXPECT_EQ(EditorLineColourBand("remark"), 1792);
  EXPECT_EQ(EditorLineColourBand("\t` note"), 1792);
  EXPECT_EQ(EditorLineColourBand("print 1 ` rem"), 0);
  Type("rem MMMM\nprint MMMM");
  const PixelFormat& f = g_ide.gfx.format;
  auto countInk = [&](int32_t row, uint32_t rgb) {
    int n = 0;
    for (int32_t y = 43 + 13 * row; y < 56 + 13 * row; ++y)
      for (int32_t x = 0; x < 200; ++x) n += g_ide.gfx.screen->GetPixel(x, y) == PixelFromRgb(f, rgb);
    return n;
  };
  EXPECT_GT(countInk(0, 0xFFFFD2), 0);  // comment colour
  EXPECT_EQ(countInk(0, 0xFFFFFF), 0);
  EXPECT_GT(countInk(1, 0xFFFFFF), 0);  // editor text
  Key(kVkHome, true);  // selected: white cells with dark text
  EXPECT_GT(countInk(1, 0xFFFFFF), 6 * 13 * IdeGlyphWidth('M'));
}

TEST_F(EditorTest, PagingAndGoingToTheEnd) {
  for (int i = 0; i < 10; ++i) Type("line\n");
  EditorGoToEnd();  // fewer than 32 lines: the view stays at the top
  EXPECT_EQ(g_ide.editor.topLine, 0);
  EXPECT_EQ(g_ide.editor.cursorRow, 10);
  for (int i = 0; i < 80; ++i) Type("more\n");
  EditorGoToTop();
  Key(kVkPageDown);
  EXPECT_EQ(g_ide.editor.topLine, 31);
  Key(kVkPageDown);  // near the end: the last line on the bottom row, the cursor on it
  EXPECT_EQ(g_ide.editor.topLine, 91 - 32);
  EXPECT_EQ(g_ide.editor.cursorRow, 90);
  Key(kVkPageUp, false, false, 2);
  EXPECT_EQ(g_ide.editor.topLine, 0);
  EXPECT_EQ(g_ide.editor.cursorRow, 0);
  Key(kVkDown, false, false, 33);  // the pane follows the cursor one row at a time
  EXPECT_EQ(g_ide.editor.topLine, 2);
  EXPECT_EQ(g_ide.editor.caretY, 43 + 13 * 31);
}

TEST_F(EditorTest, HeaderLinesAndLineEndsWhenReading) {
  struct Case {
    const char* file;
    const char* title;
    const char* text;
  } cases[] = {
      {"Rem * Title  : Space\r\nRem * Author : Me\r\nprint 1\r\n", "Space", "print 1\n"},
      {"Rem * Title : short\r\nx\r\n", "", "Rem * Title : short\nx\n"},  // colon not the 14th
      {"a\nb\r\nc\rd", "", "a\nb\nc\nd\n"},                                    // LF, CR LF, CR
      {"a\n\nb\n", "", "a\n\nb\n"},                                            // lone LFs keep blank lines
      {"Rem * Title  :\nx\n", "", "x\n"},                                      // an empty field ends at its line
      {"start_program:\nx\n", "", "start_program:\nx\n"},                     // a label is no field
      {"Rem * Title  : T\n", "T", "\n"},                                       // nothing left: one line
  };
  for (const Case& c : cases) {
    dir_.Write("in.vka", c.file);
    g_ide.title.clear();
    ASSERT_TRUE(LoadSourceIntoEditor(dir_.File("in.vka")));
    EXPECT_EQ(g_ide.title, c.title) << c.file;
    EXPECT_EQ(Text(), c.text) << c.file;
  }
  EXPECT_EQ(g_ide.editor.cursorRow, 0);
  EXPECT_FALSE(LoadSourceIntoEditor(dir_.File("missing.vka")));
  EXPECT_EQ(Text(), "\n");  // a failed load leaves the buffer
  EXPECT_TRUE(IsSourceFileName("a/B.VKA"));
  EXPECT_FALSE(IsSourceFileName("a.vka/b"));
}

// Lines end where the compiler ends them (CR, LF, NUL): every other byte stays in its line
// through a load and a save, in a field too.
TEST_F(EditorTest, ASaveKeepsEveryLineAsTheCompilerReadsIt) {
  const struct {
    std::string file, saved;
  } cases[] = {
      {"print 1\r\nrem note\x01print 666\r\nprint 2\r\n", "print 1\r\nrem note\x01print 666\r\nprint 2\r\n"},
      {std::string("a\x0c\x08\x0b b\0c\n", 9), "a\x0c\x08\x0b b\r\nc\r\n"},
      {"Rem * Title  : a\x01\tb\r\nprint 1\r\n", "Rem * Title  : a\x01\tb\r\nprint 1\r\n"},
  };
  for (const auto& c : cases) {
    dir_.Write("in.vka", c.file);
    ASSERT_TRUE(LoadSourceIntoEditor(dir_.File("in.vka")));
    ASSERT_TRUE(SaveEditorBuffer(dir_.File("out.vka")));
    EXPECT_EQ(dir_.Read("out.vka"), c.saved);
  }
}

TEST_F(EditorTest, SavingWritesHeaderLinesAndAFailedSaveKeepsTheOldFile) {
  dir_.Write("game.vka", "Rem * Title  : Old\r\nRem * Date   : 1999\r\nold text\r\n");
  ASSERT_TRUE(LoadSourceIntoEditor(dir_.File("game.vka")));
  EXPECT_EQ(g_ide.author, "1999");  // fields are taken in order, whatever their label
  g_ide.title = "Space";
  g_ide.author = "Me";
  g_ide.date.clear();
  Key(kVkEnd);
  Type("\nnew");
  const std::string old = dir_.Read("game.vka");
  for (int32_t* fault : {&g_fsWriteFaults, &g_fsFlushFaults}) {  // a full disk; a disk that did not take it
    *fault = 1;
    EXPECT_FALSE(SaveEditorBuffer(dir_.File("game.vka")));
    *fault = 0;
    EXPECT_EQ(dir_.Read("game.vka"), old);
    EXPECT_NE(g_ide.statusText, IdeText(IdeSection::Desc, kDescSaved));
  }
  EXPECT_FALSE(SaveEditorBuffer(dir_.path()));  // a folder is never replaced
  if (geteuid() != 0) {
    mkdir(dir_.File("ro").c_str(), 0700);
    dir_.Write("ro/x.vka", "keep");
    chmod(dir_.File("ro").c_str(), 0500);
    EXPECT_FALSE(SaveEditorBuffer(dir_.File("ro/x.vka")));
    chmod(dir_.File("ro").c_str(), 0700);
    EXPECT_EQ(dir_.Read("ro/x.vka"), "keep");
  }
  ASSERT_TRUE(SaveEditorBuffer(dir_.File("game.vka")));
  EXPECT_EQ(dir_.Read("game.vka"), "Rem * Title  : Space\r\nRem * Author : Me\r\nold text\r\nnew\r\n");
  EXPECT_EQ(g_ide.statusText, IdeText(IdeSection::Desc, kDescSaved));

  dir_.Write("new.vka", "Rem * Title  : Template\r\nprint \"hi\"\r\n");
  ASSERT_TRUE(NewSourceFromTemplate(dir_.File("new.vka")));
  EXPECT_EQ(dir_.Read("new.vka"), "Rem * Title  : Space\r\nRem * Author : Me\r\nprint \"hi\"\r\n");
}

TEST_F(EditorTest, TwoBuffersKeepTheirTextCursorAndFile) {
  EditorSelectBuffer(1, false);
  Type("first");
  g_ide.fileName = "one.vka";
  g_ide.currentBuffer = 2;
  EditorSelectBuffer(2, true);
  EXPECT_EQ(Text(), "\n");
  EXPECT_EQ(g_ide.fileName, "");
  Type("second\nline");
  EXPECT_TRUE(IdeBufferTabClick(460, 10));
  EXPECT_EQ(g_ide.currentBuffer, 1);
  EXPECT_EQ(Text(), "first\n");
  EXPECT_EQ(g_ide.fileName, "one.vka");
  EXPECT_EQ(g_ide.editor.cursorCol, 5);
  EXPECT_TRUE(IdeBufferTabClick(480, 10));
  EXPECT_EQ(Text(), "second\nline\n");
  EXPECT_EQ(g_ide.editor.cursorRow, 1);
  EXPECT_FALSE(IdeBufferTabClick(480, 40));
}

}  // namespace

namespace {

TEST_F(EditorTest, WorkFilesCarryBothBuffersToTheNextCreation) {
  g_runtime.workFileTmp = dir_.File("workfile.tmp");
  g_runtime.workFileTmp2 = dir_.File("workfil2.tmp");
  dir_.Write("start.vka", "Rem * Title  : Start\r\nprint 1\r\n");
  EditorCreateBuffers(dir_.File("start.vka"));
  EXPECT_EQ(g_ide.fileName, "start.vka");
  EXPECT_EQ(Text(), "print 1\n");
  EXPECT_TRUE(IdeBufferTabClick(480, 10));
  Type("Rem * Title  : looks like a header\nsecond");
  EXPECT_TRUE(IdeBufferTabClick(460, 10));
  std::string cause;
  g_fsWriteFaults = 1;
  EXPECT_FALSE(EditorWriteWorkFiles(&cause));
  EXPECT_EQ(cause, "disk full");  // the current buffer's, said at F5
  EXPECT_EQ(IdeText(IdeSection::Desc, kDescWorkFileNotWritten), "The work file could not be written");
  ASSERT_TRUE(EditorWriteWorkFiles(&cause));
  EXPECT_EQ(cause, "");
  g_ide.records[0] = g_ide.records[1] = EditorBufferRecord();
  g_ide.loadedBuffer = 0;
  EditorCreateBuffers("");
  EXPECT_EQ(Text(), "print 1\n");
  EXPECT_EQ(g_ide.title, "Start");
  EditorSelectBuffer(2, true);
  EXPECT_EQ(Text(), "Rem * Title  : looks like a header\nsecond\n");
  EXPECT_EQ(g_ide.title, "");
  g_runtime.workFileTmp.clear();
  g_runtime.workFileTmp2.clear();
}

// A work file that could not be written is not read back, and its older text is gone: each
// buffer keeps the text it had.
TEST_F(EditorTest, AWorkFileNotWrittenIsNotReadBack) {
  g_runtime.workFileTmp = dir_.File("workfile.tmp");
  g_runtime.workFileTmp2 = dir_.File("workfil2.tmp");
  EditorCreateBuffers("");
  EXPECT_TRUE(IdeBufferTabClick(480, 10));
  Type("sec");
  EXPECT_TRUE(IdeBufferTabClick(460, 10));
  Type("fir");
  ASSERT_TRUE(EditorWriteWorkFiles());
  Type("st");
  EXPECT_TRUE(IdeBufferTabClick(480, 10));
  Type("ond");
  EXPECT_TRUE(IdeBufferTabClick(460, 10));
  g_fsWriteFaults = 2;
  EXPECT_FALSE(EditorWriteWorkFiles());
  EXPECT_FALSE(std::filesystem::exists(g_runtime.workFileTmp));
  EXPECT_FALSE(std::filesystem::exists(g_runtime.workFileTmp2));
  EditorCreateBuffers("");
  EXPECT_EQ(Text(), "first\n");
  EditorSelectBuffer(2, true);
  EXPECT_EQ(Text(), "second\n");
  // Written whole, a work file is what the next creation reads.
  EditorSelectBuffer(1, true);
  ASSERT_TRUE(EditorWriteWorkFiles());
  dir_.Write("workfile.tmp", "Rem * Title  : \r\nRem * Author : \r\nRem * Date   : \r\nas written\r\n");
  EditorCreateBuffers("");
  EXPECT_EQ(Text(), "as written\n");
  g_runtime.workFileTmp.clear();
  g_runtime.workFileTmp2.clear();
}

}  // namespace
