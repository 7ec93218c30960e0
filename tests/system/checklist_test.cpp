// The checklist: emptying, filling and reading rows back with their checks.
#include <gtest/gtest.h>

#include "core/checklist.h"
#include "core/errors.h"
#include "tests/support/program_run.h"

namespace {

int32_t Read(int command, int32_t row, int32_t* value = nullptr) {
  CommandCall c;
  if (command == 9556) c.MarkText(0);
  c.cells[1].i = row;
  int32_t error = c.Run(command, 2);
  if (value) *value = c.cells[0].i;
  return error;
}

}  // namespace

TEST(Checklist, EmptyingClearsEveryRowAndTheFlags) {
  BeginChecklist(true, true);
  ChecklistRow* row = AddChecklistRow();
  ASSERT_NE(row, nullptr);
  row->a = 7;
  SetChecklistText(*row, "seven");
  g_checklist.made = 1;
  CommandCall empty;
  EXPECT_EQ(empty.Run(9501, 0), 0);
  EXPECT_EQ(g_checklist.rows[0].a, -1);
  EXPECT_EQ(g_checklist.rows[0].d, -1);
  EXPECT_STREQ(g_checklist.rows[0].text, "");
  CommandCall count;
  EXPECT_EQ(count.Run(9551, 1), 9005);
  EXPECT_EQ(Read(9552, 1), 9005);
  EXPECT_EQ(Read(9556, 1), 9005);
}

TEST(Checklist, ReadsCheckRowRangeKindAndCountInThatOrder) {
  ClearChecklist();
  BeginChecklist(true, true);
  g_checklist.made = 1;
  EXPECT_EQ(Read(9552, 1), 9002);  // made, but no rows
  for (int k = 0; k < 3; ++k) {
    ChecklistRow* row = AddChecklistRow();
    row->a = k;
    row->b = 10 + k;
    row->c = 20 + k;
    row->d = 30 + k;
    SetChecklistText(*row, std::to_string(k).c_str());
  }
  int32_t v = 0;
  CommandCall count;
  EXPECT_EQ(count.Run(9551, 1), 0);
  EXPECT_EQ(count.cells[0].i, 3);
  EXPECT_EQ(Read(9552, 2, &v), 0);
  EXPECT_EQ(v, 1);
  EXPECT_EQ(Read(9553, 3, &v), 0);
  EXPECT_EQ(v, 12);
  EXPECT_EQ(Read(9554, 1, &v), 0);
  EXPECT_EQ(v, 20);
  EXPECT_EQ(Read(9555, 3, &v), 0);
  EXPECT_EQ(v, 32);
  CommandCall text;
  text.MarkText(0);
  text.SetText(0, "old");
  text.cells[1].i = 2;
  EXPECT_EQ(text.Run(9556, 2), 0);
  EXPECT_EQ(text.TextOf(0), "1");
  EXPECT_EQ(Read(9552, 4), 9002);
  EXPECT_EQ(Read(9552, 0), 9001);
  EXPECT_EQ(Read(9556, 512), 9001);
  EXPECT_EQ(Read(9556, 511), 9002);
  EXPECT_EQ(g_errorKind, 0);  // none of these is a warning
  // A list of texts only (the drives) has no values to read.
  BeginChecklist(false, true);
  SetChecklistText(*AddChecklistRow(), "C:");
  EXPECT_EQ(Read(9552, 1), 9004);
  EXPECT_EQ(Read(9556, 1), 0);
  EXPECT_EQ(Read(9552, 600), 9001);
  BeginChecklist(true, false);
  AddChecklistRow();
  EXPECT_EQ(Read(9556, 1), 9003);
  EXPECT_EQ(Read(9555, 1), 0);
}

TEST(Checklist, FillersStopAt512RowsAndCutLongTexts) {
  ClearChecklist();
  BeginChecklist(true, true);
  int added = 0;
  while (AddChecklistRow()) ++added;
  EXPECT_EQ(added, kChecklistRows);
  EXPECT_EQ(g_checklist.count, kChecklistRows);
  std::string longText(400, 'x');
  SetChecklistText(g_checklist.rows[0], longText.c_str());
  EXPECT_EQ(std::string(g_checklist.rows[0].text), std::string(255, 'x'));
  // A new filler starts again from row 1 and keeps the old values it does not set.
  BeginChecklist(false, true);
  ChecklistRow* row = AddChecklistRow();
  EXPECT_EQ(row, &g_checklist.rows[0]);
  EXPECT_EQ(g_checklist.count, 1);
  ClearChecklist();
}

TEST(Checklist, ProgramStartEmptiesTheList) {
  BeginChecklist(true, true);
  AddChecklistRow();
  g_checklist.made = 1;
  ImageBuilder b;
  int32_t n = b.IntVar();
  b.Emit({9551, n});
  b.Emit({213});
  RunOutcome r = RunImage(b, RunFor(20));
  EXPECT_EQ(r.errorCode, 9005);
  EXPECT_EQ(r.status, 1);
}

TEST(InputFile, ABadOrMissingFileStopsTheStartWithSystemError10007) {
  ImageBuilder b;
  b.Emit({213});
  TestRun o = RunFor(20);
  o.input = "1 key A down\n2 key Nope down\n";
  RunOutcome r = RunImage(b, o);
  EXPECT_EQ(r.errorCode, 10007);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(g_lastEngineError.find("line 2"), std::string::npos) << g_lastEngineError;
  g_lastEngineError.clear();
}
