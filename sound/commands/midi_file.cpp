#include "sound/commands/midi_file.h"

#include <algorithm>
#include <map>

namespace {

struct Reader {
  const uint8_t* p;
  size_t size, at = 0;
  bool ok = true;
  uint32_t Byte() {
    if (at >= size) {
      ok = false;
      return 0;
    }
    return p[at++];
  }
  uint32_t Be(int bytes) {
    uint32_t v = 0;
    for (int k = 0; k < bytes; ++k) v = v << 8 | Byte();
    return v;
  }
  // A variable-length quantity: at most four bytes of seven bits.
  uint32_t Vlq() {
    uint32_t v = 0;
    for (int k = 0; k < 4; ++k) {
      const uint32_t b = Byte();
      v = v << 7 | (b & 0x7F);
      if (!(b & 0x80)) return v;
    }
    ok = false;
    return 0;
  }
  void Skip(size_t n) {
    if (n > size - at) {
      ok = false;
      at = size;
    } else {
      at += n;
    }
  }
};

// Walks one track's events; records tempo changes by tick and returns the tick of its end.
bool WalkTrack(Reader track, std::map<uint64_t, uint32_t>* tempos, uint64_t* endTick) {
  uint64_t tick = 0;
  uint32_t status = 0;
  while (track.ok && track.at < track.size) {
    tick += track.Vlq();
    uint32_t b = track.Byte();
    if (b == 0xFF) {
      const uint32_t type = track.Byte();
      const uint32_t length = track.Vlq();
      if (type == 0x51 && length == 3) {
        const uint32_t tempo = track.Be(3);
        if (tempo > 0) (*tempos)[tick] = tempo;
      } else {
        track.Skip(length);
      }
      if (type == 0x2F) break;
      continue;
    }
    if (b == 0xF0 || b == 0xF7) {
      track.Skip(track.Vlq());
      continue;
    }
    if (b & 0x80) {
      status = b;
      b = track.Byte();
    } else if (!status) {
      return false;  // running status with nothing to run on
    }
    const uint32_t kind = status & 0xF0;
    if (kind != 0xC0 && kind != 0xD0) track.Byte();
  }
  *endTick = std::max(*endTick, tick);
  return track.ok;
}

}  // namespace

int64_t MidiFileLengthMs(const uint8_t* data, size_t size) {
  Reader r{data, size};
  if (r.Be(4) != 0x4D546864u) return -1;  // "MThd"
  const uint32_t headerLength = r.Be(4);
  if (!r.ok || headerLength < 6) return -1;
  const uint32_t format = r.Be(2), tracks = r.Be(2), division = r.Be(2);
  r.Skip(headerLength - 6);
  if (!r.ok || format > 2 || tracks == 0 || division == 0) return -1;
  std::map<uint64_t, uint32_t> tempos;
  uint64_t endTick = 0;
  for (uint32_t t = 0; t < tracks; ++t) {
    const uint32_t id = r.Be(4), length = r.Be(4);
    if (!r.ok || length > r.size - r.at) return -1;
    if (id == 0x4D54726Bu) {  // "MTrk"; other chunks are skipped
      if (!WalkTrack(Reader{r.p + r.at, length}, &tempos, &endTick)) return -1;
    }
    r.Skip(length);
  }
  if (division & 0x8000) {
    // Time code: frames per second times ticks per frame.
    const int32_t fps = -int32_t(int8_t(division >> 8)), perFrame = int32_t(division & 0xFF);
    if (fps <= 0 || perFrame <= 0) return -1;
    return int64_t(endTick * 1000 / uint64_t(fps * perFrame));
  }
  // Ticks per quarter note, with the tempo (microseconds per quarter) changing along the map.
  double us = 0, lastTick = 0, tempo = 500000;
  for (const auto& [tick, value] : tempos) {
    if (tick >= endTick) break;
    us += (double(tick) - lastTick) * tempo / division;
    lastTick = double(tick);
    tempo = value;
  }
  us += (double(endTick) - lastTick) * tempo / division;
  return int64_t(us / 1000);
}
