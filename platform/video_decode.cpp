// The decoder thread of a VideoStream: reads packets, decodes pictures into the frame queue in
// the caller's pixel format and sound into the ring, and seeks back to the start on request.
// It waits only when the queue is full and nothing else is left to do.
#include <algorithm>
#include <cstring>

#include "platform/video_internal.h"

namespace {

using Impl = VideoStream::Impl;

constexpr int64_t kLatestMs = int64_t(1) << 40;

// How far the sound may be decoded ahead of what the sound thread has read.
size_t SoundAheadFrames(const Impl* s) { return size_t(s->options.audioRate); }

// Time of a decoded picture in milliseconds from the start, never before the previous one.
int64_t FrameTime(Impl* s, const AVFrame* f) {
  int64_t pts = f->best_effort_timestamp;
  if (pts == AV_NOPTS_VALUE) pts = f->pts;
  if (pts != AV_NOPTS_VALUE && s->startPts == AV_NOPTS_VALUE) s->startPts = pts;
  int64_t ms;
  if (pts == AV_NOPTS_VALUE) {
    ms = s->timedMs < 0 ? 0 : s->timedMs + s->frameMs;
  } else {
    AVRational tb = s->format->streams[s->videoIndex]->time_base;
    // Hostile timestamps: differences without overflow, times kept below a few decades.
    int64_t d = 0;
    if (__builtin_sub_overflow(pts, s->startPts, &d)) d = pts > s->startPts ? INT64_MAX : 0;
    ms = d <= 0 ? 0 : d >= (int64_t(1) << 50) ? kLatestMs : g_ffmpeg.av_rescale_q(d, tb, AVRational{1, 1000});
  }
  ms = std::clamp<int64_t>(ms, 0, kLatestMs);
  s->timedMs = std::max(ms, s->timedMs);
  return s->timedMs;
}

void Finish(Impl* s);

// Puts a converted picture at the end of the queue (back to the spare ones when a rewind came
// after its decoding).
void Queue(Impl* s, SurfacePtr surface, int64_t ms) {
  std::lock_guard lock(s->mu);
  if (s->seekRequested) {  // decoded before the rewind: not part of the new run
    s->spare.push_back(std::move(surface));
    return;
  }
  s->lastMs = ms;
  s->frames.push_back({std::move(surface), ms});
  s->consumerCv.notify_all();
}

// Takes back the oldest picture with the converters, if any, and queues it; a failed conversion
// ends the video there (false).
bool Deliver(Impl* s) {
  SurfacePtr surface;
  int64_t ms = 0;
  switch (TakeConversion(s, &surface, &ms)) {
    case Converted::kNone: return true;
    case Converted::kOk: Queue(s, std::move(surface), ms); return true;
    case Converted::kFailed: break;
  }
  Finish(s);
  return false;
}

// The end of the pictures: the last one stays on until its time is over.
void Finish(Impl* s) {
  while (s->convertCount > 0) Deliver(s);
  std::lock_guard lock(s->mu);
  if (s->seekRequested) return;
  s->finished = true;
  s->endMs = s->lastMs < 0 ? 0 : s->lastMs + s->frameMs;
  s->consumerCv.notify_all();
}

// Converts the pending picture into a free surface and queues it: at once while the stream
// opens, on a converter thread once the decoder thread runs (the oldest picture with the
// converters is queued first when none is free).
void QueuePending(Impl* s) {
  s->framePending = false;
  if (s->width == 0) {
    if (s->frame->width < 1 || s->frame->height < 1 || s->frame->width > s->options.maxSide ||
        s->frame->height > s->options.maxSide || int64_t(s->frame->width) * s->frame->height > kVideoMaxPixels)
      return Finish(s);
    s->width = s->frame->width;
    s->height = s->frame->height;
  }
  SurfacePtr surface;
  {
    std::lock_guard lock(s->mu);
    if (!s->spare.empty()) {
      surface = std::move(s->spare.back());
      s->spare.pop_back();
    }
  }
  if (!surface) surface = SurfaceCreate(s->width, s->height, s->options.format);
  if (s->convertCount == kVideoConverters && !Deliver(s)) {
    g_ffmpeg.av_frame_unref(s->frame);
    return;
  }
  if (!surface || (!s->pipelined && !ConvertInto(s, &s->scaler, s->frame, surface.get()))) {
    g_ffmpeg.av_frame_unref(s->frame);
    return Finish(s);
  }
  int64_t ms = FrameTime(s, s->frame);
  if (s->pipelined) return StartConversion(s, std::move(surface), ms);
  g_ffmpeg.av_frame_unref(s->frame);
  Queue(s, std::move(surface), ms);
}

void DecodeSound(Impl* s, const AVPacket* packet) {
  if (g_ffmpeg.avcodec_send_packet(s->audio, packet) < 0) return;  // a damaged sound packet is skipped
  while (g_ffmpeg.avcodec_receive_frame(s->audio, s->soundFrame) == 0) {
    int out = g_ffmpeg.swr_get_out_samples(s->resampler, s->soundFrame->nb_samples);
    if (out > 0) {
      s->soundScratch.resize(size_t(out) * 2);
      uint8_t* dst[1] = {reinterpret_cast<uint8_t*>(s->soundScratch.data())};
      int got = g_ffmpeg.swr_convert(s->resampler, dst, out, const_cast<const uint8_t**>(s->soundFrame->extended_data),
                            s->soundFrame->nb_samples);
      if (got > 0) s->SoundPush(s->soundScratch.data(), size_t(got));
    }
    g_ffmpeg.av_frame_unref(s->soundFrame);
  }
}

void DropPackets(Impl* s) {
  for (AVPacket*& p : s->videoPackets) g_ffmpeg.av_packet_free(&p);
  s->videoPackets.clear();
  s->videoPacketBytes = 0;
}

// Reads one packet: video packets wait in their queue, sound is decoded at once.
void Demux(Impl* s) {
  int r = g_ffmpeg.av_read_frame(s->format, s->packet);
  if (r < 0) {
    // The end of the file, or a file that fails here: what was read still plays.
    s->demuxEnded = true;
    if (s->audio) DecodeSound(s, nullptr);
    return;
  }
  if (s->packet->stream_index == s->videoIndex) {
    AVPacket* p = g_ffmpeg.av_packet_alloc();
    if (p) {
      g_ffmpeg.av_packet_move_ref(p, s->packet);
      s->videoPacketBytes += size_t(p->size);
      s->videoPackets.push_back(p);
    }
  } else if (s->packet->stream_index == s->audioIndex) {
    DecodeSound(s, s->packet);
  }
  g_ffmpeg.av_packet_unref(s->packet);
}

}  // namespace

