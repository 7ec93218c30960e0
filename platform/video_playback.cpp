// The caller's side of a VideoStream: the play clock, the frame due at the play position, the
// rewind and the sound ring read by the sound thread.
#include <algorithm>
#include <chrono>
#include <cstring>

#include "platform/video_internal.h"

void VideoStream::Run(uint32_t nowMs) {
  Impl& s = *impl_;
  if (s.running) return;
  s.running = true;
  s.runStartMs = nowMs;
}

void VideoStream::Stop(uint32_t nowMs) {
  Impl& s = *impl_;
  if (!s.running) return;
  s.baseMs += nowMs - s.runStartMs;
  s.running = false;
}

bool VideoStream::Running() const { return impl_->running; }

uint32_t VideoStream::Position(uint32_t nowMs) const {
  const Impl& s = *impl_;
  return s.running ? s.baseMs + (nowMs - s.runStartMs) : s.baseMs;
}

void VideoStream::Rewind(uint32_t nowMs) {
  Impl& s = *impl_;
  {
    std::lock_guard lock(s.mu);
    for (QueuedFrame& f : s.frames) s.spare.push_back(std::move(f.surface));
    s.frames.clear();
    s.finished = false;
    s.seekRequested = true;
    s.Wake();
  }
  s.SoundClear();
  s.baseMs = 0;
  s.runStartMs = nowMs;
}

VideoStream::Due VideoStream::TakeDueFrame(uint32_t nowMs, bool wait, SurfacePtr* current) {
  Impl& s = *impl_;
  const int64_t position = Position(nowMs);
  std::unique_lock lock(s.mu);
  SurfacePtr due;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kVideoWaitTimeoutMs);
  for (;;) {
    while (!s.frames.empty() && s.frames.front().ms <= position) {
      if (due) s.spare.push_back(std::move(due));  // a late frame: dropped
      due = std::move(s.frames.front().surface);
      s.frames.pop_front();
      s.Wake();
    }
    // Waiting: until a frame after the position is decoded, or the pictures have ended.
    if (!wait || !s.frames.empty() || s.finished) break;
    if (s.consumerCv.wait_until(lock, deadline) == std::cv_status::timeout) break;
  }
  const bool isNew = due != nullptr;
  if (isNew) {
    SurfacePtr& old = *current;
    if (old && old->Width() == s.width && old->Height() == s.height) s.spare.push_back(std::move(old));
    old = std::move(due);
  }
  if (s.frames.empty() && s.finished && position >= s.endMs) return Due::kEnded;
  return isNew ? Due::kNew : Due::kNone;
}

size_t VideoStream::ReadAudio(int16_t* out, size_t count) {
  Impl& s = *impl_;
  size_t got = 0;
  bool low = false;
  {
    std::lock_guard lock(s.soundMu);
    got = std::min(count, s.ringCount);
    for (size_t done = 0; done < got;) {
      size_t run = std::min(got - done, s.ringFrames - s.ringRead);
      std::memcpy(out + done * 2, s.ring.data() + s.ringRead * 2, run * 4);
      s.ringRead = (s.ringRead + run) % s.ringFrames;
      done += run;
    }
    s.ringCount -= got;
    low = s.ringFrames > 0 && s.ringCount < size_t(s.options.audioRate);
  }
  std::memset(out + got * 2, 0, (count - got) * 4);
  if (low) {
    std::lock_guard lock(s.mu);
    s.Wake();
  }
  return got;
}
