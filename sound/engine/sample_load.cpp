// Loading samples: raw PCM from a named file or a memory block; other sources go to the file
// format readers.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/fs.h"
#include "sound/engine/engine_state.h"
#include "sound/engine/files/sound_file.h"

namespace {

// A source of bytes: a file by name (through the user's file procedures when all are set) or a
// memory block.
class Source {
 public:
  ~Source() { Close(); }
  bool OpenName(const char* name) {
    if (g_sound.fileProcs.open) {
      user_ = g_sound.fileProcs.open(name);
      return user_ != nullptr;
    }
    file_ = FsOpenRegularFile(name, nullptr);
    return file_ != nullptr;
  }
  void OpenMemory(const void* data, uint32_t length) {
    memory_ = static_cast<const uint8_t*>(data);
    length_ = length;
  }
  // Size in bytes (the source stays at its start).
  int64_t Size() {
    if (memory_) return length_;
    if (file_) {
      if (std::fseek(file_, 0, SEEK_END) != 0) return 0;
      long size = std::ftell(file_);
      std::fseek(file_, 0, SEEK_SET);
      return size < 0 ? 0 : size;
    }
    g_sound.fileProcs.seek(user_, 0, 2);
    int32_t size = g_sound.fileProcs.tell(user_);
    g_sound.fileProcs.seek(user_, 0, 0);
    return size < 0 ? 0 : size;
  }
  uint64_t Read(void* out, uint64_t bytes) {
    if (memory_) {
      uint64_t n = bytes < length_ ? bytes : length_;
      std::memcpy(out, memory_, size_t(n));
      return n;
    }
    if (file_) return std::fread(out, 1, size_t(bytes), file_);
    uint64_t done = 0;
    while (done < bytes) {
      uint32_t chunk = uint32_t(bytes - done > (1u << 30) ? (1u << 30) : bytes - done);
      uint32_t n = g_sound.fileProcs.read(static_cast<uint8_t*>(out) + done, chunk, user_);
      if (n == 0) break;
      done += n;
    }
    return done;
  }
  void Close() {
    if (file_) std::fclose(file_);
    if (user_ && g_sound.fileProcs.close) g_sound.fileProcs.close(user_);
    file_ = nullptr;
    user_ = nullptr;
  }

 private:
  std::FILE* file_ = nullptr;
  void* user_ = nullptr;
  const uint8_t* memory_ = nullptr;
  uint64_t length_ = 0;
};

SoundSample* LoadRaw(int32_t index, Source& src, const char* name, uint32_t mode) {
  int64_t size = src.Size();
  if (size <= 0) {
    SetSoundError(kSoundErrFileBad);
    return nullptr;
  }
  int64_t frames = size / ((mode & kSound16Bits) ? 2 : 1) / ((mode & kSoundStereo) ? 2 : 1);
  if (frames < 1 || frames > INT32_MAX) {
    if (frames >= 1) NoteSizeLimit();
    SetSoundError(frames < 1 ? kSoundErrFileBad : kSoundErrMemory);
    return nullptr;
  }
  SoundSample* s = SoundSampleAlloc(index, int32_t(frames), mode, 44100, 255, 128, 255);
  if (!s) return nullptr;
  s->name = name ? std::string(name).substr(0, 255) : "Memory file";
  std::unique_ptr<uint8_t[], void (*)(void*)> bytes(static_cast<uint8_t*>(std::malloc(size_t(size))),
                                                    std::free);
  if (!bytes) {
    SoundSampleFree(s);
    SetSoundError(kSoundErrMemory);
    return nullptr;
  }
  uint64_t got = src.Read(bytes.get(), uint64_t(size));
  src.Close();
  SoundSampleUpload(s, bytes.get(), mode, uint32_t(got));
  return s;
}

}  // namespace

SoundSample* SoundSampleLoad(int32_t index, const void* source, uint32_t mode, int32_t length) {
  ApiEnter();
  ClearSizeLimitNote();
  EngineLock lock;
  SoundFilesBeginLoad();
  if (!source || ((mode & kSoundMemory) && length < 1)) {
    SetSoundError(kSoundErrInvalidParam);
    return nullptr;
  }
  if (index != kSoundUnlisted && g_sound.samples.empty()) {
    SetSoundError(kSoundErrUninitialised);
    return nullptr;
  }
  mode = NormaliseMode(mode);
  if (!g_sound.hardwareMixing) mode &= ~kSoundHardware3D;
  if (!(mode & kSoundRaw)) return DecodeSoundSource(index, source, mode, length);
  Source src;
  const char* name = nullptr;
  if (mode & kSoundMemory) {
    src.OpenMemory(source, uint32_t(length));
  } else {
    name = static_cast<const char*>(source);
    if (!src.OpenName(name)) {
      SetSoundError(kSoundErrFileOpen);
      return nullptr;
    }
  }
  return LoadRaw(index, src, name, mode);
}

SoundSample* SoundSampleLoadRaw(int32_t index, const char* name, uint32_t mode) {
  return SoundSampleLoad(index, name, (mode | kSoundRaw) & ~kSoundMemory, 0);
}
