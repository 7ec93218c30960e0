#include "sound/engine/files/riff_wave.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

bool Is(const uint8_t* id, const char* name) { return std::memcmp(id, name, 4) == 0; }

// Largest format block kept; real ones are a few dozen bytes.
constexpr uint32_t kMaxFormatBlock = 65536;

void ReadLabels(SoundFile* file, int64_t base, int64_t list_size, SoundCueList* cues) {
  int64_t offset = 0;
  while (offset + 4 < list_size) {
    uint8_t hdr[8];
    if (SoundFileSeek(file, (int32_t)(base + offset), 0) < 0 || SoundFileRead(hdr, 8, file) != 8) return;
    const int32_t size = (int32_t)ReadLe32(hdr + 4);
    if (size < 0 || offset + 8 + size > list_size) return;
    if (Is(hdr, "labl") && size >= 4) {
      uint8_t num[4];
      if (SoundFileRead(num, 4, file) != 4) return;
      const uint32_t n = ReadLe32(num);
      if (n >= 1 && n <= (uint32_t)cues->count) {
        SoundCue& cue = cues->entries[n - 1];
        const uint32_t len = std::min<uint32_t>(size - 4, sizeof(cue.label) - 1);
        const uint32_t got = SoundFileRead(cue.label, len, file);
        cue.label[got] = 0;
      }
    }
    offset += 8 + ((int64_t)size + 1) / 2 * 2;
  }
}

}  // namespace

WaveFormatInfo WaveFormatFrom(const std::vector<uint8_t>& b) {
  WaveFormatInfo f{};
  if (b.size() < 18) return f;
  f.tag = ReadLe16(&b[0]);
  f.channels = ReadLe16(&b[2]);
  f.rate = ReadLe32(&b[4]);
  f.bytes_per_second = ReadLe32(&b[8]);
  f.block_align = ReadLe16(&b[12]);
  f.bits = ReadLe16(&b[14]);
  f.extra_size = ReadLe16(&b[16]);
  return f;
}

