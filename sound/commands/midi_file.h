#pragma once
// Standard MIDI files: the length of the song in milliseconds, through its tempo map, and the
// song inside a RIFF "RMID" wrapper.
#include <cstddef>
#include <cstdint>
#include <string_view>

// -1 when the bytes are not a well-formed standard MIDI file.
int64_t MidiFileLengthMs(const uint8_t* data, size_t size);
// The standard MIDI file a RIFF "RMID" file wraps (its "data" chunk); the bytes as they are when
// they are no such wrapper, or empty for a wrapper without a whole data chunk.
std::string_view MidiFileBody(std::string_view bytes);
