#include "sound/commands/midi_file.h"

#include <algorithm>
#include <map>
#include <string>
#include <vector>

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

// Bounds on what a song may ask of the synthesiser; a file past any of them is refused.
constexpr uint32_t kMaxTracks = 1024;
constexpr uint32_t kMaxEvents = 1000000;
// More note-ons at one tick than there are channel and key pairs cannot all be distinct notes.
constexpr size_t kMaxNotesAtOneTick = 16 * 128;
constexpr double kMaxLengthMs = 24.0 * 3600 * 1000;

struct SongWalk {
  std::map<uint64_t, uint32_t> tempos;  // tempo changes by tick
  std::vector<uint64_t> noteTicks;      // ticks of the note-ons
  uint64_t endTick = 0;
  uint32_t events = 0;
};

// Walks one track's events, counting them; records tempo changes and note-ons by tick and
// the tick of the track's end. Gives what is wrong with the track, or null.
const char* WalkTrack(Reader track, SongWalk* song) {
  uint64_t tick = 0;
  uint32_t status = 0;
  while (track.ok && track.at < track.size) {
    if (++song->events > kMaxEvents) return "events";
    tick += track.Vlq();
    uint32_t b = track.Byte();
    if (b == 0xFF) {
      const uint32_t type = track.Byte();
      const uint32_t length = track.Vlq();
      if (type == 0x51 && length == 3) {
        const uint32_t tempo = track.Be(3);
        if (tempo > 0) song->tempos[tick] = tempo;
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
      return "an event without a status";  // running status with nothing to run on
    }
    const uint32_t kind = status & 0xF0;
    if (kind == 0xC0 || kind == 0xD0) continue;  // a program change or channel pressure: one data byte
    if (track.Byte() != 0 && kind == 0x90) song->noteTicks.push_back(tick);  // velocity 0 ends a note
  }
  song->endTick = std::max(song->endTick, tick);
  return track.ok ? nullptr : "an event past the track's end";
}

// True when more note-ons share a tick than the bound allows.
bool TooDense(std::vector<uint64_t>& ticks) {
  std::sort(ticks.begin(), ticks.end());
  for (size_t k = 0; k + kMaxNotesAtOneTick < ticks.size(); ++k)
    if (ticks[k] == ticks[k + kMaxNotesAtOneTick]) return true;
  return false;
}

}  // namespace

int64_t MidiFileLengthMs(const uint8_t* data, size_t size, std::string* why) {
  std::string cause;
  if (!why) why = &cause;
  why->clear();
  const auto damaged = [&](const std::string& what) {
    *why = "damaged: " + what;
    return int64_t(-1);
  };
  const auto unsupported = [&](const std::string& what) {
    *why = "not a supported format: " + what;
    return int64_t(-1);
  };
  Reader r{data, size};
  if (r.Be(4) != 0x4D546864u) return -1;  // "MThd": not a MIDI file, nothing to say of it
  const uint32_t headerLength = r.Be(4);
  if (!r.ok || headerLength < 6) return damaged("a MIDI header shorter than its fields");
  const uint32_t format = r.Be(2), tracks = r.Be(2), division = r.Be(2);
  r.Skip(headerLength - 6);
  if (!r.ok) return damaged("a MIDI header shorter than its fields");
  if (format > 2) return damaged("a MIDI file of format " + std::to_string(format));
  if (tracks == 0) return damaged("a MIDI file of 0 tracks");
  if (division == 0) return damaged("a MIDI time division of 0");
  if (tracks > kMaxTracks)
    return unsupported("a MIDI song of " + std::to_string(tracks) + " tracks (at most " + std::to_string(kMaxTracks) + ")");
  SongWalk song;
  uint32_t found = 0;
  for (uint32_t t = 0; t < tracks; ++t) {
    const std::string track = "MIDI track " + std::to_string(t + 1) + " of " + std::to_string(tracks);
    const uint32_t id = r.Be(4), length = r.Be(4);
    if (!r.ok) return damaged("the file ends before " + track);
    if (length > r.size - r.at) return damaged(track + " runs past the end of the file");
    if (id == 0x4D54726Bu) {  // "MTrk"; other chunks are skipped
      // A track holds at least its end event: a length of 0 leaves its events outside it.
      if (length == 0) return damaged(track + " has a length of 0");
      ++found;
      if (const char* wrong = WalkTrack(Reader{r.p + r.at, length}, &song)) {
        if (song.events > kMaxEvents)
          return unsupported("a MIDI song of more than " + std::to_string(kMaxEvents) + " events");
        return damaged(track + " holds " + wrong);
      }
    }
    r.Skip(length);
  }
  if (found == 0) return damaged("a MIDI file of 0 tracks");
  if (TooDense(song.noteTicks))
    return unsupported("a MIDI song of more than " + std::to_string(kMaxNotesAtOneTick) + " notes at one tick");
  const uint64_t endTick = song.endTick;
  double ms;
  if (division & 0x8000) {
    // Time code: frames per second times ticks per frame.
    const int32_t fps = -int32_t(int8_t(division >> 8)), perFrame = int32_t(division & 0xFF);
    if (fps <= 0 || perFrame <= 0) return damaged("a MIDI time code division of " + std::to_string(perFrame) + " ticks a frame");
    ms = double(endTick) * 1000 / double(fps * perFrame);
  } else {
    // Ticks per quarter note, with the tempo (microseconds per quarter) changing along the map.
    double us = 0, lastTick = 0, tempo = 500000;
    for (const auto& [tick, value] : song.tempos) {
      if (tick >= endTick) break;
      us += (double(tick) - lastTick) * tempo / division;
      lastTick = double(tick);
      tempo = value;
    }
    us += (double(endTick) - lastTick) * tempo / division;
    ms = us / 1000;
  }
  if (ms > kMaxLengthMs) return unsupported("a MIDI song longer than a day");
  return int64_t(ms);
}

std::string_view MidiFileBody(std::string_view bytes) {
  if (bytes.size() < 12 || bytes.substr(0, 4) != "RIFF" || bytes.substr(8, 4) != "RMID") return bytes;
  const auto le32 = [&](size_t at) {
    uint32_t v = 0;
    for (int k = 3; k >= 0; --k) v = v << 8 | uint8_t(bytes[at + size_t(k)]);
    return v;
  };
  for (size_t at = 12; bytes.size() - at >= 8;) {
    const uint32_t size = le32(at + 4);
    if (bytes.substr(at, 4) == "data") return bytes.substr(at + 8, size);  // cut at the end of the file
    if (size > bytes.size() - at - 8) break;
    at += 8 + size + (size & 1);
    if (at > bytes.size()) break;
  }
  return {};
}
