// Reads arbitrary bytes as a standard MIDI file for its length, bare and in a RIFF wrapper. A
// song refused says why unless the bytes are no MIDI file at all; one taken says nothing.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "sound/commands/midi_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string_view song = MidiFileBody(bytes);
  if (song.size() > bytes.size()) __builtin_trap();
  std::string why = "left over";
  const int64_t ms = MidiFileLengthMs(reinterpret_cast<const uint8_t*>(song.data()), song.size(), &why);
  const bool midi = song.size() >= 4 && std::memcmp(song.data(), "MThd", 4) == 0;
  if (ms >= 0 ? !why.empty() : why.empty() == midi) __builtin_trap();
  return 0;
}
