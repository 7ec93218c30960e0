// Sound commands: numbers, ownership of shared samples, the values given to channels, pausing
// with the window, recording and saving, and a system without sound.
#include <sys/stat.h>

#include <cstring>

#include "core/errors.h"

#include "platform/window.h"
#include "sound/commands/sound_services.h"
#include "sound/commands/sound_slots.h"
#include "sound/engine/drivers/driver_manual.h"
#include "sound/engine/engine_state.h"
#include "sound/engine/sound_engine.h"
#include "tests/sound/cmd_fixture.h"

namespace {

enum : int {
  kLoad = 3001, kDelete = 3002, kPlay = 3003, kStop = 3004, kPause = 3005, kResume = 3006, kLoop = 3007,
  kVolume = 3008, kSpeed = 3009, kPan = 3010, kLoad3D = 3011, kPosition = 3012, kClone = 3021, kRecord = 3027,
  kStopRecording = 3028, kSave = 3029, kRecordFor = 3030, kExist = 3051, kPlaying = 3052, kPaused = 3053,
  kPanOf = 3057, kTypeOf = 3058, kPositionX = 3059,
};

SoundSlot& Slot(int n) { return g_soundCmd.slots[n]; }

int EngineSamples() {
  int count = 0;
  for (int k = 0; k < 256; ++k) count += SoundGetSample(k) != nullptr;
  return count;
}

TEST_F(SoundCmdTest, NumbersAndValuesAreCheckedInOrder) {
  const std::string beep = Wav("beep.wav", Tone(4410));
  const std::string saved = dir_.File("x.wav");
  ASSERT_EQ(Do(kLoad, {beep.c_str(), 1025}).error, 0);
  struct Case {
    int number;
    std::initializer_list<Arg> args;
    int32_t error;
  };
  const Case cases[] = {
      {kLoad, {beep.c_str(), 1026}, 3001}, {kLoad, {beep.c_str(), 0}, 3001},
      {kLoad, {"missing.wav", 5}, 3002},   {kPlay, {7}, 3004},
      {kVolume, {1025, 101}, 3005},        {kVolume, {1025, -1}, 3005},
      {kVolume, {7, 50}, 3004},            {kSpeed, {1025, 99}, 3006},
      {kSpeed, {1025, 100001}, 3006},      {kPan, {1025, 10001}, 3007},
      {kClone, {3, 3}, 3023},              {kClone, {3, 4}, 3022},
      {kClone, {1026, 1025}, 3001},        {3041, {1}, 3201},
      {3042, {1, 1025}, 3003},             {3042, {1, 7}, 3201},
      {kSave, {"x.wav", 0}, 3001},         {kSave, {saved.c_str(), 9}, 3008},
      {kPositionX, {Arg::Result(), 7}, 3004},
  };
  for (const Case& c : cases) EXPECT_EQ(Do(c.number, c.args).error, c.error) << c.number;
  EXPECT_EQ(Query(kExist, 1025), 1);
}

TEST_F(SoundCmdTest, LoadErrorsNameTheFileAndTheCause) {
  dir_.Write("text.wav", "not a sound at all");
  ASSERT_EQ(mkdir(dir_.File("folder.wav").c_str(), 0700), 0);
  const struct {
    int number;
    std::string file, cause;
  } cases[] = {
      {kLoad, dir_.File("nope.wav"), "not found"},
      {kLoad, dir_.File("folder.wav"), "not a regular file"},
      {kLoad, dir_.File("text.wav"), "not a supported format"},
      {kLoad3D, dir_.File("nope.wav"), "not found"},
  };
  for (const auto& c : cases) {
    g_lastEngineError.clear();
    EXPECT_EQ(Do(c.number, {c.file.c_str(), 5}).error, 3002) << c.file;
    EXPECT_EQ(g_lastEngineError, c.file + ": " + c.cause);
  }
  g_lastEngineError.clear();
}

// Queries of sounds and music tracks that do not exist answer 0, never what the result held:
// a program waiting for a sound to end must not wait for ever on a machine without sound.
TEST_F(SoundCmdTest, QueriesOfMissingSoundsAnswerZero) {
  Do(3001, {Wav("a.wav", Tone(100)).c_str(), 1});
  const int queries[] = {3052, 3053, 3054, 3055, 3056, 3057, 3058, 3059, 3060, 3061};
  for (int q : queries) {
    const CallOutcome missing = Do(q, {Arg::Result(7), 9});
    EXPECT_EQ(missing.error, 3004) << q;
    EXPECT_EQ(missing.result.raw, 0u) << q;
  }
  ShutdownSound();  // no sound at all: no warning, still 0
  for (int q : queries) {
    const CallOutcome silent = Do(q, {Arg::Result(7), 1});
    EXPECT_EQ(silent.error, 0) << q;
    EXPECT_EQ(silent.result.raw, 0u) << q;
  }
  for (int q : {3552, 3553, 3554}) {
    const CallOutcome track = Do(q, {Arg::Result(7), 4});
    EXPECT_EQ(track.error, 3504) << q;
    EXPECT_EQ(track.result.i, 0) << q;
  }
}

TEST_F(SoundCmdTest, VolumeAndPanBecomeEngineValues) {
  EXPECT_EQ(SoundVolumeToEngine(100), 254);
  EXPECT_EQ(SoundVolumeToEngine(50), 127);
  EXPECT_EQ(SoundVolumeToEngine(0), 0);
  EXPECT_EQ(SoundPanToEngine(5080), 255);
  EXPECT_EQ(SoundPanToEngine(-5120), 0);
  EXPECT_EQ(SoundPanToEngine(10000), 255);
  EXPECT_EQ(SoundPanToEngine(-10000), 0);
  EXPECT_EQ(SoundPanToEngine(-39), 128);

  Do(kLoad, {Wav("a.wav", Tone(44100)).c_str(), 1});
  Do(kPlay, {1});
  Do(kVolume, {1, 100});
  EXPECT_EQ(SoundGetChannelVolume(Slot(1).channel), 254);
  Do(kPan, {1, 5080});
  EXPECT_EQ(SoundGetChannelPan(Slot(1).channel), 255);
  // The pan lasts until the next start; the query keeps reporting it. The volume lasts.
  Do(kPlay, {1});
  EXPECT_EQ(SoundGetChannelPan(Slot(1).channel), 128);
  EXPECT_EQ(SoundGetChannelVolume(Slot(1).channel), 254);
  EXPECT_EQ(Query(kPanOf, 1), 5080);
}

TEST_F(SoundCmdTest, ClonesShareTheSampleAndTheLastHolderFreesIt) {
  Do(kLoad, {Wav("a.wav", Tone(44100)).c_str(), 1});
  const int before = EngineSamples();
  Do(kClone, {2, 1});
  Do(kDelete, {2});
  EXPECT_EQ(EngineSamples(), before);
  Do(kDelete, {1});
  EXPECT_EQ(EngineSamples(), before - 1);

  Do(kLoad, {Wav("b.wav", Tone(44100)).c_str(), 1});
  Do(kClone, {2, 1});
  Do(kClone, {3, 1});
  Do(kLoop, {3});
  SoundSample* shared = Slot(1).sample;
  Do(kDelete, {1});
  EXPECT_EQ(Slot(2).owner, 1);
  EXPECT_EQ(Slot(3).owner, 0);
  EXPECT_EQ(Slot(3).sample, shared);
  EXPECT_EQ(Query(kPlaying, 3), 1);
  EXPECT_FALSE(Silent(Play(ManualDriverLatency() + 4410)));
  // Loading over a clone's number replaces it without touching the others.
  Do(kLoad, {Wav("c.wav", Tone(100)).c_str(), 2});
  EXPECT_EQ(Slot(3).owner, 1);
}

TEST_F(SoundCmdTest, PlayLoopStopAndPauseShowInTheOutput) {
  Do(kLoad, {Wav("a.wav", Tone(2205)).c_str(), 1});
  EXPECT_TRUE(Silent(Play(ManualDriverLatency() + 4410)));
  Do(kPlay, {1});
  EXPECT_FALSE(Silent(Play(ManualDriverLatency() + 2205)));
  // Played once: over after its 2205 frames; the playing mark follows the channel.
  Play(ManualDriverLatency() + 8820);
  EXPECT_TRUE(Silent(Play(4410)));
  EXPECT_EQ(Query(kPlaying, 1), 0);
  Do(kLoop, {1});
  Play(ManualDriverLatency() + 8820);
  EXPECT_FALSE(Silent(Play(4410)));
  EXPECT_EQ(Query(kPlaying, 1), 1);
  Do(kPause, {1});
  Play(ManualDriverLatency());
  EXPECT_TRUE(Silent(Play(4410)));
  Do(kResume, {1});
  Play(ManualDriverLatency());
  EXPECT_FALSE(Silent(Play(4410)));
  Do(kStop, {1});
  Play(ManualDriverLatency());
  EXPECT_TRUE(Silent(Play(4410)));
}

TEST_F(SoundCmdTest, FocusLossPausesWhatPlaysAndKeepsTheProgramsPause) {
  const std::string a = Wav("a.wav", Tone(44100));
  Do(kLoad, {a.c_str(), 1});
  Do(kLoad, {a.c_str(), 2});
  Do(kLoop, {1});
  Do(kLoop, {2});
  Do(kPause, {2});
  PauseAllAudio();
  EXPECT_TRUE(SoundGetChannelPaused(Slot(1).channel));
  ResumeAllAudio();
  EXPECT_FALSE(SoundGetChannelPaused(Slot(1).channel));
  EXPECT_TRUE(SoundGetChannelPaused(Slot(2).channel));
  EXPECT_EQ(Query(kPaused, 2), 1);
  EXPECT_EQ(Query(kPaused, 1), 0);
}

TEST_F(SoundCmdTest, ThreeDSoundsCarryTheirPosition) {
  Do(kLoad3D, {Wav("a.wav", Tone(44100)).c_str(), 4});
  EXPECT_EQ(Query(kTypeOf, 4), 1);
  Do(kPosition, {4, 1.5f, 2.0f, -3.0f});
  Do(kLoop, {4});
  float position[3], velocity[3];
  ASSERT_TRUE(SoundGetChannel3DAttributes(Slot(4).channel, position, velocity));
  EXPECT_FLOAT_EQ(position[0], 1.5f);
  EXPECT_FLOAT_EQ(position[2], -3.0f);
  EXPECT_FLOAT_EQ(Do(kPositionX, {Arg::Result(), 4}).result.f, 1.5f);
  // A 3D load needs the file itself.
  EXPECT_EQ(Do(kLoad3D, {"nothing.wav", 5}).error, 3002);
}

TEST_F(SoundCmdTest, RecordingKeepsWhatFollowsTheLeadingSilence) {
  std::vector<int16_t> input(3000, 100);
  for (size_t k = 1000; k < input.size(); ++k) input[k] = int16_t(5000 + k);
  std::vector<uint8_t> bytes(input.size() * 2);
  std::memcpy(bytes.data(), input.data(), bytes.size());
  ManualDriverSetInput(bytes);
  ASSERT_EQ(Do(kRecordFor, {6, 1}).error, 0);
  EXPECT_EQ(Query(kExist, 6), 0);
  Play(4410);
  ASSERT_EQ(Do(3028, {}).error, 0);
  ASSERT_EQ(Query(kExist, 6), 1);
  const uint32_t length = SoundSampleGetLength(Slot(6).sample);
  EXPECT_EQ(length, 4410u - 1000u);
  EXPECT_TRUE(Slot(6).sample->softwareOnly);  // a 2D sound: the 3D pass leaves it alone

  // Saved with the header of a 44100 Hz 16-bit mono sound and every byte of it.
  const std::string out = dir_.File("rec.wav");
  dir_.Write("rec.wav", std::string(100000, 'x'));
  ASSERT_EQ(Do(kSave, {out.c_str(), 6}).error, 0);
  const std::string wav = dir_.Read("rec.wav");
  ASSERT_EQ(wav.size(), 44 + 2 * length);
  const uint8_t header[36] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0,
                              0,   0,   1,   0,   1, 0, 0x44, 0xAC, 0, 0, 0x88, 0x58, 1, 0, 2, 0, 16, 0};
  EXPECT_EQ(std::memcmp(wav.data() + 8, header + 8, 28), 0);
  int16_t first;
  std::memcpy(&first, wav.data() + 44, 2);
  EXPECT_EQ(first, 6000);