void VideoStream::Impl::Wake() {
  ++wakeups;
  decoderCv.notify_all();
}

DecodeWork VideoStream::Impl::DecodeStep(bool slotFree) {
  DecodeWork work = Step(slotFree);
  // Nothing else to do: the picture with the converter is waited for, so that it is queued.
  if (work == DecodeWork::kIdle && convertCount > 0) {
    Deliver(this);
    return DecodeWork::kWorked;
  }
  return work;
}

DecodeWork VideoStream::Impl::Step(bool slotFree) {
  bool needPacket = false;
  if (framePending) {
    if (slotFree) {
      QueuePending(this);
      return DecodeWork::kWorked;
    }
  } else if (slotFree) {
    int r = g_ffmpeg.avcodec_receive_frame(video, frame);
    if (r == 0) {
      framePending = true;
      QueuePending(this);
      return DecodeWork::kWorked;
    }
    if (r == AVERROR(EAGAIN)) {
      if (!videoPackets.empty()) {
        AVPacket* p = videoPackets.front();
        videoPackets.pop_front();
        videoPacketBytes -= size_t(p->size);
        r = g_ffmpeg.avcodec_send_packet(video, p);
        g_ffmpeg.av_packet_free(&p);
        // A picture that fails to decode ends the video as if it had ended there.
        if (r < 0 && r != AVERROR(EAGAIN)) Finish(this);
        return DecodeWork::kWorked;
      }
      if (demuxEnded) {
        if (flushSent) {
          Finish(this);  // a decoder that neither gives nor takes anything
          return DecodeWork::kIdle;
        }
        flushSent = true;
        g_ffmpeg.avcodec_send_packet(video, nullptr);
        return DecodeWork::kWorked;
      }
      needPacket = true;
    } else {
      Finish(this);  // AVERROR_EOF: every picture is out; anything else: a failure
      return DecodeWork::kIdle;
    }
  }
  bool readAhead = audio && videoPackets.size() < kVideoMaxPackets && videoPacketBytes < kVideoMaxPacketBytes &&
                   SoundBuffered() < SoundAheadFrames(this);
  if (!demuxEnded && (needPacket || readAhead)) {
    Demux(this);
    return DecodeWork::kWorked;
  }
  return DecodeWork::kIdle;
}

