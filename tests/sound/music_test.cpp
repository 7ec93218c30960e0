// Music tracks: the command strings sent, playing MIDI, WAV and MPEG files into the mix, the
// per-frame poll that stops or restarts a track at its end, and the MIDI length reader.
#include <malloc.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "core/errors.h"

#include "platform/fs.h"
#include "platform/midi_synth.h"
#include "sound/commands/mci_strings.h"
#include "sound/commands/midi_file.h"
#include "sound/commands/music_slots.h"
#include "sound/commands/sound_slots.h"
#include "sound/commands/sound_services.h"
#include "tests/sound/cmd_fixture.h"
#include "sound/engine/drivers/driver_manual.h"
#include "sound/engine/engine_state.h"
#include "tests/sound/mpeg_tools.h"

namespace {

enum : int {
  kLoad = 3501, kDelete = 3502, kPlay = 3503, kStop = 3504, kPause = 3505, kResume = 3506, kLoop = 3507,
  kLoadCd = 3601, kExist = 3551, kPlaying = 3552, kPaused = 3553, kLooping = 3554,
};

void Var(std::string* s, uint32_t v) {
  uint8_t bytes[4];
  int n = 0;
  bytes[n++] = v & 0x7F;
  while (v >>= 7) bytes[n++] = uint8_t(0x80 | (v & 0x7F));
  while (n) s->push_back(char(bytes[--n]));
}

// A one-track MIDI file of `notes` quarter notes at `tempo` microseconds a quarter (96 ticks).
std::string TinyMidi(int notes, uint32_t tempo = 500000) {
  std::string t;
  Var(&t, 0);
  t += std::string("\xFF\x51\x03", 3);
  t += char(tempo >> 16), t += char(tempo >> 8), t += char(tempo);
  Var(&t, 0);
  t += std::string("\xC0\x00", 2);
  for (int k = 0; k < notes; ++k) {
    Var(&t, 0);
    t += char(0x90), t += char(60 + k % 12), t += char(100);
    Var(&t, 96);
    t += char(0x80), t += char(60 + k % 12), t += char(0);
  }
  Var(&t, 0);
  t += std::string("\xFF\x2F\x00", 3);
  std::string f = std::string("MThd\0\0\0\6\0\0\0\1\0\x60", 14) + "MTrk";
  const uint32_t n = uint32_t(t.size());
  f += char(n >> 24), f += char(n >> 16), f += char(n >> 8), f += char(n);
  return f + t;
}

class MusicTest : public SoundCmdTest {
 protected:
  void SetUp() override {
    SoundCmdTest::SetUp();
    MciClearLog();
    MciLogCommands(true);
  }
  void TearDown() override {
    MciLogCommands(false);
    SoundCmdTest::TearDown();
  }
  // n frames of the run loop's poll.
  static void Poll(int frames) {
    for (int k = 0; k < frames; ++k) PollMusicStatus();
  }
};

TEST_F(MusicTest, CommandStringsAreTheDocumentedTexts) {
  dir_.Write("song.mid", TinyMidi(4));
  const std::string folder = FsCurrentFolder();
  ASSERT_TRUE(FsChangeFolder(dir_.path()));
  EXPECT_EQ(Do(kLoad, {"song.mid", 3}).error, 0);
  EXPECT_EQ(Do(kPlay, {3}).error, 0);
  EXPECT_EQ(Do(kLoad, {"song.mid", 3}).error, 0);  // a loaded slot is closed first, without an error
  FsChangeFolder(folder);
  const std::string path = FsToSystemPath(dir_.path()) + "\\song.mid";
  const std::vector<std::string> want = {
      "open \"" + path + "\" alias music3", "status music3 length", "play music3", "stop music3", "close music3",
      "open \"" + path + "\" alias music3", "status music3 length"};
  EXPECT_EQ(MciSentCommands(), want);
  EXPECT_EQ(g_music.slots[3].length, 2000);

  // No CD device: the open is refused.
  MciClearLog();
  EXPECT_EQ(Do(kLoadCd, {4, 2}).error, 3502);
  EXPECT_EQ(MciSentCommands(), std::vector<std::string>{"open cdaudio alias music2"});
  EXPECT_EQ(Query(kExist, 2), 0);
}

// A song of the current folder loads though the folder's name reads as another's ("??????").
TEST_F(MusicTest, ASongOfTheCurrentFolderLoadsBesideAFolderSpelledAlike) {
  const std::string snake = "\xD0\xB7\xD0\xBC\xD0\xB5\xD0\xB9\xD0\xBA\xD0\xB0";  // змейка
  std::filesystem::create_directories(dir_.File(snake));
  std::filesystem::create_directories(dir_.File("\xD1\x82\xD0\xB5\xD1\x82\xD1\x80\xD0\xB8\xD1\x81"));  // тетрис
  dir_.Write(snake + "/song.mid", TinyMidi(4));
  const std::string folder = FsCurrentFolder();
  ASSERT_EQ(chdir(dir_.File(snake).c_str()), 0);
  EXPECT_EQ(Do(kLoad, {"song.mid", 3}).error, 0);
  ASSERT_EQ(chdir(folder.c_str()), 0);
}

TEST_F(MusicTest, ErrorsOfTheMusicCommands) {
  dir_.Write("a.mid", TinyMidi(2));
  const std::string a = dir_.File("a.mid");
  struct Case {
    int number;
    std::initializer_list<Arg> args;
    int32_t error;
  };
  const Case cases[] = {
      {kLoad, {a.c_str(), 0}, 3501}, {kLoad, {a.c_str(), 33}, 3501}, {kDelete, {5}, 3504},
      {kPlay, {5}, 3504},            {kLoad, {a.c_str(), 32}, 0},    {kPause, {32}, 3507},
      {kResume, {32}, 0},            {kLoad, {"none.mid", 4}, 3502}, {kPlaying, {Arg::Result(), 4}, 3504},
  };
  for (const Case& c : cases) EXPECT_EQ(Do(c.number, c.args).error, c.error) << c.number;
  // The stderr message names the file and the cause.
  dir_.Write("junk.mid", "not music");
  dir_.Write("say \"hi\".mid", TinyMidi(2));  // good music under a name the command string cannot carry
  const struct {
    std::string file, cause;
  } failures[] = {{dir_.File("junk.mid"), "not a supported format"},
                  {dir_.File("none.mid"), "not found"},
                  {dir_.File("say \"hi\".mid"), "cannot be opened"}};
  for (const auto& f : failures) {
    g_lastEngineError.clear();
    EXPECT_EQ(Do(kLoad, {f.file.c_str(), 6}).error, 3502);
    EXPECT_EQ(g_lastEngineError, f.file + ": " + f.cause);
  }
  g_lastEngineError.clear();
}

TEST_F(MusicTest, MidiWavAndMpegPlayIntoTheMixAndStop) {
  ASSERT_FALSE(MidiFindSoundFont().empty()) << "the General MIDI SoundFont is not installed";
  dir_.Write("tune.mid", TinyMidi(8));
  const std::string wav = Wav("tune.wav", Tone(44100 * 2));
  const std::string mp3 = dir_.File("tune.mp3");
  ASSERT_TRUE(Shell("sox -R -n -r 44100 -c 1 " + dir_.File("src.wav") + " synth 2 sine 500 2>/dev/null && lame --quiet " +
                    dir_.File("src.wav") + " " + mp3));
  int n = 1;
  for (const std::string& file : {dir_.File("tune.mid"), wav, mp3}) {
    ASSERT_EQ(Do(kLoad, {file.c_str(), n}).error, 0) << file;
    EXPECT_TRUE(Silent(Play(8820))) << file;
    Do(kPlay, {n});
    EXPECT_FALSE(Silent(Play(44100 / 2))) << file;
    Do(kPause, {n});
    Play(ManualDriverLatency());
    EXPECT_TRUE(Silent(Play(4410))) << file;
    Do(kResume, {n});
    Play(ManualDriverLatency());
    EXPECT_FALSE(Silent(Play(4410))) << file;
    Do(kStop, {n});
    Play(ManualDriverLatency() + 44100);  // the synthesiser's release dies away
    EXPECT_TRUE(Silent(Play(4410))) << file;
    EXPECT_EQ(Query(kPlaying, n), 0);
    ++n;
  }
}

// The loads of each kind of file: a WAV of six channels (mixed down) and an RF64 WAV load as a
// sound, a 3D sound and music; a MIDI song in its RIFF wrapper is music, not a sound; a WAV of
// nine channels is refused, saying so. What loads plays into the mix.
TEST_F(MusicTest, WavOfManyChannelsRf64AndWrappedMidiLoadWhereEachApplies) {
  std::vector<int16_t> six;
  for (int16_t v : Tone(44100 / 2)) six.insert(six.end(), {v, 0, 0, 0, 0, 0});  // front left alone
  std::string image;
  BuildWavFile(WavFormat{44100, 6, 16}, six.data(), uint32_t(six.size() * 2), &image);
  dir_.Write("six.wav", image);
  image.replace(22, 2, std::string("\x09\x00", 2));  // the same bytes said to be nine channels
  dir_.Write("nine.wav", image);
  const std::vector<int16_t> mono = Tone(44100 / 2);
  BuildWavFile(WavFormat{}, mono.data(), uint32_t(mono.size() * 2), &image);
  const uint32_t data = uint32_t(mono.size() * 2);
  std::string ds64 = std::string("ds64\x1C\0\0\0", 8);
  for (uint32_t v : {uint32_t(image.size() + 36 - 8), 0u, data, 0u, data / 2, 0u, 0u}) ds64.append((const char*)&v, 4);
  image = "RF64" + std::string(4, '\xFF') + "WAVE" + ds64 + image.substr(12);
  image.replace(image.size() - data - 4, 4, std::string(4, '\xFF'));  // the data chunk's size too
  dir_.Write("rf64.wav", image);
  const std::string song = TinyMidi(4);
  std::string rmid = "RIFF" + std::string(4, '\0') + "RMIDdata";
  const uint32_t n = uint32_t(song.size());
  rmid.append((const char*)&n, 4);
  dir_.Write("song.rmi", rmid + song);
  dir_.Write("song.mid", song);
  const std::string nineCause = "not a supported format: a WAV of 9 channels (1 to 8 are read)";
  const struct {
    int load;
    const char* file;
    std::string cause;  // "" loads
  } cases[] = {
      {3001, "six.wav", ""},  {3011, "six.wav", ""},  {kLoad, "six.wav", ""},
      {3001, "rf64.wav", ""}, {3011, "rf64.wav", ""}, {kLoad, "rf64.wav", ""},
      {kLoad, "song.rmi", ""},
      {3001, "song.rmi", "not a supported format: MIDI music"},
      {3011, "song.rmi", "not a supported format: MIDI music"},
      {3001, "song.mid", "not a supported format: MIDI music"},
      {3001, "nine.wav", nineCause}, {3011, "nine.wav", nineCause}, {kLoad, "nine.wav", nineCause},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.load << " " << c.file);
    const std::string file = dir_.File(c.file);
    g_lastEngineError.clear();
    const int32_t error = Do(c.load, {file.c_str(), 2}).error;
    if (!c.cause.empty()) {
      EXPECT_EQ(error, c.load == kLoad ? 3502 : 3002);
      EXPECT_EQ(g_lastEngineError, file + ": " + c.cause);
      continue;
    }
    ASSERT_EQ(error, 0);
    if (c.load == kLoad && std::string(c.file) == "song.rmi") {
      EXPECT_EQ(g_music.slots[2].length, 2000);
    }
    Do(c.load == kLoad ? kPlay : 3003, {2});
    EXPECT_FALSE(Silent(Play(44100 / 4)));
    Do(c.load == kLoad ? kStop : 3004, {2});
    Play(ManualDriverLatency() + 44100);  // what was under way dies away
  }
  g_lastEngineError.clear();
}

