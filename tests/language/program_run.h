#pragma once
// Runs hand-assembled program images in-process, headless, on the virtual clock, and reads
// the variables back from the cells afterwards.
#include <gtest/gtest.h>

#include <string>

#include "core/cells.h"
#include "tests/support/image_builder.h"

class ProgramRun {
 public:
  ~ProgramRun();
  // Loads the image (false when the loader refuses it, error text in loadError).
  bool Load(const ImageBuilder& image);
  // Runs slices until the program stops or the slice limit is reached; true when it stopped.
  bool Run(int maxSlices = 2000);
  // Loads and runs; fails the test when the image is refused.
  bool LoadAndRun(const ImageBuilder& image, int maxSlices = 2000);

  static VarCell& Cell(int32_t operand) { return g_cells[operand - 10000]; }
  static int32_t Int(int32_t operand) { return Cell(operand).i; }
  static float Float(int32_t operand) { return Cell(operand).f; }
  static std::string Text(int32_t operand) { return Cell(operand).s ? Cell(operand).s : "<null>"; }

  std::string loadError;
  // Runs on the real clock, where the interpreter takes its fast path (fused follow-ups).
  bool realClock = false;
};

// The stored run-time error code and kind (0 error, 1 warning) of the last run.
int32_t LastErrorCode();
int LastErrorKind();
// Runs as a built game (warnings ignored) while set.
void SetBuiltGame(bool on);
