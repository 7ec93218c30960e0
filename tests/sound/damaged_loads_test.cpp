// Damaged, empty and other kinds of sound and music files through LOAD SOUND, LOAD 3DSOUND and
// LOAD MUSIC: each either loads what it holds or is refused naming the file and what is wrong,
// never loads empty.
#include "core/errors.h"
#include "sound/commands/music_slots.h"
#include "sound/commands/sound_slots.h"
#include "sound/engine/sound_engine.h"
#include "tests/sound/cmd_fixture.h"

namespace {

enum : int { kLoadSound = 3001, kLoad3D = 3011, kLoadMusic = 3501 };

std::string Le16(uint16_t v) { return std::string((const char*)&v, 2); }
std::string Le32(uint32_t v) { return std::string((const char*)&v, 4); }
std::string Be32(uint32_t v) { return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }

std::string Chunk(const char* id, const std::string& body, int64_t size = -1) {
  const std::string c = std::string(id, 4) + Le32(uint32_t(size < 0 ? body.size() : size)) + body;
  return body.size() & 1 ? c + '\0' : c;
}
std::string Riff(const std::string& chunks, const char* form = "WAVE", int64_t size = -1) {
  return "RIFF" + Le32(uint32_t(size < 0 ? chunks.size() + 4 : size)) + form + chunks;
}
// A format block: tag, channels, rate, block align, bits and what follows them.
std::string Format(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t align, uint16_t bits,
                   const std::string& extra = "") {
  return Le16(tag) + Le16(channels) + Le32(rate) + Le32(rate * align) + Le16(align) + Le16(bits) + extra;
}
const std::string kMono16 = Format(1, 1, 8000, 2, 16);
const std::string kTone = [] {  // 800 frames of 16-bit mono: 100 ms at 8000 Hz
  std::string s;
  for (int k = 0; k < 800; ++k) s += Le16(uint16_t(k % 40 < 20 ? 6000 : -6000));
  return s;
}();
std::string WavFile(const std::string& format, const std::string& data, int64_t dataSize = -1) {
  return Riff(Chunk("fmt ", format) + Chunk("data", data, dataSize));
}

// Frames of MPEG-1 layer III mono at 128 kbit/s, 44100 Hz, of a zero body; `badSide` gives each
// a big-values count past what a granule holds, so that no frame decodes.
std::string Layer3(int frames, bool badSide) {
  std::string frame = std::string("\xFF\xFB\x90\xC0", 4) + std::string(413, '\0');
  if (badSide) frame[4 + 3] = char(0x02), frame[4 + 4] = char(0x42);  // big values (bits 30-38): 289
  std::string s;
  for (int k = 0; k < frames; ++k) s += frame;
  return s;
}

std::string Midi(uint16_t tracks, const std::string& trackChunks) {
  return std::string("MThd\0\0\0\6\0\0", 10) + char(tracks >> 8) + char(tracks) + std::string("\0\x60", 2) +
         trackChunks;
}
// One track of a note of 96 ticks (a second at the default tempo, 96 ticks a quarter: half).
const std::string kNotes = std::string("\0\x90\x3C\x64\x60\x80\x3C\0\0\xFF\x2F\0", 12);
std::string Track(const std::string& events, int64_t size = -1) {
  return "MTrk" + Be32(uint32_t(size < 0 ? events.size() : size)) + events;
}
std::string Rmid(const std::string& chunks) { return Riff(chunks, "RMID"); }

class DamagedLoadTest : public SoundCmdTest {};

TEST_F(DamagedLoadTest, EachLoadGivesWhatTheFileHoldsOrNamesTheDamage) {
  const std::string badMidi = Midi(1, Track(kNotes, 400));
  const std::string ms7 = Format(2, 1, 8000, 256, 4, Le16(32) + Le16(500) + Le16(7));  // coefficients cut
  const struct {
    const char* name;
    std::string bytes;
    std::string cause;  // of LOAD SOUND, LOAD 3DSOUND and LOAD MUSIC; "" loads
    int32_t frames = 0;  // frames a loaded sound holds
    std::string soundCause = "";  // of the sound loads when not the cause above (MIDI)
  } cases[] = {
      {"data past the end of the file", WavFile(kMono16, kTone, 1 << 30), "", 800},
      {"data past the end, no whole sample", WavFile(Format(1, 2, 8000, 4, 16), "ab", 1000),
       "damaged: the data chunk holds no whole sample"},
      {"data of 0 samples", WavFile(kMono16, ""), "damaged: the data chunk holds no whole sample"},
      {"RIFF and data sizes a writer left 0", Riff(Chunk("fmt ", kMono16) + Chunk("data", "", 0) + kTone, "WAVE", 0),
       "", 800},
      {"data size a writer left all bits set", WavFile(kMono16, kTone, 0xFFFFFFFF), "", 800},
      {"PCM of block align 0", WavFile(Format(1, 1, 8000, 0, 16), kTone), "", 800},
      {"format chunk shorter than its fields", WavFile(kMono16.substr(0, 12), kTone),
       "damaged: a format chunk of 12 bytes, shorter than its fields"},
      {"no format chunk", Riff(Chunk("data", kTone)), "damaged: no format chunk"},
      {"no data chunk", Riff(Chunk("fmt ", kMono16)), "damaged: no data chunk"},
      {"a chunk past the end before the data", Riff(Chunk("fmt ", kMono16) + Chunk("LIST", "", 1 << 20)),
       "damaged: a chunk runs past the end of the file before the data chunk"},
      {"0 channels", WavFile(Format(1, 0, 8000, 2, 16), kTone), "damaged: the format chunk gives 0 channels"},
      {"0 Hz", WavFile(Format(1, 1, 0, 2, 16), kTone), "damaged: the format chunk gives a rate of 0 Hz"},
      {"float of no whole sample", WavFile(Format(3, 1, 8000, 4, 32, Le16(0)), "ab"),
       "damaged: the data chunk holds no whole sample"},
      {"mu-law of 0 samples", WavFile(Format(7, 1, 8000, 1, 8, Le16(0)), ""),
       "damaged: the data chunk holds no whole sample"},
      {"A-law", WavFile(Format(6, 1, 8000, 1, 8, Le16(0)), kTone), "", 1600},
      {"IMA ADPCM of block align 0", WavFile(Format(0x11, 1, 8000, 0, 4, Le16(2) + Le16(505)), kTone),
       "damaged: an IMA ADPCM block of 0 bytes cannot hold its header of 4"},
      {"IMA ADPCM data shorter than a block header", WavFile(Format(0x11, 1, 8000, 256, 4, Le16(2) + Le16(505)), "ab"),
       "damaged: the data chunk holds no whole sample"},
      {"MS ADPCM block smaller than its header", WavFile(Format(2, 1, 8000, 6, 4, Le16(32) + Le16(500) + Le16(7)), kTone),
       "damaged: an MS ADPCM block of 6 bytes cannot hold its header of 7"},
      {"MS ADPCM coefficients past the chunk", WavFile(ms7, kTone),
       "damaged: the MS ADPCM format chunk ends before its 7 coefficients"},
      {"extensible without its sub-format", WavFile(Format(0xFFFE, 1, 8000, 2, 16, Le16(22)), kTone),
       "damaged: the extensible format chunk ends before its sub-format"},
      {"an ID3 tag and no frame", std::string("ID3\3\0\0\0\0\0\x10", 10) + std::string(16, 'x'),
       "damaged: no MPEG audio frame after the ID3 tag"},
      {"MPEG frames none of which decodes", Layer3(8, true), "damaged: no MPEG audio frame can be decoded"},
      {"a single MPEG frame", Layer3(1, false), "", 1152},
      {"MPEG frames of no output, the last cut", Layer3(3, true).substr(0, 3 * 417 - 100),
       "damaged: no MPEG audio frame can be decoded"},
      {"MIDI track past the end of the file", badMidi,
       "damaged: MIDI track 1 of 1 runs past the end of the file", 0, "not a supported format: MIDI music"},
      {"MIDI of 0 tracks", Midi(0, ""), "damaged: a MIDI file of 0 tracks", 0, "not a supported format: MIDI music"},
      {"MIDI header cut", Midi(1, "").substr(0, 11), "damaged: a MIDI header shorter than its fields", 0,
       "not a supported format: MIDI music"},
      {"MIDI event past its track", Midi(1, Track(kNotes.substr(0, 6))),
       "damaged: MIDI track 1 of 1 holds an event past the track's end", 0, "not a supported format: MIDI music"},
      {"RMID of a damaged MIDI", Rmid(Chunk("data", badMidi)),
       "damaged: MIDI track 1 of 1 runs past the end of the file", 0, "not a supported format: MIDI music"},
      {"RMID without its data", Rmid(Chunk("INFO", "x")), "damaged: an RMID file without its MIDI data", 0,
       "not a supported format: MIDI music"},
      {"MIDI track of length 0 before its events", Midi(1, Track("", 0) + kNotes),
       "damaged: MIDI track 1 of 1 has a length of 0", 0, "not a supported format: MIDI music"},
      {"a file of 0 bytes", "", "empty"},
      {"AIFF", "FORM" + Be32(4 + 800) + "AIFF" + kTone, "not a supported format: an AIFF file"},
      {"AIFF-C", "FORM" + Be32(4 + 800) + "AIFC" + kTone, "not a supported format: an AIFF-C file"},
      {"AU", ".snd" + Be32(24) + kTone, "not a supported format: an AU file"},
      {"FLAC", "fLaC" + kTone, "not a supported format: a FLAC file"},
      {"Ogg", "OggS" + kTone, "not a supported format: an Ogg file"},
      {"Wave64", std::string("riff\x2E\x91\xCF\x11\xA5\xD6\x28\xDB\x04\xC1\0\0", 16) + kTone,
       "not a supported format: a Wave64 file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = dir_.File("damaged.bin");
    dir_.Write("damaged.bin", c.bytes);
    for (const int load : {kLoadSound, kLoad3D, kLoadMusic}) {
      SCOPED_TRACE(load);
      const std::string cause = load != kLoadMusic && !c.soundCause.empty() ? c.soundCause : c.cause;
      g_lastEngineError.clear();
      const int32_t error = Do(load, {file.c_str(), 2}).error;
      if (!cause.empty()) {
        EXPECT_EQ(error, load == kLoadMusic ? kErrMusicNotLoaded : kErrSoundNotLoaded);
        EXPECT_EQ(g_lastEngineError, file + ": " + cause);
      } else if (load == kLoadMusic) {
        ASSERT_EQ(error, 0);
        EXPECT_GT(g_music.slots[2].length, 0);
      } else {
        ASSERT_EQ(error, 0);
        EXPECT_EQ(int32_t(SoundSampleGetLength(g_soundCmd.slots[2].sample)), c.frames);
      }
    }
  }
  g_lastEngineError.clear();
}

// A MIDI song whose RIFF wrapper's data chunk runs past the end of the file plays the song the
// file holds.
TEST_F(DamagedLoadTest, AWrappedSongCutOnlyInItsWrapperLoads) {
  const std::string song = Midi(1, Track(kNotes));
  dir_.Write("cut.rmi", Rmid(Chunk("data", song, int64_t(song.size()) + 100)));
  ASSERT_EQ(Do(kLoadMusic, {dir_.File("cut.rmi").c_str(), 2}).error, 0);
  EXPECT_EQ(g_music.slots[2].length, 500);
}

}  // namespace
