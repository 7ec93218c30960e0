// MPEG audio probe (tags, RIFF wrapping, header search), frame count and whole-file loader.
#include <algorithm>
#include <cstring>
#include <memory>

#include "sound/engine/engine_state.h"
#include "sound/engine/files/sound_loaders.h"

namespace {

bool ReadAt(SoundFile* file, int64_t at, uint8_t* buf, uint32_t n) {
  return at >= 0 && at <= INT32_MAX && SoundFileSeek(file, (int32_t)at, 0) >= 0 && SoundFileRead(buf, n, file) == n;
}

uint32_t SyncSafe(const uint8_t* p) {
  return (uint32_t)(p[0] & 0x7F) << 21 | (uint32_t)(p[1] & 0x7F) << 14 | (uint32_t)(p[2] & 0x7F) << 7 | (p[3] & 0x7F);
}

// Finds the first header within the search window whose next frame also starts with a header
// (or that ends the file).
bool FindFirstFrame(SoundFile* file, MpegDecoder* dec, int64_t* offset, int* frequency, int* channels, int* body) {
  for (int i = 0; i < kMpegSearchWindow; i++, ++*offset) {
    uint8_t h[4];
    if (!ReadAt(file, *offset, h, 4)) return false;
    if (!MpegParseHeader(dec, h, frequency, channels, body)) continue;
    uint8_t next[4];
    MpegDecoder scratch;
    MpegDecoderReset(&scratch);
    // The second header confirms the first only when it has the same layer and rate.
    // A frame that ends the file exactly is one of a single frame.
    const bool last = *offset + 4 + *body == SoundFileSize(file);
    if (last || (ReadAt(file, *offset + 4 + *body, next, 4) && MpegParseHeader(&scratch, next, nullptr, nullptr, nullptr) &&
                 scratch.header.layer == dec->header.layer &&
                 scratch.header.sampling_index == dec->header.sampling_index)) {
      dec->pending_size = *body;
      return true;
    }
    return false;  // a header without a second one after it
  }
  return false;
}

// The encoder's information frame of a layer III file ("Xing" or "Info" where the side
// information ends) holds no audio.
bool IsInfoFrame(SoundFile* file, int64_t offset, const MpegFrameHeader& h) {
  if (h.layer != 3) return false;
  const int side = h.lsf ? (h.channels == 1 ? 9 : 17) : (h.channels == 1 ? 17 : 32);
  const int at = (h.crc ? 2 : 0) + side;
  uint8_t id[4];
  return at + 4 <= h.body_size && ReadAt(file, offset + 4 + at, id, 4) &&
         (std::memcmp(id, "Xing", 4) == 0 || std::memcmp(id, "Info", 4) == 0);
}

// Whether a frame from `at` on gives output, decoding on with `dec`: a first frame of none (its
// main data in frames before it, or damaged side information) is followed until one does.
bool LaterFrameDecodes(SoundFile* file, MpegDecoder* dec, int64_t at) {
  std::vector<uint8_t> frame;
  std::vector<int16_t> pcm(kMpegMaxFrameOutput / 2);
  for (;;) {
    uint8_t h[4];
    int body = 0, bytes = 0;
    if (!ReadAt(file, at, h, 4) || !MpegParseHeader(dec, h, nullptr, nullptr, &body)) return false;
    frame.resize(4 + body);
    if (!ReadAt(file, at, frame.data(), 4 + body) || !MpegDecodeFrame(dec, frame.data(), frame.size(), pcm.data(), &bytes))
      return false;
    if (bytes > 0) return true;
    at += 4 + body;
  }
}

}  // namespace

