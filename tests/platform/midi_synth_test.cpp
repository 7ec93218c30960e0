// The MIDI synthesiser over the library: a song its player does not take is refused, not
// played as silence.
#include <gtest/gtest.h>

#include <string>

#include "platform/libs/fluidsynth_api.h"
#include "platform/midi_synth.h"

namespace {

std::string Be(uint32_t v, int bytes) {
  std::string s;
  for (int i = bytes - 1; i >= 0; --i) s += char(v >> (8 * i));
  return s;
}

TEST(MidiSynth, ASongThePlayerRefusesIsNotOpened) {
  if (!OpenFluidSynth() || MidiFindSoundFont().empty()) GTEST_SKIP() << "no synthesiser or no SoundFont";
  const std::string track = std::string("\x00\xFF\x2F\x00", 4);  // the end of the track
  const std::string song = "MThd" + Be(6, 4) + Be(0, 2) + Be(1, 2) + Be(96, 2) + "MTrk" + Be(uint32_t(track.size()), 4) + track;
  std::string why;
  MidiRenderer* m = MidiOpenSong(song, 22050, &why);
  ASSERT_NE(m, nullptr) << why;
  MidiClose(m);
  const auto add = g_fluid.fluid_player_add_mem;
  g_fluid.fluid_player_add_mem = [](fluid_player_t*, const void*, size_t) { return int(FLUID_FAILED); };
  m = MidiOpenSong(song, 22050, &why);
  g_fluid.fluid_player_add_mem = add;
  EXPECT_EQ(m, nullptr);
  EXPECT_EQ(why, "the synthesiser refused the file");
  MidiClose(m);
}

}  // namespace
