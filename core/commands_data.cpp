// DATA, READ and RESTORE. The DATA items are the cells from 15000 on, typed by the loader's
// type letters; an item is consumed whether or not its type fits the target.
#include "core/commands.h"
#include "core/handler.h"
#include "core/language.h"
#include "core/loader.h"

namespace {

void CmdRestoreToLabel() {
  const intptr_t index = OpNumber(0) - kDataPositionBase;
  const intptr_t count = intptr_t(g_program.dataTypes.size());
  g_dataReadPosition = int32_t(index < 0 ? 0 : index > count ? count : index);
  ProgramCounter += 1;
}

void CmdRestore() { g_dataReadPosition = 0; }

// The item at the read position when it has the type letter t (nullptr otherwise); the
// position moves on unless the list is exhausted.
const VarCell* TakeItem(char t) {
  const int32_t p = g_dataReadPosition;
  if (p < 0 || size_t(p) >= g_program.dataTypes.size()) return nullptr;
  g_dataReadPosition = p + 1;
  return g_program.dataTypes[size_t(p)] == t ? &g_cells[kCellData + p] : nullptr;
}

void CmdReadInt() {
  VarCell* target = OpCell(0);
  const VarCell* item = TakeItem('l');
  int32_t* element = nullptr;
  if (item && IsIntVariableCell(target)) target->i = item->i;
  else if (item && (element = ElementRefInt(target))) *element = item->i;
  else target->i = 0;
  ProgramCounter += 1;
}

void CmdReadFloat() {
  VarCell* target = OpCell(0);
  const VarCell* item = TakeItem('f');
  float* element = nullptr;
  if (item && IsFloatVariableCell(target)) target->f = item->f;
  else if (item && (element = ElementRefFloat(target))) *element = item->f;
  else target->f = 0.0f;
  ProgramCounter += 1;
}

void CmdReadString() {
  VarCell* target = OpCell(0);
  const VarCell* item = TakeItem('s');
  char** element = nullptr;
  if (item && IsStringVariableCell(target)) StoreText(target, CellText(item));
  else if (item && (element = ElementRefString(target))) StoreElementText(element, CellText(item));
  else StoreText(target, "");
  ProgramCounter += 1;
}

const CommandDef kData[] = {
    {31, CmdRestoreToLabel, "d", AsFast<CmdRestoreToLabel>},
    {32, CmdRestore, "", AsFast<CmdRestore>},
    {33, CmdReadInt, "l", AsFast<CmdReadInt>},
    {34, CmdReadFloat, "f", AsFast<CmdReadFloat>},
    {35, CmdReadString, "s", AsFast<CmdReadString>},
};

}  // namespace

std::span<const CommandDef> DataCommands() { return kData; }