bool ProbeSoundFile(SoundFile* file, uint32_t mode, MpegSource* out, MpegFrameTable* frames, SoundCueList* cues) {
  *out = MpegSource{};
  if (!file) return false;
  std::unique_ptr<MpegDecoder> dec(new MpegDecoder);
  MpegDecoderReset(dec.get());
  int64_t offset = 0;
  uint32_t length = 0;
  uint8_t tag[10];
  bool id3 = false;  // an ID3 tag leads: the file says it is MPEG audio
  if (!ReadAt(file, 0, tag, 4)) {
    SoundFilesSetError(10);
    return false;
  }
  if (std::memcmp(tag, "TAG", 3) == 0) {
    offset = 128;
  } else if (std::memcmp(tag, "ID3", 3) == 0) {
    id3 = true;
    while (ReadAt(file, offset, tag, 10) && std::memcmp(tag, "ID3", 3) == 0) offset += 10 + SyncSafe(tag + 6);
  } else {
    const int saved = SoundFiles().last_error;
    int64_t data_offset = 0;
    if (ParseRiffWave(file, nullptr, &data_offset, &length, cues, nullptr)) offset = data_offset;
    else length = 0;
    SoundFiles().last_error = saved;  // not being RIFF is no error here
  }
  const int64_t start = offset;
  int frequency = 0, channels = 0, body = 0;
  if (!FindFirstFrame(file, dec.get(), &offset, &frequency, &channels, &body)) {
    if (id3) SoundFilesSetDamaged("no MPEG audio frame after the ID3 tag");
    else SoundFilesSetError(10);
    return false;
  }
  if (IsInfoFrame(file, offset, dec->header)) {
    // The frame after it was checked by the search: the audio starts there.
    uint8_t h[4];
    offset += 4 + body;
    if (!ReadAt(file, offset, h, 4) || !MpegParseHeader(dec.get(), h, &frequency, &channels, &body)) {
      SoundFilesSetError(10);
      return false;
    }
  }
  const int64_t size = SoundFileSize(file);
  if (length == 0) length = (uint32_t)std::max<int64_t>(0, size - offset);
  else length = (uint32_t)std::max<int64_t>(0, (int64_t)length - (offset - start));
  int frame_size = body + 4;
  out->mode = (mode & ~kSoundModeFormatBits) | kSoundModeSigned | kSoundMode16Bits |
              (channels == 1 ? kSoundModeMono : kSoundModeStereo);
  // Decode the first frame to learn one frame's output.
  std::vector<uint8_t> frame(frame_size);
  if (!ReadAt(file, offset, frame.data(), frame_size)) {
    SoundFilesSetError(10);
    return false;
  }
  std::vector<int16_t> pcm(kMpegMaxFrameOutput / 2);
  int bytes = 0;
  if (!MpegDecodeFrame(dec.get(), frame.data(), frame.size(), pcm.data(), &bytes)) {
    SoundFilesSetDamaged("the first MPEG audio frame cannot be decoded");
    return false;
  }
  if (bytes == 0 && !LaterFrameDecodes(file, dec.get(), offset + frame_size)) {
    SoundFilesSetDamaged("no MPEG audio frame can be decoded");
    return false;
  }
  if (bytes == 0) bytes = channels == 1 ? 1056 : 2112;
  const int layer = dec->header.layer;
  MpegDecoderRestart(dec.get());  // the loaders decode the first frame again from a clean state
  frame_size = (frame_size + 1) & ~1;
  out->frame_output = (uint32_t)bytes;
  if (mode & kSoundModeExactMpeg) {
    SoundFileSeek(file, (int32_t)offset, 0);
    out->decoded_length = MpegCountFrames(file, bytes, frames);
    dec->exact_length = (int32_t)out->decoded_length;
  } else {
    // An estimate from the first frame's size; one past the 32-bit range saturates, and the sample
    // limit then refuses it.
    const double estimate = bytes + (double)bytes / frame_size * length;
    out->decoded_length = estimate >= 4294967295.0 ? 0xFFFFFFFFu : (uint32_t)estimate;
  }
  dec->locked_layer = layer;
  out->frequency = frequency;
  out->data_length = length;
  out->data_offset = offset;
  out->block_size = 5000;
  const double samples = out->decoded_length / 2.0 / channels;
  out->length_ms = (uint32_t)(samples / frequency * 1000.0);
  out->decoder = dec.release();
  return true;
}

uint32_t MpegCountFrames(SoundFile* file, uint32_t frame_output, MpegFrameTable* frames) {
  const uint32_t start = SoundFileTell(file);
  uint64_t total = 0;
  uint32_t count = 0;
  int64_t pos = start;
  MpegDecoder* scratch = new MpegDecoder;
  for (;;) {
    uint8_t h[4];
    int body = 0;
    MpegDecoderReset(scratch);
    if (!ReadAt(file, pos, h, 4) || !MpegParseHeader(scratch, h, nullptr, nullptr, &body)) break;
    if (total + frame_output > UINT32_MAX) break;
    total += frame_output;
    if (frames) frames->offsets.push_back((uint32_t)(pos - start));
    count++;
    pos += 4 + body;
  }
  delete scratch;
  SoundFileSeek(file, (int32_t)start, 0);
  if (frames) frames->count = count;
  return (uint32_t)total;
}

void FreeSampleMpegDecoder(MpegSource* source) {
  delete source->decoder;
  source->decoder = nullptr;
}

bool DecodeMpegFileToPcm(SoundFile* file, uint32_t mode, SoundFilePcm* out) {
  MpegSource src;
  if (!ProbeSoundFile(file, mode, &src, nullptr, nullptr)) return false;
  MpegDecoder* dec = src.decoder;
  SoundFileSeek(file, (int32_t)src.data_offset, 0);
  uint32_t total = dec->exact_length ? (uint32_t)dec->exact_length : MpegCountFrames(file, src.frame_output, nullptr);
  if (total == 0 || total > kMaxSampleBytes) {
    if (total) NoteSizeLimit();
    FreeSampleMpegDecoder(&src);
    SoundFilesSetError(total ? 12 : 10);
    return false;
  }
  *out = SoundFilePcm{};
  out->mode = src.mode;
  out->frequency = src.frequency;
  // Only the counted frames are decoded: bytes after them are not read.
  const uint64_t counted = uint64_t(total / std::max<uint32_t>(src.frame_output, 1) + 1) * (4 + kMpegMaxBody + 1);
  std::vector<uint8_t> input(std::min<uint64_t>(src.data_length, counted));
  SoundFileSeek(file, (int32_t)src.data_offset, 0);
  input.resize(SoundFileRead(input.data(), (uint32_t)input.size(), file));
  out->data.assign(total, 0);
  std::vector<int16_t> scratch(kMpegMaxFrameOutput / 2);
  size_t in = 0, produced = 0;
  while (in + 4 <= input.size() && produced < total) {
    int body = 0;
    if (!MpegParseHeader(dec, &input[in], nullptr, nullptr, &body)) break;
    int bytes = 0;
    if (!MpegDecodeFrame(dec, &input[in], input.size() - in, scratch.data(), &bytes)) break;
    const size_t n = std::min<size_t>(bytes, total - produced);
    std::memcpy(out->data.data() + produced, scratch.data(), n);
    produced += n;
    in += 4 + body;
  }
  FreeSampleMpegDecoder(&src);
  if (produced == 0) {  // silence the length of frames of which none decodes
    SoundFilesSetDamaged("no MPEG audio frame can be decoded");
    return false;
  }
  out->loop_start = 0;
  out->loop_end = out->Samples() - 1;
  return true;
}
