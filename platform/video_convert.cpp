// Colour conversion of decoded pictures into surfaces, and the thread that does it while the
// decoder thread goes on with the next picture.
#include "platform/video_internal.h"

namespace {

using Impl = VideoStream::Impl;

void ConverterLoop(Impl* s) {
  std::unique_lock lock(s->convertMu);
  for (;;) {
    s->convertCv.wait(lock, [&] { return s->convertQuit || s->convertJob; });
    if (s->convertQuit) return;
    lock.unlock();
    const bool ok = ConvertInto(s, s->convertFrame, s->convertSurface.get());
    av_frame_unref(s->convertFrame);
    lock.lock();
    s->convertOk = ok;
    s->convertJob = false;
    s->convertCv.notify_all();
  }
}

}  // namespace

bool ConvertInto(Impl* s, const AVFrame* f, Surface* out) {
  if (f->width < 1 || f->height < 1) return false;
  s->scaler = sws_getCachedContext(s->scaler, f->width, f->height, AVPixelFormat(f->format), s->width, s->height,
                                   s->outPixels, SWS_BILINEAR, nullptr, nullptr, nullptr);
  if (!s->scaler) return false;
  uint8_t* dst[4] = {out->Row(0), nullptr, nullptr, nullptr};
  int lines[4] = {out->Pitch(), 0, 0, 0};
  if (sws_scale(s->scaler, f->data, f->linesize, 0, f->height, dst, lines) != s->height) return false;
  if (s->outPixels == AV_PIX_FMT_BGR0) {
    // The scaler fills the unused byte; the display's 32-bit pixels keep it 0.
    for (int32_t y = 0; y < s->height; ++y) {
      uint8_t* row = out->Row(y);
      for (int32_t x = 0; x < s->width; ++x) row[x * 4 + 3] = 0;
    }
  }
  return true;
}

void StartConversion(Impl* s, SurfacePtr surface, int64_t ms) {
  if (!s->convertFrame) s->convertFrame = av_frame_alloc();
  if (!s->convertFrame) {  // no room for the hand-over: converted here instead
    s->convertOk = ConvertInto(s, s->frame, surface.get());
    av_frame_unref(s->frame);
    s->convertSurface = std::move(surface);
    s->convertMs = ms;
    s->converting = true;
    return;
  }
  av_frame_move_ref(s->convertFrame, s->frame);
  s->convertSurface = std::move(surface);
  s->convertMs = ms;
  s->converting = true;
  if (!s->converter.joinable()) s->converter = std::thread([s] { ConverterLoop(s); });
  std::lock_guard lock(s->convertMu);
  s->convertJob = true;
  s->convertCv.notify_all();
}

Converted TakeConversion(Impl* s, SurfacePtr* surface, int64_t* ms) {
  if (!s->converting) return Converted::kNone;
  bool ok;
  {
    std::unique_lock lock(s->convertMu);
    s->convertCv.wait(lock, [&] { return !s->convertJob; });
    ok = s->convertOk;
  }
  s->converting = false;
  *ms = s->convertMs;
  if (!ok) {
    s->convertSurface.reset();
    return Converted::kFailed;
  }
  *surface = std::move(s->convertSurface);
  return Converted::kOk;
}

void VideoStream::Impl::StopConverter() {
  {
    std::lock_guard lock(convertMu);
    convertQuit = true;
  }
  convertCv.notify_all();
  if (converter.joinable()) converter.join();
  av_frame_free(&convertFrame);
}