bool ParseRiffWave(SoundFile* file, std::vector<uint8_t>* format, int64_t* data_offset, uint32_t* data_length,
                   SoundCueList* cues, SoundLoopPoints* loop) {
  uint8_t head[12];
  if (SoundFileSeek(file, 0, 0) < 0 || SoundFileRead(head, 12, file) != 12 || !(Is(head, "RIFF") || Is(head, "RF64"))) {
    SoundFilesSetError(10);
    return false;
  }
  if (Is(head + 8, "RMID")) {
    SoundFilesSetUnsupported("MIDI music");
    return false;
  }
  const int64_t file_size = SoundFileSize(file);
  // A writer that never came back to fill in the size (0, or all bits set while it streamed)
  // left a file whose chunks run to its end.
  const uint32_t riff_field = ReadLe32(head + 4);
  const bool rf64 = Is(head, "RF64");
  const bool riff_open = !rf64 && (riff_field < 4 || riff_field == 0xFFFFFFFF);
  int64_t riff_size = riff_open ? (file_size < 0 ? INT32_MAX : file_size - 8) : (int64_t)riff_field;
  const bool wave = Is(head + 8, "WAVE");
  // RF64: the sizes too large for 32 bits stand in a "ds64" chunk, first after the header.
  int64_t data_size64 = -1;
  if (rf64) {
    uint8_t ds64[28];
    if (SoundFileRead(ds64, 28, file) != 28 || !Is(ds64, "ds64") || ReadLe32(ds64 + 4) < 16) {
      SoundFilesSetError(10);
      return false;
    }
    const auto le64 = [](const uint8_t* p) { return (uint64_t)ReadLe32(p) | (uint64_t)ReadLe32(p + 4) << 32; };
    riff_size = (int64_t)std::min<uint64_t>(le64(ds64 + 8), INT64_MAX / 2);
    data_size64 = (int64_t)std::min<uint64_t>(le64(ds64 + 16), INT64_MAX / 2);
    if (riff_size < 4) riff_size = file_size;  // a writer that never came back to fill it in
  }
  if (data_offset) *data_offset = -1;
  if (format) format->clear();
  bool have_format = false, have_data = false;
  bool overrun = false;  // a chunk before the end runs past the end of the file
  const auto missing = [&](const char* chunk) {
    return overrun ? std::string("a chunk runs past the end of the file before the ") + chunk + " chunk"
                   : std::string("no ") + chunk + " chunk";
  };
  int64_t cursor = 4;
  while (cursor < riff_size && cursor > 0) {
    const int64_t at = cursor + 8;
    uint8_t hdr[8];
    if (at > INT32_MAX || SoundFileSeek(file, (int32_t)at, 0) < 0 || SoundFileRead(hdr, 8, file) != 8) break;
    int64_t size = ReadLe32(hdr + 4);
    const int64_t body = at + 8;
    if (rf64 && size == 0xFFFFFFFF && Is(hdr, "data")) size = data_size64;
    else if (Is(hdr, "data") && file_size > body &&
             (size == 0xFFFFFFFF || (size == 0 && (riff_open || body >= riff_field + 8))))
      size = file_size - body;  // a streaming writer's data chunk: the rest of the file
    else if (size > INT32_MAX) {
      overrun = true;
      break;
    }
    if (file_size >= 0 && body + size > file_size && !Is(hdr, "data")) overrun = true;
    // Bytes of this chunk actually present in the file.
    const int64_t present = std::min<int64_t>(
        INT32_MAX, file_size < 0 ? size : std::max<int64_t>(0, std::min<int64_t>(size, file_size - body)));
    if (Is(hdr, "fmt ") && format && !have_format) {
      const uint32_t n = (uint32_t)std::min<int64_t>(present, kMaxFormatBlock);
      format->assign(std::max<uint32_t>(n, 18), 0);
      const uint32_t got = SoundFileRead(format->data(), n, file);
      if (got < 16) {
        SoundFilesSetDamaged("a format chunk of " + std::to_string(got) + " bytes, shorter than its fields");
        format->clear();
        return false;
      }
      have_format = true;
    } else if (Is(hdr, "cue ") && cues && present >= 4) {
      uint8_t cnt[4];
      if (SoundFileRead(cnt, 4, file) == 4) {
        const int64_t count = std::min<int64_t>(ReadLe32(cnt), (present - 4) / 24);
        if (count > 0) {
          cues->count = (int32_t)count;
          cues->entries.assign((size_t)count, SoundCue{});
          for (int64_t i = 0; i < count; i++) {
            uint8_t point[24];
            if (SoundFileRead(point, 24, file) != 24) break;
            cues->entries[i].offset = ReadLe32(point + 20);
          }
        }
      }
    } else if (Is(hdr, "LIST") && present >= 4) {
      uint8_t type[4];
      if (SoundFileRead(type, 4, file) == 4 && Is(type, "adtl") && cues && cues->count > 0)
        ReadLabels(file, body + 4, present - 4, cues);
    } else if (Is(hdr, "smpl") && present >= 52) {
      uint8_t s[52];
      if (SoundFileRead(s, 52, file) == 52 && loop) {
        loop->start = (int32_t)ReadLe32(s + 44);
        loop->end = (int32_t)ReadLe32(s + 48);
      }
    } else if (Is(hdr, "data") && !have_data) {
      have_data = true;
      if (data_length) *data_length = (uint32_t)present;
      if (data_offset) *data_offset = body;
    }
    cursor += 8 + ((int64_t)size + 1) / 2 * 2;
  }
  if (format && !have_format) {
    if (wave) SoundFilesSetDamaged(missing("format"));
    else SoundFilesSetError(10);
    return false;
  }
  if (!have_data) {
    if (format && wave) SoundFilesSetDamaged(missing("data"));
    if (format) format->clear();
    if (data_offset) *data_offset = 0;
    return false;
  }
  return true;
}
