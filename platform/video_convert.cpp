// Colour conversion of decoded pictures into surfaces, and the threads that do it while the
// decoder thread goes on with the next pictures. Pictures go to the converters in turn and are
// taken back in the same order.
#include <cstring>
#include <system_error>

#include "platform/video_internal.h"

namespace {

using Impl = VideoStream::Impl;

void ConverterLoop(Impl* s, VideoConverter* c) {
  std::unique_lock lock(c->mu);
  for (;;) {
    c->cv.wait(lock, [&] { return c->quit || c->job; });
    if (c->quit) return;
    lock.unlock();
    const bool ok = ConvertInto(s, &c->scaler, c->frame, c->surface.get());
    g_ffmpeg.av_frame_unref(c->frame);
    lock.lock();
    c->ok = ok;
    c->job = false;
    c->cv.notify_all();
  }
}

}  // namespace

bool ConvertInto(Impl* s, VideoScaler* scaler, const AVFrame* f, Surface* out) {
  if (f->width < 1 || f->height < 1) return false;
  scaler->context = g_ffmpeg.sws_getCachedContext(scaler->context, f->width, f->height, AVPixelFormat(f->format),
                                                  s->width, s->height, s->outPixels, SWS_BILINEAR, nullptr, nullptr,
                                                  nullptr);
  if (!scaler->context) return false;
  AVFrame* p = scaler->picture;
  if (!p) {  // the stream's size and pixel format never change: made once
    p = scaler->picture = g_ffmpeg.av_frame_alloc();
    if (!p) return false;
    p->format = s->outPixels;
    p->width = s->width;
    p->height = s->height;
    if (g_ffmpeg.av_frame_get_buffer(p, 0) < 0) {
      g_ffmpeg.av_frame_free(&scaler->picture);
      return false;
    }
  }
  if (g_ffmpeg.sws_scale(scaler->context, f->data, f->linesize, 0, f->height, p->data, p->linesize) != s->height)
    return false;
  const int32_t bpp = out->Format().BytesPerPixel();
  for (int32_t y = 0; y < s->height; ++y) {
    uint8_t* row = out->Row(y);
    std::memcpy(row, p->data[0] + ptrdiff_t(y) * p->linesize[0], size_t(s->width) * size_t(bpp));
    // The scaler fills the unused byte; the display's 32-bit pixels keep it 0.
    if (s->outPixels == AV_PIX_FMT_BGR0)
      for (int32_t x = 0; x < s->width; ++x) row[x * 4 + 3] = 0;
  }
  return true;
}

void FreeScaler(VideoScaler* scaler) {
  g_ffmpeg.sws_freeContext(scaler->context);
  scaler->context = nullptr;
  g_ffmpeg.av_frame_free(&scaler->picture);
}

void StartConversion(Impl* s, SurfacePtr surface, int64_t ms) {
  VideoConverter& c = s->converters[(s->convertHead + s->convertCount) % kVideoConverters];
  ++s->convertCount;
  c.surface = std::move(surface);
  c.ms = ms;
  if (!c.frame) c.frame = g_ffmpeg.av_frame_alloc();
  if (!c.frame) {  // no room for the hand-over: converted here instead
    c.ok = ConvertInto(s, &c.scaler, s->frame, c.surface.get());
    g_ffmpeg.av_frame_unref(s->frame);
    return;
  }
  g_ffmpeg.av_frame_move_ref(c.frame, s->frame);
  if (!c.thread.joinable()) {
    try {
      c.thread = std::thread([s, &c] { ConverterLoop(s, &c); });
    } catch (const std::system_error&) {  // no thread to be had: converted here instead
      c.ok = ConvertInto(s, &c.scaler, c.frame, c.surface.get());
      g_ffmpeg.av_frame_unref(c.frame);
      return;
    }
  }
  std::lock_guard lock(c.mu);
  c.job = true;
  c.cv.notify_all();
}

Converted TakeConversion(Impl* s, SurfacePtr* surface, int64_t* ms) {
  if (s->convertCount == 0) return Converted::kNone;
  VideoConverter& c = s->converters[s->convertHead];
  s->convertHead = (s->convertHead + 1) % kVideoConverters;
  --s->convertCount;
  bool ok;
  {
    std::unique_lock lock(c.mu);
    c.cv.wait(lock, [&] { return !c.job; });
    ok = c.ok;
  }
  *ms = c.ms;
  if (!ok) {
    c.surface.reset();
    return Converted::kFailed;
  }
  *surface = std::move(c.surface);
  return Converted::kOk;
}

void VideoStream::Impl::StopConverter() {
  for (VideoConverter& c : converters) {
    {
      std::lock_guard lock(c.mu);
      c.quit = true;
    }
    c.cv.notify_all();
    if (c.thread.joinable()) c.thread.join();
    g_ffmpeg.av_frame_free(&c.frame);
  }
}