// A game that loads its tune at each screen: loading the song again, after a delete or over the
// same number, keeps no memory behind, and the song still plays.
TEST_F(MusicTest, LoadingAMidiSongAgainAndAgainKeepsNoMemory) {
  MciLogCommands(false);
  dir_.Write("a.mid", TinyMidi(8));
  const std::string a = dir_.File("a.mid");
  const auto loads = [&](int times) {
    for (int k = 0; k < times; ++k) {
      ASSERT_EQ(Do(kLoad, {a.c_str(), 1}).error, 0);
      if (k % 2) Do(kDelete, {1});
    }
  };
  loads(4);
  const size_t before = mallinfo2().uordblks;
  loads(200);
  EXPECT_LT(int64_t(mallinfo2().uordblks) - int64_t(before), 100 * 1024);
  Do(kLoad, {a.c_str(), 1});
  Do(kPlay, {1});
  EXPECT_FALSE(Silent(Play(44100 / 2)));
  // Another song in a synthesiser kept from the first plays its own notes: 100 ms, then it ends.
  dir_.Write("b.mid", TinyMidi(1, 100000));
  Do(kDelete, {1});
  Do(kLoad, {dir_.File("b.mid").c_str(), 1});
  Do(kPlay, {1});
  Play(8820);
  Poll(11);
  EXPECT_EQ(Query(kPlaying, 1), 0);
}

