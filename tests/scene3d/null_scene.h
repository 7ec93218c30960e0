#pragma once
#include <gtest/gtest.h>

#include <initializer_list>

#include "tests/support/program_run.h"

// A clean 3D scene on the null device, as a run's start leaves it: the display's, the mesh and
// the scene's pools made, each with its record 0 taken (0 stands for none). Fixtures of the 3D
// command families derive from it and add their own objects.
class NullSceneTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Runs handler `number` on the operands; the error it raised (0 none).
  static int32_t Run(std::initializer_list<CallOperand> operands, int number);
};