void VideoStream::Impl::Seek() {
  while (convertCount > 0) Deliver(this);  // back to the spare surfaces: the rewind is asked for
  AVStream* vs = format->streams[videoIndex];
  int64_t start = vs->start_time != AV_NOPTS_VALUE ? vs->start_time : 0;
  bool ok = g_ffmpeg.av_seek_frame(format, videoIndex, start, AVSEEK_FLAG_BACKWARD) >= 0 ||
            g_ffmpeg.av_seek_frame(format, -1, 0, AVSEEK_FLAG_BYTE) >= 0;
  g_ffmpeg.avcodec_flush_buffers(video);
  if (audio) g_ffmpeg.avcodec_flush_buffers(audio);
  if (resampler) {
    g_ffmpeg.swr_close(resampler);
    g_ffmpeg.swr_init(resampler);
  }
  DropPackets(this);
  g_ffmpeg.av_frame_unref(frame);
  framePending = false;
  demuxEnded = !ok;  // a file that cannot go back plays what the decoder still holds, then ends
  flushSent = false;
  lastMs = -1;
  timedMs = -1;
  std::lock_guard lock(mu);
  seekRequested = false;
  finished = false;
}

void VideoStream::Impl::DecoderLoop() {
  pipelined = true;
  std::unique_lock lock(mu);
  while (!quit) {
    if (seekRequested) {
      lock.unlock();
      Seek();
      lock.lock();
      continue;
    }
    uint64_t seen = wakeups;
    if (finished) {
      decoderCv.wait(lock, [&] { return quit || seekRequested; });
      continue;
    }
    bool slotFree = frames.size() + size_t(convertCount) < kVideoQueueFrames;
    lock.unlock();
    DecodeWork work = DecodeStep(slotFree);
    lock.lock();
    if (work == DecodeWork::kIdle) decoderCv.wait(lock, [&] { return quit || wakeups != seen; });
  }
}

void VideoStream::Impl::SoundPush(const int16_t* data, size_t count) {
  std::lock_guard lock(soundMu);
  if (ringFrames == 0) return;
  if (count > ringFrames) {  // only the newest ring's worth can be kept
    data += (count - ringFrames) * 2;
    count = ringFrames;
  }
  size_t overflow = ringCount + count > ringFrames ? ringCount + count - ringFrames : 0;
  ringRead = (ringRead + overflow) % ringFrames;  // nobody is reading: the oldest sound goes
  ringCount -= overflow;
  for (size_t done = 0; done < count;) {
    size_t at = (ringRead + ringCount) % ringFrames;
    size_t run = std::min(count - done, ringFrames - at);
    std::memcpy(ring.data() + at * 2, data + done * 2, run * 4);
    ringCount += run;
    done += run;
  }
}

size_t VideoStream::Impl::SoundBuffered() {
  std::lock_guard lock(soundMu);
  return ringCount;
}

void VideoStream::Impl::SoundClear() {
  std::lock_guard lock(soundMu);
  ringRead = ringCount = 0;
}