TEST_F(MusicTest, ThePollStopsOrRestartsTheCurrentTrackAtItsEnd) {
  dir_.Write("a.mid", TinyMidi(1, 100000));  // 100 ms long
  const std::string a = dir_.File("a.mid");
  Do(kLoad, {a.c_str(), 1});
  Do(kLoad, {a.c_str(), 2});
  Do(kPlay, {1});
  Play(8820);
  Poll(10);
  EXPECT_EQ(Query(kPlaying, 1), 1);  // asked only on the eleventh call
  Poll(1);
  EXPECT_EQ(Query(kPlaying, 1), 0);

  Do(kLoop, {2});
  Play(8820);
  MciClearLog();
  Poll(11);
  const std::vector<std::string> want = {"status music2 position", "stop music2", "close music2",
                                         g_music.slots[2].openCommand, "play music2"};
  EXPECT_EQ(MciSentCommands(), want);
  EXPECT_EQ(Query(kPlaying, 2), 1);
  EXPECT_EQ(Query(kLooping, 2), 1);
  EXPECT_FALSE(Silent(Play(ManualDriverLatency() + 2205)));

  // Stopping another track ends the polling of the current one.
  Do(kPlay, {1});
  Do(kStop, {2});
  Play(8820);
  Poll(22);
  EXPECT_EQ(Query(kPlaying, 1), 1);
}