  // Silence throughout keeps nothing.
  ManualDriverSetInput({});
  Do(kRecord, {7});
  Play(4410);
  EXPECT_EQ(Do(kStopRecording, {}).error, 3002);
  EXPECT_EQ(Query(kExist, 7), 0);
  // Loading into the number being recorded into ends the recording.
  Do(kRecord, {8});
  EXPECT_EQ(Do(kLoad, {Wav("a.wav", Tone(10)).c_str(), 8}).error, 0);
  EXPECT_EQ(g_soundCmd.recordingSlot, 0);
}

// A headless run, where the engine would play on the no-sound output: sound is not available,
// so nothing loads or records and no sound command stops the program.
TEST_F(SoundCmdTest, HeadlessSoundIsNotAvailable) {
  ShutdownSound();
  ManualDriverInstall(false);
  PlatformSetHeadless(true);
  InitSoundEngine();
  PlatformSetHeadless(false);
  ASSERT_FALSE(g_soundCmd.available);
  const std::string wav = Wav("a.wav", Tone(100)), folder = dir_.File("sub");
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  // A file that is missing or no regular file is said as it is with a device; the rest is silent.
  const struct {
    int number;
    std::initializer_list<Arg> args;
    std::string cause = "";
  } cases[] = {
      {3001, {wav.c_str(), 2}},
      {3001, {"missing.wav", 3}, "missing.wav: not found"},
      {3011, {"missing.wav", 4}, "missing.wav: not found"},
      {3001, {folder.c_str(), 3}, folder + ": not a regular file"},
      {3011, {folder.c_str(), 4}, folder + ": not a regular file"},
      {3003, {2}}, {3003, {7}}, {3030, {1, 2}}, {3028, {}},
  };
  for (const auto& c : cases) {
    g_lastEngineError.clear();
    EXPECT_EQ(Do(c.number, c.args).error, c.cause.empty() ? 0 : kErrSoundNotLoaded) << c.number;
    EXPECT_EQ(g_lastEngineError, c.cause) << c.number;
  }
  g_lastEngineError.clear();
  for (int n : {1, 2, 3, 4}) EXPECT_EQ(Query(3051, n), 0) << n;
}

