#pragma once
#include <cstdint>

// Timing and run state of the running program (reset by ResetInterpreter).
struct RunTiming {
  uint8_t timeSliceMode = 1;     // 1: slices end by time; 0: the program ends them (SYNC)
  uint8_t autoRefresh = 1;       // drawing handlers end the slice while it is set
  uint32_t sliceLength = 33;
  uint32_t sliceStart = 0;
  int32_t framePeriod = 25;
  uint32_t lastFrameTime = 0;
  int32_t commandCounter = 0;
  uint8_t escapeEndsProgram = 1;
  uint8_t systemKeysEnabled = 1;
  uint8_t autoBackdrop = 1;
  uint32_t scene3DAfter2D = 0;
  uint8_t spareFlags[3] = {0, 0, 0};
  int32_t pumpCounter = 0;
  double waitDeadline = -1.0;
  int32_t lineInputLength = -1;
  uint8_t ended = 0;             // set by the end command
};
extern RunTiming g_timing;

// Long-running handlers call this inside their loops: every 50000 calls it handles the
// waiting messages (a quit stays posted for the run loop).
void PumpMessagesOccasionally();
