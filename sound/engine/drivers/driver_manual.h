#pragma once
// An output for tests: a manual play clock advanced by the caller, the output it "plays"
// collected frame by frame, and a capture input fed from the caller's data. The mixer and the
// recording run on the caller's thread as the clock moves, so results are exact and need no
// waiting.
#include <cstdint>
#include <vector>

// While installed, the engine starts on this output whatever output is set.
void ManualDriverInstall(bool on);
// Plays the next frames of the ring (adding them to the output), mixes the blocks that were
// played, lets the capture input take as many frames and the recording copy them.
void ManualDriverAdvance(uint32_t frames);
// Frames played so far, 16-bit stereo interleaved.
const std::vector<int16_t>& ManualDriverOutput();
void ManualDriverClearOutput();
// Bytes the capture input delivers, in the format recording asks for; silence after them.
void ManualDriverSetInput(std::vector<uint8_t> bytes);
// Frames of output latency: the ring length (the first ring of output is silence).
uint32_t ManualDriverLatency();