TEST_F(MusicTest, WavAndMpegPositionsReachTheirLengthAtTheEnd) {
  const std::string wav = Wav("short.wav", Tone(4410));
  const std::string mp3 = dir_.File("short.mp3");
  ASSERT_TRUE(Shell("sox -R -n -r 44100 -c 1 " + dir_.File("src.wav") + " synth 0.1 sine 500 2>/dev/null && lame --quiet " +
                    dir_.File("src.wav") + " " + mp3));
  for (const std::string& file : {wav, mp3}) {
    ASSERT_EQ(Do(kLoad, {file.c_str(), 1}).error, 0) << file;
    Do(kPlay, {1});
    Play(44100 / 2);
    Poll(11);
    EXPECT_EQ(Query(kPlaying, 1), 0) << file;
    EXPECT_TRUE(Silent(Play(4410))) << file;
  }
}

// Music plays on a reserved channel of a 2D stream: sounds filling every channel never take it,
// and the 3D pass never re-pans it.
TEST_F(MusicTest, MusicChannelsAreReservedAnd2D) {
  Do(kLoad, {Wav("long.wav", Tone(44100 * 4)).c_str(), 1});
  Do(kPlay, {1});
  int music = 0;
  for (SoundChannel& c : g_sound.channels)
    music += c.reserved && c.sample && c.sample->softwareOnly && c.ops->isPlaying(&c);
  EXPECT_EQ(music, 1);
  SoundSample* beep = SoundSampleLoad(kSoundFreeSample, Wav("beep.wav", Tone(44100)).c_str(), 0, 0);
  ASSERT_NE(beep, nullptr);
  std::vector<int32_t> handles;
  for (size_t k = 0; k < g_sound.channels.size() + 8; ++k) handles.push_back(SoundPlay(kSoundFreeChannel, beep));
  for (int32_t h : handles) SoundStopChannel(h);
  SoundSampleFree(beep);
  Play(ManualDriverLatency());
  EXPECT_FALSE(Silent(Play(4410)));
  EXPECT_EQ(Query(kPlaying, 1), 1);
}