TEST_F(SoundCmdTest, SavedSoundsKeepTheirOwnFormat) {
  std::vector<int16_t> values = {1, -2, 300, -32768};
  Do(kLoad, {Wav("a.wav", values, 22050).c_str(), 1});
  const std::string out = dir_.File("a2.wav");
  ASSERT_EQ(Do(kSave, {out.c_str(), 1}).error, 0);
  const std::string wav = dir_.Read("a2.wav");
  ASSERT_EQ(wav.size(), 44u + 8u);
  uint32_t rate;
  std::memcpy(&rate, wav.data() + 24, 4);
  EXPECT_EQ(rate, 22050u);
  EXPECT_EQ(std::memcmp(wav.data() + 44, values.data(), 8), 0);

  // 8-bit data goes back to the file unsigned.
  const std::string raw8 = std::string("RIFF") + std::string("\x28\0\0\0", 4) + "WAVEfmt " +
                           std::string("\x10\0\0\0\x01\0\x01\0\x40\x1f\0\0\x40\x1f\0\0\x01\0\x08\0", 20) + "data" +
                           std::string("\x04\0\0\0", 4) + std::string("\x00\x80\xff\x10", 4);
  dir_.Write("b8.wav", raw8);
  ASSERT_EQ(Do(kLoad, {dir_.File("b8.wav").c_str(), 2}).error, 0);
  ASSERT_EQ(Do(kSave, {dir_.File("b8out.wav").c_str(), 2}).error, 0);
  EXPECT_EQ(dir_.Read("b8out.wav"), raw8);
}

TEST_F(SoundCmdTest, WithoutSoundCommandsRunSilently) {
  Do(kLoad, {Wav("a.wav", Tone(100)).c_str(), 1});
  ShutdownSound();
  EXPECT_EQ(g_soundCmd.available, 0);
  EXPECT_EQ(Query(kExist, 1), 0);
  for (int n : {1, 5, 1025}) EXPECT_EQ(Do(kPlay, {n}).error, 0);
  EXPECT_EQ(Do(kLoad, {dir_.File("a.wav").c_str(), 5}).error, 0);
  EXPECT_EQ(Do(kLoad, {"missing.wav", 5}).error, kErrSoundNotLoaded);
  g_lastEngineError.clear();
  EXPECT_EQ(Do(kClone, {2, 9}).error, 0);
  EXPECT_EQ(Do(kRecord, {3}).error, 0);
  EXPECT_EQ(Do(kSave, {"x.wav", 3}).error, 0);
  EXPECT_EQ(Do(kPlay, {1026}).error, 3001);
}

}  // namespace
