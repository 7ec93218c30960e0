#pragma once
// Video clips made at test time with the ffmpeg command, once per test binary, in a folder
// removed at exit.
#include <cstdint>
#include <string>

// A rawvideo AVI in BGR24 of kClipFrames frames of 64 x 48 at 25 frames a second (40 ms a
// frame). Frame k's left half is ClipLeft(k), its right half ClipRight(k) (0x00RRGGBB), so
// pixels are exact after conversion to 32-bit and, for these colours, to 5-6-5.
inline constexpr int32_t kClipFrames = 6, kClipWidth = 64, kClipHeight = 48, kClipFrameMs = 40;
uint32_t ClipLeft(int32_t frame);
uint32_t ClipRight(int32_t frame);
const std::string& ColourClip();
// An MPEG-4 clip of 160 x 120, 1 s at 25 frames a second (the real decoding path).
const std::string& Mpeg4Clip();
// An MPEG-4 clip of 5 frames of one colour, `width` x 12.
const std::string& SolidClip(int32_t width);
// The MPEG-4 clip cut off in the middle of its data.
const std::string& TruncatedClip();
// An MPEG-4 clip of 3 s with a 440 Hz sine sound track (16-bit PCM, 44100 Hz, stereo).
const std::string& SoundClip();
// Any file in the clips' folder (for writing damaged copies).
std::string ClipFolderFile(const std::string& name);
