// The checklist: the one query result list of the runtime.
#include "core/checklist.h"

#include <cstring>

Checklist g_checklist;

void ClearChecklist() {
  g_checklist.made = g_checklist.hasValues = g_checklist.hasStrings = 0;
  g_checklist.count = 0;
  for (ChecklistRow& row : g_checklist.rows) row = ChecklistRow{};
}

void BeginChecklist(bool hasValues, bool hasStrings) {
  g_checklist.count = 0;
  g_checklist.hasValues = hasValues ? 1 : 0;
  g_checklist.hasStrings = hasStrings ? 1 : 0;
}

ChecklistRow* AddChecklistRow() {
  if (g_checklist.count < 0 || g_checklist.count >= kChecklistRows) return nullptr;
  return &g_checklist.rows[g_checklist.count++];
}

void SetChecklistText(ChecklistRow& row, const char* text) {
  size_t n = text ? std::strlen(text) : 0;
  if (n > sizeof row.text - 1) n = sizeof row.text - 1;
  if (n) std::memcpy(row.text, text, n);
  row.text[n] = 0;
}
