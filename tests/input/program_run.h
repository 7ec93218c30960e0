#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "core/interp.h"
#include "tests/support/image_builder.h"

// A hand-built program run by the tool's exec path: headless, on the virtual clock, for at
// most `frames` frames, with an --input file of the given text. The cells are copied when the
// run loop ends, so they can be read afterwards.
struct RunOptionsForTest {
  int64_t frames = 20;
  std::string input;        // text of the --input file ("" none)
  bool standalone = false;  // warnings ignored, as in a built game
};

struct RunOutcome {
  int status = 0;
  int32_t errorCode = 0;
  uint8_t errorKind = 0;
  int64_t frames = 0;
  uint8_t ended = 0;
  std::vector<int32_t> ints;                 // every cell's integer value
  std::map<int32_t, std::string> texts;      // string cells that hold a text
  int32_t Int(int32_t operand) const { return ints.at(size_t(operand - 10000)); }
  std::string Text(int32_t operand) const {
    auto it = texts.find(operand - 10000);
    return it == texts.end() ? std::string() : it->second;
  }
};

RunOutcome RunTestProgram(const ImageBuilder& image, const RunOptionsForTest& options);

// Calls one command's handler directly on operand cells (operand k = cells[k]). Returns the
// error code it raised (0 none) and checks that it moved past all its operands.
// String cells are marked as such (SetText, or MarkText for a result) and freed at the end.
struct CommandCall {
  VarCell cells[8];
  bool isText[8] = {};
  CommandCall() {
    for (VarCell& c : cells) c.raw = 0;  // all eight bytes: a string cell reads them all
  }
  int32_t Run(int number, int operandCount);
  void SetText(int k, const char* text);
  void MarkText(int k) { isText[k] = true; }
  std::string TextOf(int k) const { return cells[k].s ? cells[k].s : ""; }
  ~CommandCall();
};
// Clears the pending error and posted quit a handler left behind.
void ClearRunErrors();
