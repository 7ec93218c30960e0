// Reads arbitrary bytes as a standard MIDI file for its length.
#include <cstddef>
#include <cstdint>

#include "sound/commands/midi_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MidiFileLengthMs(data, size);
  return 0;
}
