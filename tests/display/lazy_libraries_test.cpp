// Libraries opened on first use: one that cannot be loaded fails the operations that need it
// cleanly, naming itself, and the same operations work again once it can be had.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "display/imagefiles/image_files.h"
#include "platform/device3d.h"
#include "platform/audio.h"
#include "platform/ftp.h"
#include "platform/libs/shared_library.h"
#include "platform/midi_synth.h"
#include "platform/video.h"
#include "tests/display/image_fixtures.h"
#include "tests/support/temp_dir.h"

TEST(LazyLibraries, AMissingLibraryFailsItsOperationsCleanly) {
  TempDir dir;
  ASSERT_TRUE(WriteTiff(FixturePicture(4, 3, 16), dir.File("a.tif")));
  struct Case {
    const char* prefix;
    std::function<bool(std::string*)> use;  // true when the operation succeeded
  };
  const Case cases[] = {
      {"libavformat", [&](std::string* why) { return VideoStream::Open(dir.File("a.avi"), VideoOptions{}, why) != nullptr; }},
      {"libfluidsynth",
       [&](std::string* why) {
         MidiRenderer* m = MidiOpen(dir.File("a.mid"), 44100, why);
         MidiClose(m);
         return m != nullptr;
       }},
      {"libcurl", [](std::string*) { return FtpClient().Connect("127.0.0.1:1", "", ""); }},
      {"libtiff", [&](std::string*) { return LoadImageByExtension(dir.File("a.tif"), 32) != nullptr; }},
      {"libEGL", [](std::string*) { return CreateGlDevice(8, 8) != nullptr; }},
      {"libSDL2",
       [](std::string* why) {
         const bool open = AudioOutputOpen(nullptr, 22050, why);
         AudioOutputClose();
         return open;
       }},
  };
  for (const Case& c : cases) {
    PretendLibraryMissing(c.prefix);
    std::string why;
    EXPECT_FALSE(c.use(&why)) << c.prefix;
    if (c.prefix == std::string("libavformat") || c.prefix == std::string("libfluidsynth") ||
        c.prefix == std::string("libSDL2")) {
      EXPECT_EQ(why.rfind(c.prefix, 0), 0u) << why;
    }
    PretendLibraryMissing("");
  }
  // The library is opened for real afterwards: nothing of the refusal stays behind.
  EXPECT_NE(LoadImageByExtension(dir.File("a.tif"), 32), nullptr);
}
