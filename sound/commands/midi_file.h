#pragma once
// Standard MIDI files: the length of the song in milliseconds, through its tempo map.
#include <cstddef>
#include <cstdint>

// -1 when the bytes are not a well-formed standard MIDI file.
int64_t MidiFileLengthMs(const uint8_t* data, size_t size);
