#include "tests/display/video_clips.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

const uint32_t kColours[] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0x00FFFF, 0xFF00FF, 0xFFFFFF};

TempDir& Folder() {
  static TempDir dir;
  return dir;
}

void Ffmpeg(std::vector<std::string> args) {
  args.insert(args.begin(), {"-hide_banner", "-loglevel", "error", "-y"});
  ProcessResult r = RunProcess("/usr/bin/ffmpeg", args);
  ASSERT_EQ(r.status, 0) << r.err;
}

std::string MakeColourClip() {
  std::string raw;
  for (int32_t k = 0; k < kClipFrames; ++k)
    for (int32_t y = 0; y < kClipHeight; ++y)
      for (int32_t x = 0; x < kClipWidth; ++x) {
        uint32_t c = x < kClipWidth / 2 ? ClipLeft(k) : ClipRight(k);
        raw += char(c & 0xFF), raw += char(c >> 8 & 0xFF), raw += char(c >> 16);
      }
  Folder().Write("colours.raw", raw);
  std::string out = Folder().File("colours.avi");
  Ffmpeg({"-f", "rawvideo", "-pix_fmt", "bgr24", "-s", "64x48", "-r", "25", "-i", Folder().File("colours.raw"),
          "-c:v", "rawvideo", "-pix_fmt", "bgr24", out});
  return out;
}

std::string MakeMpeg4Clip(const std::string& name, bool sound) {
  std::string out = Folder().File(name);
  const std::string seconds = sound ? "3" : "1";
  std::vector<std::string> args = {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=" + seconds};
  if (sound) {
    args.insert(args.end(), {"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100:duration=" + seconds, "-ac", "2",
                             "-c:a", "pcm_s16le"});
  }
  args.insert(args.end(), {"-c:v", "mpeg4", "-q:v", "3", out});
  Ffmpeg(args);
  return out;
}

}  // namespace

uint32_t ClipLeft(int32_t frame) { return kColours[frame % 7]; }
uint32_t ClipRight(int32_t frame) { return kColours[(frame + 3) % 7]; }

const std::string& ColourClip() {
  static const std::string path = MakeColourClip();
  return path;
}

const std::string& Mpeg4Clip() {
  static const std::string path = MakeMpeg4Clip("mpeg4.avi", false);
  return path;
}

const std::string& SolidClip(int32_t width) {
  static std::map<int32_t, std::string> made;
  std::string& path = made[width];
  if (path.empty()) {
    path = Folder().File("solid" + std::to_string(width) + ".avi");
    Ffmpeg({"-f", "lavfi", "-i", "color=c=0x3060C0:size=" + std::to_string(width) + "x12:rate=25:duration=0.2", "-c:v",
            "mpeg4", "-q:v", "2", path});
  }
  return path;
}

const std::string& TruncatedClip() {
  static const std::string path = [] {
    std::string data = Folder().Read(std::filesystem::path(Mpeg4Clip()).filename().string());
    Folder().Write("truncated.avi", data.substr(0, data.size() / 2));
    return Folder().File("truncated.avi");
  }();
  return path;
}

const std::string& SoundClip() {
  static const std::string path = MakeMpeg4Clip("sound.avi", true);
  return path;
}

std::string ClipFolderFile(const std::string& name) { return Folder().File(name); }
