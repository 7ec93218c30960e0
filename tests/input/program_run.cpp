#include "tests/input/program_run.h"

#include <gtest/gtest.h>

#include "core/cells.h"
#include "core/command_table.h"
#include "core/errors.h"
#include "core/run_state.h"
#include "core/strings.h"
#include "platform/events.h"
#include "runtime/command_families.h"
#include "runtime/run_loop.h"
#include "runtime/startup.h"

namespace {

RunOutcome* g_outcome = nullptr;

void CopyCells() {
  if (!g_outcome || !g_cells) return;
  g_outcome->ints.resize(kCellCount);
  for (int c = 0; c < kCellCount; ++c) g_outcome->ints[size_t(c)] = g_cells[c].i;
  for (int c : {kCellStringTemp, kCellStringVar}) {
    for (int k = c; k < c + 1000; ++k)
      if (g_cells[k].s) g_outcome->texts[k] = g_cells[k].s;
  }
  g_outcome->frames = g_runtime.framesRun;
  g_outcome->ended = g_timing.ended;
}

}  // namespace

RunOutcome RunTestProgram(const ImageBuilder& image, const RunOptionsForTest& options) {
  static int serial = 0;
  const std::string base = testing::TempDir() + "vk_input_" + std::to_string(getpid()) + "_" + std::to_string(++serial);
  RunOutcome outcome;
  EXPECT_TRUE(image.WriteFile(base + ".img"));
  RunOptions run;
  run.headless = true;
  run.virtualClock = true;
  run.frames = options.frames;
  run.standalone = options.standalone;
  if (!options.input.empty()) {
    run.inputFile = base + ".txt";
    FILE* f = std::fopen(run.inputFile.c_str(), "wb");
    std::fwrite(options.input.data(), 1, options.input.size(), f);
    std::fclose(f);
  }
  g_outcome = &outcome;
  g_afterRunHook = CopyCells;
  outcome.status = RunImageFile(base + ".img", run);
  g_afterRunHook = nullptr;
  g_outcome = nullptr;
  outcome.errorCode = g_errorCode;
  outcome.errorKind = g_errorKind;
  std::remove((base + ".img").c_str());
  if (!run.inputFile.empty()) std::remove(run.inputFile.c_str());
  return outcome;
}

int32_t CommandCall::Run(int number, int operandCount) {
  CodeWord words[10] = {};
  words[0] = number;
  for (int k = 0; k < operandCount && k < 8; ++k) words[k + 1] = reinterpret_cast<CodeWord>(&cells[k]);
  ClearRunErrors();
  if (!g_commandTable[number]) InitCommandTable();
  ProgramCounter = words + 1;
  g_commandTable[number]();
  EXPECT_EQ(ProgramCounter, words + 1 + operandCount) << "command " << number << " left its counter elsewhere";
  ProgramCounter = nullptr;
  return g_errorCode;
}

void CommandCall::SetText(int k, const char* text) {
  MarkText(k);
  SetCellString(&cells[k], text);
}

CommandCall::~CommandCall() {
  for (int k = 0; k < 8; ++k)
    if (isText[k]) FreeString(cells[k].s);
}

void ClearRunErrors() {
  g_errorCode = 0;
  g_errorKind = 0;
  LeaveSlice = 0;
  EventsReset();
}
