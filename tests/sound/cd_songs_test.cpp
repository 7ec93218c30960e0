// CD audio without a drive, and the song layer's record keeping.
#include <gtest/gtest.h>

#include <set>

#include "sound/engine/cd/cd_audio.h"
#include "sound/engine/songs.h"
#include "sound/engine/sound_engine.h"
#include "tests/sound/sound_fixture.h"

namespace {

TEST(CdAudio, EveryDriveOperationFindsNoDevice) {
  CdReset();
  EXPECT_FALSE(CdPlay(1));
  EXPECT_FALSE(CdStop());
  EXPECT_FALSE(CdSetPaused(true));
  EXPECT_FALSE(CdOpenDoor());
  EXPECT_EQ(CdGetVolume(), -1);
  EXPECT_EQ(CdGetNumTracks(), 0);
  EXPECT_EQ(CdGetTrackLength(1), 0);
  EXPECT_EQ(CdGetTrackTime(), 0);
  EXPECT_EQ(CdStartPlayWatch(), 0);
  EXPECT_TRUE(CdClose());
  CdSetPlayMode(kCdRandom);
  EXPECT_EQ(CdGetPlayMode(), kCdRandom);
}

TEST(CdAudio, TimesFromTheDrivesPackedReplies) {
  EXPECT_EQ(CdLengthMs(3 | 18 << 8), 3 * 60000 + 18 * 1000);
  const uint32_t position = 5 | 3 << 8 | 18 << 16;
  EXPECT_EQ(CdPositionMs(position, 600000), 3 * 60000 + 18 * 1000);
  EXPECT_EQ(CdPositionMs(position | 37u << 24, 600000), 3 * 60000 + 18 * 1000 + 500);
  EXPECT_EQ(CdPositionMs(position, 1000), 1000);  // limited to the track's length
  EXPECT_EQ(CdPositionMs(512, 600000), 0);
}

TEST(CdAudio, ShuffledPlayTakesOnlyTheDiscsTracksInTheSameOrderEveryRun) {
  CdReset();
  std::vector<int32_t> first;
  for (int k = 0; k < 20; ++k) first.push_back(CdNextShuffledTrack(10));
  std::set<int32_t> seen(first.begin(), first.end());
  EXPECT_EQ(*seen.begin(), 1);
  EXPECT_EQ(*seen.rbegin(), 10);
  CdReset();
  for (int k = 0; k < 20; ++k) EXPECT_EQ(CdNextShuffledTrack(10), first[size_t(k)]);
  const uint16_t* table = CdShuffleTable();
  EXPECT_EQ(std::set<uint16_t>(table, table + 256).size(), 256u);
  EXPECT_EQ(CdNextShuffledTrack(0), 0);
}

class SongTest : public SoundTest {};

TEST_F(SongTest, LoadsFailAndTheRecordKeepingWorks) {
  StartNoSound();
  EXPECT_EQ(SongLoadFile("/nonexistent/song.mod"), nullptr);
  EXPECT_EQ(SoundGetError(), kSoundErrFileOpen);
  const char bytes[16] = "M.K. not a song";
  EXPECT_EQ(SongLoadMemory(bytes, 16), nullptr);
  EXPECT_EQ(SoundGetError(), kSoundErrFileFormat);

  SoundSong* song = SongCreate();
  song->orders = {0, 1, 2};
  EXPECT_TRUE(SongSetTempo(song, 0));
  EXPECT_EQ(SongGetTempo(song), 1);
  EXPECT_EQ(SongSamplesPerTick(44100, 125), 882);
  EXPECT_TRUE(SongSetOrder(song, 9));
  EXPECT_EQ(song->order, 2);
  EXPECT_TRUE(SongSetMasterVolume(song, 999));
  EXPECT_EQ(song->masterVolume, 256);
  EXPECT_FALSE(SongSetRowCallback(song, nullptr, -1));
  EXPECT_FALSE(SongRecordEvent(song, 0, 4));  // no order callback
  SongSetOrderCallback(song, [](SoundSong*, int32_t) {}, 2);
  EXPECT_TRUE(SongRecordEvent(song, 0, 4));
  EXPECT_FALSE(SongRecordEvent(song, 0, 3));
  EXPECT_EQ(song->rings[0][0].value, 4);
  song->type = 4;
  song->flags = 0x100;
  EXPECT_TRUE(SongGetFinished(song));
  EXPECT_TRUE(SongPlay(song));
  EXPECT_TRUE(song->playing);
  SoundClose();  // empties the list of playing songs
  EXPECT_FALSE(song->playing);
  EXPECT_TRUE(SongFree(song));
  EXPECT_FALSE(SongFree(nullptr));
  EXPECT_EQ(FinetuneToRate(8), 7895);
  EXPECT_EQ(FinetuneToRate(0), 8363);
}

}  // namespace
