#pragma once
#include <functional>

#include "core/run_state.h"
#include "tests/support/image_builder.h"

// Runs a built image through the tool's exec path (headless, virtual clock by default).
// install runs once the command table is set up, to put test commands in place.
struct TestRun {
  int64_t frames = -1;
  bool standalone = false;
  bool virtualClock = true;
  bool debug = false;
  bool windowed = false;  // a window on the video driver the test runs with, not headless
  std::function<void()> install;
  std::function<void()> afterRun;  // before anything is released
};
int RunTestImage(const ImageBuilder& image, const TestRun& run);

// Puts a test command into the command table (operand kinds as the loader checks them).
#include "core/command_table.h"
inline void InstallTestCommand(int number, CommandHandler handler, const char* operands) {
  g_commandTable[number] = handler;
  g_commandOperands[number] = operands;
}
