// Software sample storage: zeroed data with spare bytes for loop padding, uploads with
// format conversion (packed, delta and unsigned data), and byte-range locks that wrap.
#include <cstdlib>
#include <cstring>

#include "sound/engine/drivers/driver.h"
#include "sound/engine/engine_state.h"
#include "sound/engine/files/sound_file.h"
#include "sound/engine/sample_decode.h"

namespace {

bool SoftAlloc(SoundSample* s) {
  WaitMixerIdle();
  std::free(s->data);
  s->data = nullptr;
  s->hasSavedPad = false;
  uint64_t bytes = uint64_t(s->length) * SampleFrameBytes(s);
  if (bytes > kMaxSampleBytes) {
    NoteSizeLimit();
    SetSoundError(kSoundErrMemory);
    return false;
  }
  s->data = static_cast<uint8_t*>(std::calloc(size_t(bytes + kSampleSpareBytes), 1));
  if (!s->data) {
    SetSoundError(kSoundErrMemory);
    return false;
  }
  return true;
}

void SoftFree(SoundSample* s) {
  WaitMixerIdle();
  std::free(s->data);
  s->data = nullptr;
}

bool SoftUpload(SoundSample* s, const void* source, uint32_t sourceBytes, uint32_t mode) {
  if (!s || !s->data || !source) {
    SetSoundError(kSoundErrInvalidParam);
    return false;
  }
  uint64_t bytes = uint64_t(s->length) * ((mode & kSound16Bits) ? 2 : 1) *
                   ((mode & kSoundStereo) ? 2 : 1);
  if (bytes > SampleByteSize(s)) bytes = SampleByteSize(s);
  bool wide = (mode & kSound16Bits) != 0;
  s->hasSavedPad = false;  // the whole data is replaced
  if (mode & (kSoundPacked | kSoundPacked2)) {
    uint32_t count = uint32_t(bytes / (wide ? 2 : 1));
    DecodePackedSamples(static_cast<const uint8_t*>(source), sourceBytes, s->data, count, wide,
                        (mode & kSoundPacked2) != 0);
  } else {
    if (bytes > sourceBytes) bytes = sourceBytes;
    std::memcpy(s->data, source, size_t(bytes));
  }
  if (mode & kSoundDelta) {
    if (wide) {
      uint16_t sum = 0;
      for (uint64_t i = 0; i * 2 + 1 < bytes; i++) {
        uint16_t v;
        std::memcpy(&v, s->data + i * 2, 2);
        sum = uint16_t(sum + v);
        std::memcpy(s->data + i * 2, &sum, 2);
      }
    } else {
      uint8_t sum = 0;
      for (uint64_t i = 0; i < bytes; i++) s->data[i] = sum = uint8_t(sum + s->data[i]);
    }
  }
  if (mode & kSoundUnsigned) {
    if (wide) {
      for (uint64_t i = 1; i < bytes; i += 2) s->data[i] ^= 0x80;
    } else {
      for (uint64_t i = 0; i < bytes; i++) s->data[i] ^= 0x80;
    }
  }
  RefreshLoopPadding(s);
  return true;
}

bool SoftLock(SoundSample* s, int64_t offset, uint32_t length, void** p1, void** p2, uint32_t* l1,
              uint32_t* l2) {
  uint32_t size = SampleByteSize(s);
  *p1 = *p2 = nullptr;
  *l1 = *l2 = 0;
  if (!s->data || offset < 0 || offset >= int64_t(size)) return false;
  if (length > size) length = size;
  uint32_t off = uint32_t(offset);
  *p1 = s->data + off;
  if (uint64_t(off) + length > size) {
    *l1 = size - off;
    *p2 = s->data;
    *l2 = length - *l1;
  } else {
    *l1 = length;
  }
  return true;
}

bool SoftUnlock(SoundSample* s, void*, void*, uint32_t, uint32_t) {
  RefreshLoopPadding(s);
  return true;
}

const SoundSampleOps kSoftwareOps = {SoftAlloc, SoftFree, SoftUpload, SoftLock, SoftUnlock};

}  // namespace

const SoundSampleOps* SoftwareSampleOps() { return &kSoftwareOps; }