TEST_F(MusicTest, FocusLossPausesPlayingTracksOnly) {
  dir_.Write("a.mid", TinyMidi(40));
  const std::string a = dir_.File("a.mid");
  Do(kLoad, {a.c_str(), 1});
  Do(kLoad, {a.c_str(), 2});
  Do(kPlay, {1});
  Do(kPlay, {2});
  Do(kPause, {2});
  MciClearLog();
  PauseAllAudio();
  ResumeAllAudio();
  EXPECT_EQ(MciSentCommands(), (std::vector<std::string>{"pause music1", "resume music1"}));
  EXPECT_EQ(Query(kPaused, 2), 1);
}

TEST_F(MusicTest, WithoutTheEngineTracksKeepTimeByTheClock) {
  ShutdownSound();
  dir_.Write("a.mid", TinyMidi(2));
  for (const std::string& file : {dir_.File("a.mid"), Wav("a.wav", Tone(44100))}) {
    ASSERT_EQ(Do(kLoad, {file.c_str(), 1}).error, 0) << file;
    EXPECT_EQ(g_music.slots[1].length, 1000) << file;
    ASSERT_EQ(Do(kPlay, {1}).error, 0);
    EXPECT_EQ(Query(kPlaying, 1), 1);
    Do(kDelete, {1});
    EXPECT_EQ(Query(kExist, 1), 0);
  }
}

TEST(MidiFile, LengthFollowsTheTempoMapAndRefusesDamage) {
  const std::string song = TinyMidi(4, 250000);
  const auto* p = reinterpret_cast<const uint8_t*>(song.data());
  EXPECT_EQ(MidiFileLengthMs(p, song.size()), 1000);
  for (size_t cut : {size_t(0), size_t(10), size_t(20), song.size() - 3})
    EXPECT_EQ(MidiFileLengthMs(p, cut), -1) << cut;
  std::string bad = song;
  bad[12] = 0, bad[13] = 0;  // no division
  EXPECT_EQ(MidiFileLengthMs(reinterpret_cast<const uint8_t*>(bad.data()), bad.size()), -1);
}

// A format 1 file of the tracks (96 ticks a quarter, default tempo); each track gets its end.
std::string Song(const std::vector<std::string>& tracks) {
  std::string s("MThd\0\0\0\6\0\1", 10);
  s += char(tracks.size() >> 8), s += char(tracks.size()), s += std::string("\0\x60", 2);
  for (const std::string& events : tracks) {
    const std::string t = events + std::string("\0\xFF\x2F\0", 4);
    s += "MTrk";
    for (int k = 3; k >= 0; --k) s += char(t.size() >> (8 * k));
    s += t;
  }
  return s;
}

std::string Repeat(const std::string& event, size_t times) {
  std::string s;
  for (size_t k = 0; k < times; ++k) s += event;
  return s;
}

TEST(MidiFile, HostileSongsAreRefusedBeforeTheSynthesiserSeesThem) {
  const std::string noteOn("\0\x90\x3C\x64", 4);
  const std::string no = "not a supported format: a MIDI song ";
  const struct {
    const char* name;
    std::string file;
    int64_t ms;
    std::string why;
  } cases[] = {
      {"channel pressure has one data byte",
       Song({noteOn + std::string("\x60\xD0\x40\x60\x80\x3C\0", 7)}), 1000, ""},
      {"as many notes at one tick as channel-key pairs", Song({Repeat(noteOn, 2048)}), 0, ""},
      {"more notes at one tick than that", Song({Repeat(noteOn, 1500), Repeat(noteOn, 549)}), -1,
       no + "of more than 2048 notes at one tick"},
      {"too many tracks", Song(std::vector<std::string>(1025, noteOn)), -1, no + "of 1025 tracks (at most 1024)"},
      {"too many events", Song({Repeat(std::string("\x01\x80\x3C\0", 4), 1000001)}), -1,
       no + "of more than 1000000 events"},
      {"longer than a day", Song({Repeat(std::string("\xFF\xFF\xFF\x7F\x80\x3C\0", 7), 400)}), -1,
       no + "longer than a day"},
  };
  for (const auto& c : cases) {
    std::string why = "left over";
    EXPECT_EQ(MidiFileLengthMs(reinterpret_cast<const uint8_t*>(c.file.data()), c.file.size(), &why), c.ms) << c.name;
    EXPECT_EQ(why, c.why) << c.name;
  }
}

}  // namespace
