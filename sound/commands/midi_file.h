#pragma once
// Standard MIDI files: the length of the song in milliseconds, through its tempo map, and the
// song inside a RIFF "RMID" wrapper.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// -1 when the bytes are not a well-formed standard MIDI file; for bytes that begin as one, *why
// (when given) then says what is wrong ("damaged: MIDI track 2 of 3 runs past the end of the
// file") or not supported, and is "" for bytes that are no MIDI file at all.
int64_t MidiFileLengthMs(const uint8_t* data, size_t size, std::string* why = nullptr);
// The standard MIDI file a RIFF "RMID" file wraps (its "data" chunk, cut at the end of the
// file); the bytes as they are when they are no such wrapper, or empty for a wrapper without a
// data chunk.
std::string_view MidiFileBody(std::string_view bytes);
