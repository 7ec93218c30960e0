#pragma once
// The inside of a VideoStream, shared by its opening, decoding and playback files.
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/video.h"

#include "platform/libs/ffmpeg_api.h"

// Frames decoded ahead of the play position.
inline constexpr size_t kVideoQueueFrames = 3;
// Compressed video packets read ahead so that the sound keeps coming while the frame queue is
// full; bounded by count and by bytes.
inline constexpr size_t kVideoMaxPackets = 64;
inline constexpr size_t kVideoMaxPacketBytes = 32u << 20;
// Pictures larger than this many pixels are refused.
inline constexpr int64_t kVideoMaxPixels = int64_t(3840) * 2160;
// Opening may take this long before it is given up (a hostile file cannot hold the caller).
inline constexpr uint32_t kVideoOpenTimeoutMs = 10000;
// Longest wait for the decoder when the caller asks to wait for the due frame.
inline constexpr uint32_t kVideoWaitTimeoutMs = 5000;

struct QueuedFrame {
  SurfacePtr surface;
  int64_t ms = 0;  // time of the frame from the start of the video
};

enum class DecodeWork { kWorked, kIdle };

// A scaler and the picture it writes into. The scaler's fast paths write whole blocks of pixels,
// past the end of a row and of the last row, so it is given a picture of FFmpeg's own padded
// layout, never the surface itself; the rows are copied from there.
struct VideoScaler {
  SwsContext* context = nullptr;
  AVFrame* picture = nullptr;
};
void FreeScaler(VideoScaler* scaler);

// Converts a decoded picture into a surface of the stream's size and pixel format with the
// scaler (its context made or remade for the picture's size and format).
bool ConvertInto(VideoStream::Impl* s, VideoScaler* scaler, const AVFrame* f, Surface* out);
// Hands the decoded picture in s->frame (with its surface and time) to a free converter thread
// (one must be free); the frame is left empty.
void StartConversion(VideoStream::Impl* s, SurfacePtr surface, int64_t ms);
// Waits for the oldest picture with the converters, if any: kOk with its surface and time when
// it converted; kFailed when it could not be converted; kNone (no wait) when none is there.
enum class Converted { kNone, kOk, kFailed };
Converted TakeConversion(VideoStream::Impl* s, SurfacePtr* surface, int64_t* ms);

// Pictures converted at the same time, each on a thread of its own.
inline constexpr int kVideoConverters = 2;

// One converter thread and the picture handed to it.
struct VideoConverter {
  std::thread thread;
  std::mutex mu;                   // guards the three flags
  std::condition_variable cv;
  bool job = false, ok = false, quit = false;
  AVFrame* frame = nullptr;        // the picture handed over, its surface and time
  SurfacePtr surface;
  int64_t ms = 0;
  VideoScaler scaler;
};

struct VideoStream::Impl {
  ~Impl();

  // ---- the decoder's own state (the caller's thread touches it only before the thread runs) ----
  FILE* file = nullptr;
  AVIOContext* io = nullptr;
  AVFormatContext* format = nullptr;
  AVCodecContext* video = nullptr;
  AVCodecContext* audio = nullptr;
  int videoIndex = -1, audioIndex = -1;
  VideoScaler scaler;
  SwrContext* resampler = nullptr;
  AVFrame* frame = nullptr;       // video frame being decoded
  AVFrame* soundFrame = nullptr;  // audio frame being decoded
  AVPacket* packet = nullptr;
  std::deque<AVPacket*> videoPackets;
  size_t videoPacketBytes = 0;
  bool framePending = false;   // `frame` holds a picture waiting for a queue slot
  bool demuxEnded = false;     // no more packets (end of file or a read failure)
  bool flushSent = false;      // the video decoder was told the packets have ended
  int64_t startPts = AV_NOPTS_VALUE;
  int64_t lastMs = -1;         // time of the last frame queued
  int64_t frameMs = 40;        // nominal length of a frame
  std::vector<int16_t> soundScratch;

  // ---- fixed after opening ----
  VideoOptions options;
  AVPixelFormat outPixels = AV_PIX_FMT_NONE;
  int32_t width = 0, height = 0;

  // ---- shared with the caller, under mu ----
  std::mutex mu;
  std::condition_variable decoderCv, consumerCv;
  std::deque<QueuedFrame> frames;
  std::vector<SurfacePtr> spare;
  bool finished = false;        // the decoder has queued its last frame
  int64_t endMs = 0;            // time when the last frame's display is over
  bool seekRequested = false;
  bool quit = false;
  uint64_t wakeups = 0;         // bumped by every event the idle decoder may wait for
  std::thread thread;

  // ---- colour conversion on threads of their own, so that the decoder goes on with the next
  // pictures meanwhile (video_convert.cpp); decoder thread only, but for each converter's flags,
  // which are under its own mutex ----
  bool pipelined = false;          // pictures go to the converters
  VideoConverter converters[kVideoConverters];
  int convertHead = 0, convertCount = 0;  // the oldest picture handed over, and how many are out
  int64_t timedMs = -1;            // time given to the last picture taken from the decoder

  // ---- the sound ring, under soundMu (frames of two int16) ----
  std::mutex soundMu;
  std::vector<int16_t> ring;
  size_t ringFrames = 0, ringRead = 0, ringCount = 0;

  // ---- open deadline and abort, read by FFmpeg's interrupt callback ----
  std::atomic<bool> abort{false};
  std::atomic<uint32_t> deadlineStart{0};
  std::atomic<bool> deadlineOn{false};

  // ---- the play clock (caller's thread only) ----
  bool running = false;
  uint32_t baseMs = 0, runStartMs = 0;

  // Decoder work (video_decode.cpp).
  DecodeWork DecodeStep(bool slotFree);
  DecodeWork Step(bool slotFree);
  void DecoderLoop();
  void Seek();
  void Wake();  // under mu: one more event for the decoder
  void StopConverter();
  void SoundPush(const int16_t* data, size_t frames);
  size_t SoundBuffered();
  void SoundClear();
};
