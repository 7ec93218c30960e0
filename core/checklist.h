#pragma once
#include <cstdint>

// The one query result list of the runtime: a filling command empties it, adds one row per
// item and marks what the rows hold; the program reads rows 1..511 back.
inline constexpr int kChecklistRows = 512;

struct ChecklistRow {
  int32_t a = -1, b = -1, c = -1, d = -1;
  char text[256] = {};
};

struct Checklist {
  uint8_t made = 0, hasValues = 0, hasStrings = 0;
  int32_t count = 0;
  ChecklistRow rows[kChecklistRows];
};
extern Checklist g_checklist;

// Empties the list as the empty-checklist command does: flags and count 0, every row -1 and "".
void ClearChecklist();
// A filler starts: row count 0 and the two kind flags; the rows keep their old contents.
void BeginChecklist(bool hasValues, bool hasStrings);
// The next row (its old values kept) with the count moved on; nullptr once 512 rows are full.
ChecklistRow* AddChecklistRow();
// Sets a row's text, cut to 255 characters.
void SetChecklistText(ChecklistRow& row, const char* text);
