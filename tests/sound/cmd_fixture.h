#pragma once
// The sound and music commands on an engine running on the manual-clock output: handlers called
// directly on operand cells, and sounds written as WAV files into a temporary folder.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "core/cells.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"

// One operand: an integer, a float, a text, or the result cell (Arg::Result(preset)).
using Arg = CallOperand;

struct CallOutcome {
  int32_t error = 0;
  VarCell result{};
};

class SoundCmdTest : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Runs one command; checks that it moved past its operands.
  CallOutcome Do(int number, std::initializer_list<Arg> args);
  int32_t Query(int number, int32_t n) { return Do(number, {Arg::Result(), n}).result.i; }
  // A 16-bit mono WAV of the values at the rate, written into the temporary folder.
  std::string Wav(const std::string& name, const std::vector<int16_t>& values, int32_t rate = 44100);
  // A tone of the given frames (loud throughout).
  static std::vector<int16_t> Tone(size_t frames, int16_t level = 8000);
  // Advances the manual output; returns the frames that came out (stereo interleaved).
  std::vector<int16_t> Play(uint32_t frames);
  static bool Silent(const std::vector<int16_t>& pcm);
  TempDir dir_;
};
