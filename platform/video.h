#pragma once
// Video files over FFmpeg. A VideoStream demuxes and decodes on a thread of its own into a small
// queue of frames already converted to the caller's pixel format, and its sound (when asked
// for) into a ring of 16-bit stereo frames at the caller's rate. The caller's thread never
// decodes: it takes the frame due at the stream's play position and reads the sound ring.
//
// The play position is in milliseconds from the start of the video; it moves with the caller's
// clock while the stream runs and holds while it is stopped.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/surfaces.h"

struct VideoOptions {
  PixelFormat format;      // pixel format of the frames (16-bit 5-6-5 or 5-5-5, 24 or 32-bit)
  int32_t audioRate = 0;   // sound decoded at this rate, 16-bit stereo; 0: no sound
  // Frames wider or taller than this are refused (guards against absurd sizes in bad files).
  int32_t maxSide = 8192;
};

class VideoStream {
 public:
  // Opens the file and decodes its first picture. nullptr with a reason when the file cannot be
  // opened, holds no video, or its first picture cannot be decoded.
  static std::unique_ptr<VideoStream> Open(const std::string& path, const VideoOptions& options,
                                           std::string* error);
  ~VideoStream();
  VideoStream(const VideoStream&) = delete;
  VideoStream& operator=(const VideoStream&) = delete;

  int32_t Width() const;
  int32_t Height() const;
  bool HasAudio() const;
  int32_t AudioRate() const;  // rate of the decoded sound (0: none)

  // The play position moves on from nowMs (run) or holds where it is (stop).
  void Run(uint32_t nowMs);
  void Stop(uint32_t nowMs);
  bool Running() const;
  uint32_t Position(uint32_t nowMs) const;
  // Back to the start of the video: the queues are emptied, the decoder seeks to the start and
  // the play position is 0 at nowMs.
  void Rewind(uint32_t nowMs);

  enum class Due { kNone, kNew, kEnded };
  // Takes the latest decoded frame whose time has come at nowMs (earlier ones are dropped) and
  // swaps it into *current, whose old surface goes back to the stream (kNew). kNone when no new
  // frame is due yet; kEnded when the video has ended (or failed) and its last frame's time is
  // over (*current then holds the last frame). With wait, the call waits until the decoder has
  // reached the due frame (for clocks that do not run by themselves); otherwise it never waits.
  Due TakeDueFrame(uint32_t nowMs, bool wait, SurfacePtr* current);

  // Sound thread: copies up to `frames` decoded stereo frames into out; the rest is silence.
  // Returns the frames that held sound.
  size_t ReadAudio(int16_t* out, size_t frames);

  struct Impl;

 private:
  explicit VideoStream(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};
