// The checklist commands: empty it, read the count, the four values and the text of a row.
#include "core/checklist.h"
#include "core/handler.h"
#include "system/commands.h"

namespace {

// The checks of every row read, in order; the row when they pass, else nullptr.
const ChecklistRow* CheckedRow(int32_t row, bool wantsText) {
  if (!g_checklist.made) {
    RunError(kErrChecklistNotMade);
    return nullptr;
  }
  if (row < 1 || row > kChecklistRows - 1) {
    RunError(kErrChecklistRowOutOfRange);
    return nullptr;
  }
  if (wantsText ? !g_checklist.hasStrings : !g_checklist.hasValues) {
    RunError(wantsText ? kErrChecklistWithoutTexts : kErrChecklistWithoutValues);
    return nullptr;
  }
  if (row > g_checklist.count) {
    RunError(kErrChecklistRowBeyondCount);
    return nullptr;
  }
  return &g_checklist.rows[row - 1];
}

void CmdEmptyChecklist() { ClearChecklist(); }

void CmdChecklistCount() {
  if (!g_checklist.made) RunError(kErrChecklistNotMade);
  else OpCell(0)->i = g_checklist.count;
  SkipOperands(1);
}

template <int32_t ChecklistRow::*Field>
void CmdChecklistValue() {
  if (const ChecklistRow* row = CheckedRow(OpInt(1), false)) OpCell(0)->i = row->*Field;
  SkipOperands(2);
}

void CmdChecklistString() {
  if (const ChecklistRow* row = CheckedRow(OpInt(1), true)) SetCellString(OpCell(0), row->text);
  SkipOperands(2);
}

const CommandDef kChecklistCommands[] = {
    {9501, CmdEmptyChecklist, ""},
    {9551, CmdChecklistCount, "l"},
    {9552, CmdChecklistValue<&ChecklistRow::a>, "ll"},
    {9553, CmdChecklistValue<&ChecklistRow::b>, "ll"},
    {9554, CmdChecklistValue<&ChecklistRow::c>, "ll"},
    {9555, CmdChecklistValue<&ChecklistRow::d>, "ll"},
    {9556, CmdChecklistString, "sl"},
};

}  // namespace

std::span<const CommandDef> ChecklistCommands() { return kChecklistCommands; }
