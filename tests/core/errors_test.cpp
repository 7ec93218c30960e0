#include <gtest/gtest.h>

#include <filesystem>

#include "core/errors.h"
#include "core/interp.h"
#include "core/run_state.h"
#include "platform/clipboard.h"
#include "platform/events.h"
#include "platform/ini.h"
#include "tests/support/temp_dir.h"

namespace {

class ErrorsTest : public testing::Test {
 protected:
  void SetUp() override {
    g_runtime = RuntimeState{};
    g_errorCode = 0;
    g_errorKind = 0;
    g_lastEngineError.clear();
    InitErrorTexts();
    EventsReset();
  }
  void TearDown() override {
    FreeErrorTexts();
    EventsReset();
    g_runtime = RuntimeState{};
  }
};

TEST_F(ErrorsTest, CodesMapToTheirSlots) {
  EXPECT_EQ(GetErrorText(0), "ERROR 1");
  EXPECT_EQ(GetErrorText(105), "ERROR 10");
  EXPECT_EQ(GetErrorText(1014), "ERROR 173");
  EXPECT_EQ(GetErrorText(7021), "ERROR 100");
  EXPECT_EQ(GetErrorText(10003), "ERROR 163");
  EXPECT_EQ(GetErrorText(9014), "ERROR 155");
  EXPECT_EQ(GetErrorText(4), "");      // a code without a slot
  EXPECT_EQ(GetErrorText(10009), "");
  EXPECT_EQ(GetErrorText(10008), "Language not found");
  EXPECT_EQ(GetErrorText(10010).rfind("Severe Exception! Report to ", 0), 0u);
}

TEST_F(ErrorsTest, MessagesNameTheKindAndAppendTheEngineText) {
  RunError(105);
  EXPECT_EQ(FormatErrorMessage(), "Runtime Error : ERROR 10. ");
  RunError(10003);
  g_lastEngineError = "no device";
  EXPECT_EQ(FormatErrorMessage(), "System Error : ERROR 163. no device");
  SetErrorSlotText(163, "The display could not be created");
  EXPECT_EQ(FormatErrorMessage(), "System Error : The display could not be created. no device");
}

TEST_F(ErrorsTest, ErrorsStopTheProgramAndWarningsOnlyInDevelopmentRuns) {
  LeaveSlice = 0;
  RunError(111);
  EXPECT_EQ(g_errorCode, 111);
  EXPECT_EQ(g_errorKind, 0);
  EXPECT_EQ(LeaveSlice, 1);
  EXPECT_TRUE(QuitPosted());

  EventsReset();
  g_errorCode = 0;
  RunError(3002);  // on the warning list
  EXPECT_EQ(g_errorCode, 3002);
  EXPECT_EQ(g_errorKind, 1);
  EXPECT_EQ(FormatErrorMessage().rfind("Runtime Warning : ", 0), 0u);

  EventsReset();
  g_errorCode = 0;
  LeaveSlice = 0;
  g_runtime.standalone = 1;
  RunError(3002);
  RunWarning(8000);
  EXPECT_EQ(g_errorCode, 0);
  EXPECT_EQ(LeaveSlice, 0);
  EXPECT_FALSE(QuitPosted());
  RunError(105);  // a real error still stops a built game
  EXPECT_EQ(g_errorCode, 105);
}

TEST_F(ErrorsTest, DebugModeLogsToTheProgramFolder) {
  TempDir dir;
  g_runtime.programFolder = dir.path() + "/";
  AppendErrorLog("not logged");
  EXPECT_FALSE(std::filesystem::exists(dir.path() + "/VK.LOG"));
  g_runtime.debugMode = 1;
  AppendErrorLog("Runtime Error : ERROR 10. ");
  std::string text = dir.Read("VK.LOG");
  EXPECT_NE(text.find("[ERRORLOG]"), std::string::npos);
  EXPECT_NE(text.find("RUNTIMEERROR ON "), std::string::npos);
  EXPECT_NE(text.find("=Runtime Error : ERROR 10. "), std::string::npos);
  // A second error in the same minute replaces the first.
  AppendErrorLog("second");
  text = dir.Read("VK.LOG");
  EXPECT_EQ(text.find("ERROR 10"), std::string::npos);
  EXPECT_NE(text.find("=second"), std::string::npos);
}

TEST_F(ErrorsTest, StateDumpListsOperandsByTypeAndStaysInsideTheCode) {
  VarCell cells[kCellCount] = {};
  g_cells = cells;
  char text[] = "hi";
  cells[3000].i = -7;             // integer variable
  cells[5000].f = 2.5f;           // float variable
  cells[7000].s = text;           // string variable
  CodeWord code[] = {42, reinterpret_cast<CodeWord>(&cells[3000]), reinterpret_cast<CodeWord>(&cells[5000]),
                     reinterpret_cast<CodeWord>(&cells[7000]), 0};
  CommandStream = code;
  g_codeWordCount = 4;  // the dump must not read the word after the code
  EXPECT_EQ(FormatProgramState(code), "Program Pointer: 0 of 4\nCommand Number:42\nP1:-7\nP2:2.5\nP3:hi\n");
  // An operand word reached as a command (a damaged image) shows its operand number.
  EXPECT_EQ(FormatProgramState(code + 1).substr(0, 47), "Program Pointer: 1 of 4\nCommand Number:13000\nP1");
  g_runtime.runtimeTest = 1;
  ProgramCounter = code + 1;
  RunError(105);
  EXPECT_EQ(ClipboardGetText().rfind("Program Pointer: 0 of 4", 0), 0u);
  EXPECT_EQ(ErrorSourcePrefix(), "");
  // A run from source: the line of the compiled text and the keyword, whose parameter
  // letters choose the operands shown; stderr gets the file and its own line.
  g_runtime.options.source = SourceMap{{6, 6, 6, 6}, {{1, "main.vka"}, {5, "lib.vka"}}, {{42, {"poke", "lfx"}}}};
  RunError(105);
  EXPECT_EQ(ClipboardGetText(), "Line Number:6\nCommand Number:42\nName:poke\nP1:-7\nP2:2.5\n");
  EXPECT_EQ(ErrorSourcePrefix(), "lib.vka:2: ");
  CommandStream = nullptr;
  ProgramCounter = nullptr;
  g_codeWordCount = 0;
  g_cells = nullptr;
}

TEST_F(ErrorsTest, DebugListingNumbersEveryLineWithoutZeroBytes) {
  TempDir dir;
  g_runtime.programFolder = dir.path() + "/";
  const char source[] = "print 1\r\nprint 2\nend";
  WriteDebugListing(source, sizeof source - 1);
  EXPECT_EQ(dir.Read("VK.VKA"), "Debug Output Script\n\n     1 : print 1\n     2 : print 2\n     3 : end\n");
}

}  // namespace
