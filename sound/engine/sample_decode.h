#pragma once
// Decoding of packed sample data: blocks of variable-width delta codes.
#include <cstdint>

// Decodes count 8-bit (wide false) or 16-bit values from source (sourceBytes long, never read
// past) into dest, which is zeroed first. Second order sums the deltas twice. Stops at the first
// damaged block, keeping what was decoded; returns false then.
bool DecodePackedSamples(const uint8_t* source, uint32_t sourceBytes, uint8_t* dest, uint32_t count,
                         bool wide, bool secondOrder);
