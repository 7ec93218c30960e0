// The stream readers: raw and WAV PCM (through the converters) and MPEG audio.
#include <algorithm>
#include <cstring>

#include "sound/engine/streams/stream_internal.h"

namespace {

// Bytes of decoded output per millisecond of play.
double DecodedBytesPerMs(const SoundStream* s) { return (double)s->frequency * s->out_frame / 1000.0; }

void Flip(SoundStream* s, uint8_t* data, int32_t bytes) {
  if (!(s->mode & kSoundUnsigned)) return;
  if (s->mode & kSound16Bits) {
    for (int32_t i = 1; i < bytes; i += 2) data[i] ^= 0x80;
  } else {
    for (int32_t i = 0; i < bytes; i++) data[i] ^= 0x80;
  }
}

// Copies decoded bytes left over from the last conversion.
int32_t TakeDecoded(SoundStream* s, uint8_t* out, int32_t want) {
  const int32_t k = (int32_t)std::min<uint32_t>(want, s->decoded_fill - s->decoded_read);
  std::memcpy(out, s->decoded.data() + s->decoded_read, k);
  s->decoded_read += k;
  return k;
}

uint32_t ReadAt(SoundStream* s, int64_t pos, void* buf, uint32_t n) {
  if (SoundFileSeek(s->file, (int32_t)(s->data_start + pos), 0) < 0) return 0;
  return SoundFileRead(buf, n, s->file);
}

// Decodes the next MPEG frame into the decode buffer; false at the end of the data.
bool NextFrame(SoundStream* s) {
  for (;;) {
    if (s->read_pos + 4 > s->data_length) return false;
    uint8_t h[4];
    if (ReadAt(s, s->read_pos, h, 4) != 4) return false;
    int body = 0;
    bool ok = MpegParseHeader(s->decoder, h, nullptr, nullptr, &body);
    if (ok && s->mpeg_searching) {  // after a refusal a candidate needs a second sync one frame on
      uint8_t next[2];
      ok = ReadAt(s, s->read_pos + 4 + body, next, 2) == 2 && next[0] == 0xFF && (next[1] & 0xE0) == 0xE0;
    }
    if (!ok) {
      s->mpeg_searching = true;
      s->decoder->pending_size = 0;
      s->read_pos++;
      continue;
    }
    const uint32_t frame = (uint32_t)body + 4;
    if (s->read_pos + frame > s->data_length) return false;
    if (s->source.size() < frame) s->source.resize(frame);
    if (ReadAt(s, s->read_pos, s->source.data(), frame) != frame) return false;
    int bytes = 0;
    MpegDecodeFrame(s->decoder, s->source.data(), frame, (int16_t*)s->decoded.data(), &bytes);
    s->decoded_fill = (uint32_t)bytes;
    s->decoded_read = 0;
    s->read_pos += frame;
    return true;
  }
}

// Rewinds a looping stream; false when it does not loop.
bool Rewind(SoundStream* s) {
  if (!(s->mode & kSoundLoopNormal) || s->data_length == 0) return false;
  s->read_pos = 0;
  s->decoded_fill = s->decoded_read = 0;
  if (s->decoder) MpegDecoderRestart(s->decoder);
  return true;
}

}  // namespace

void StreamApplyPending(SoundStream* s) {
  if (s->pending_time >= 0) {
    int64_t pos;
    if (s->reader == StreamReader::Mpeg) {
      const uint32_t frame_samples = s->frame_output / std::max<uint32_t>(s->out_frame, 1);
      if (s->frames.count > 0 && frame_samples > 0) {
        const int64_t index = s->pending_time * s->frequency / 1000 / frame_samples;
        pos = s->frames.offsets[(size_t)std::min<int64_t>(index, s->frames.count - 1)];
      } else {
        pos = s->length_ms > 0 ? s->pending_time * (int64_t)s->data_length / s->length_ms : 0;
      }
    } else {
      pos = (int64_t)(s->pending_time * DecodedBytesPerMs(s) / s->ratio);
      pos -= pos % std::max<uint32_t>(s->bytes_per_frame, 1);
    }
    s->pending_position = std::clamp<int64_t>(pos, 0, std::max<int64_t>(0, (int64_t)s->data_length - 1));
    s->pending_time = -1;
  }
  if (s->pending_position < 0) return;
  const int64_t pos = s->pending_position;
  s->pending_position = -1;
  s->read_pos = pos;
  s->decoded_fill = s->decoded_read = 0;
  if (s->decoder) MpegDecoderRestart(s->decoder);
  double ms;
  if (s->reader == StreamReader::Mpeg) ms = s->data_length ? (double)pos * s->length_ms / s->data_length : 0;
  else ms = pos * s->ratio / DecodedBytesPerMs(s);
  EngineLock lock;
  s->time = (float)(ms - g_sound.bufferSetting);
  s->itime = std::max(0, (int32_t)s->time);
  const uint64_t at = (uint64_t)(ms * s->frequency / 1000);
  s->cue_cursor = 0;
  while (s->cue_cursor < s->cues.count && s->cues.entries[s->cue_cursor].offset < at) s->cue_cursor++;
}

bool StreamReadPcm(SoundStream* s, void* dest, int32_t bytes, void* /*user*/) {
  StreamApplyPending(s);
  uint8_t* out = (uint8_t*)dest;
  int32_t done = 0, rewinds = 0;
  bool ended = false;
  while (done < bytes) {
    int32_t got = 0;
    if (s->codec) {
      if (s->decoded_read < s->decoded_fill) {
        got = TakeDecoded(s, out + done, bytes - done);
      } else {
        const uint32_t take = (uint32_t)std::min<int64_t>(s->source.size(), (int64_t)s->data_length - s->read_pos);
        const uint32_t in = take ? ReadAt(s, s->read_pos, s->source.data(), take) : 0;
        s->read_pos += in;
        uint32_t produced = (uint32_t)s->decoded.size();
        if (in) AcmConvertBlock(s->codec, s->source.data(), in, s->decoded.data(), &produced);
        s->decoded_fill = in ? produced : 0;
        s->decoded_read = 0;
        if (in) continue;
      }
    } else {
      const uint32_t take = (uint32_t)std::min<int64_t>(bytes - done, (int64_t)s->data_length - s->read_pos);
      got = take ? (int32_t)ReadAt(s, s->read_pos, out + done, take) : 0;
      s->read_pos += got;
    }
    if (got > 0) {
      Flip(s, out + done, got);
      done += got;
      rewinds = 0;
      continue;
    }
    if (rewinds++ < 2 && Rewind(s)) continue;  // a looping stream goes on from the data start
    std::memset(out + done, 0, bytes - done);
    ended = true;
    break;
  }
  return !ended;
}

bool StreamReadMpeg(SoundStream* s, void* dest, int32_t bytes, void* /*user*/) {
  StreamApplyPending(s);
  uint8_t* out = (uint8_t*)dest;
  int32_t done = 0, rewinds = 0;
  while (done < bytes) {
    if (s->decoded_read < s->decoded_fill) {
      done += TakeDecoded(s, out + done, bytes - done);
      rewinds = 0;
      continue;
    }
    if (NextFrame(s)) continue;
    if (rewinds++ < 2 && Rewind(s)) continue;
    std::memset(out + done, 0, bytes - done);
    return false;
  }
  return true;
}
