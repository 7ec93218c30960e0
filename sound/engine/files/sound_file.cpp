#include "sound/engine/files/sound_file.h"

#include "platform/fs.h"

#include <algorithm>
#include <cstring>

namespace {
SoundFilesState g_files;
}

SoundFilesState& SoundFiles() { return g_files; }
void SoundFilesReset() { g_files = SoundFilesState{}; }
void SoundFileSetUserProcs(const SoundUserFileProcs& procs) { g_files.procs = procs; }

void SoundFilesSetError(int code) {
  g_files.last_error = code;
  if (g_files.error_sink) g_files.error_sink(code);
}

void SoundFilesSetUnsupported(const std::string& what) {
  g_files.unsupported = what;
  SoundFilesSetError(10);
}

void SoundFilesSetDamaged(const std::string& what) {
  if (g_files.damage.empty()) g_files.damage = what;
  SoundFilesSetError(11);
}

void SoundFilesNameOtherKind(SoundFile* file) {
  uint8_t head[16] = {};
  if (SoundFileSeek(file, 0, 0) < 0) return;
  const size_t got = SoundFileRead(head, 16, file);
  const auto at = [&](size_t offset, const char* magic) {
    return offset + std::strlen(magic) <= got && std::memcmp(head + offset, magic, std::strlen(magic)) == 0;
  };
  // Wave64 opens with the GUID of its "riff" chunk.
  static const uint8_t kWave64[16] = {'r', 'i', 'f', 'f', 0x2E, 0x91, 0xCF, 0x11, 0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0, 0};
  const char* kind = nullptr;
  if (at(0, "MThd")) kind = "MIDI music";
  else if (at(0, "FORM") && at(8, "AIFF")) kind = "an AIFF file";
  else if (at(0, "FORM") && at(8, "AIFC")) kind = "an AIFF-C file";
  else if (at(0, ".snd")) kind = "an AU file";
  else if (at(0, "fLaC")) kind = "a FLAC file";
  else if (at(0, "OggS")) kind = "an Ogg file";
  else if (got == 16 && std::memcmp(head, kWave64, 16) == 0) kind = "a Wave64 file";
  if (kind) SoundFilesSetUnsupported(kind);
}

void SoundFilesBeginLoad() {
  g_files.last_error = 0;
  g_files.unsupported.clear();
  g_files.damage.clear();
}

int SoundFilesRefusal() {
  if (!g_files.damage.empty()) return 11;
  return g_files.last_error ? g_files.last_error : 10;
}

SoundFile* SoundFileOpen(const void* source, uint8_t kind, uint32_t length) {
  if (!source) return nullptr;
  const SoundUserFileProcs& p = g_files.procs;
  if (kind == kSoundFileDisk && p.open && p.close && p.read && p.seek && p.tell) kind = kSoundFileUser;
  SoundFile* f = new SoundFile{};
  f->kind = kind;
  f->length = length;
  switch (kind) {
    case kSoundFileDisk:
      f->stream = FsOpenRegularFile((const char*)source, nullptr);
      if (!f->stream) break;
      return f;
    case kSoundFileMemory:
      f->memory = (const uint8_t*)source;
      return f;
    case kSoundFileStdio:
      f->stream = (FILE*)source;
      f->position = std::ftell(f->stream);
      if (f->position < 0) f->position = 0;
      return f;
    case kSoundFileUser:
      f->procs = p;
      f->user_handle = p.open ? p.open((const char*)source) : nullptr;
      if (!f->user_handle) break;
      return f;
    default:
      break;
  }
  delete f;
  return nullptr;
}

void SoundFileClose(SoundFile* file) {
  if (!file) return;
  if (file->kind == kSoundFileDisk && file->stream) std::fclose(file->stream);
  if (file->kind == kSoundFileUser && file->procs.close) file->procs.close(file->user_handle);
  delete file;
}

uint32_t SoundFileRead(void* buffer, uint32_t size, SoundFile* file) {
  if (!file || !size) return 0;
  switch (file->kind) {
    case kSoundFileDisk:
    case kSoundFileStdio:
      return (uint32_t)std::fread(buffer, 1, size, file->stream);
    case kSoundFileMemory: {
      int64_t left = (int64_t)file->length - file->position;
      uint32_t n = left <= 0 ? 0 : (uint32_t)std::min<int64_t>(size, left);
      if (n) std::memcpy(buffer, file->memory + file->position, n);
      file->position += n;
      return n;
    }
    case kSoundFileUser:
      return file->procs.read ? file->procs.read(buffer, size, file->user_handle) : 0;
  }
  return 0;
}

uint8_t SoundFileReadByte(SoundFile* file) {
  uint8_t b = 0;
  return SoundFileRead(&b, 1, file) == 1 ? b : 0;
}

int32_t SoundFileSeek(SoundFile* file, int32_t offset, int origin) {
  if (!file || origin < 0 || origin > 2) return -1;
  switch (file->kind) {
    case kSoundFileDisk:
      return std::fseek(file->stream, offset, origin == 0 ? SEEK_SET : origin == 1 ? SEEK_CUR : SEEK_END);
    case kSoundFileStdio:
      if (origin == 0) return std::fseek(file->stream, (long)(file->position + offset), SEEK_SET);
      return std::fseek(file->stream, offset, origin == 1 ? SEEK_CUR : SEEK_END);
    case kSoundFileMemory: {
      int64_t p = origin == 0 ? offset : origin == 1 ? file->position + offset : (int64_t)file->length;
      if (p < 0) p = 0;
      if (p > file->length) p = file->length;
      file->position = p;
      return (int32_t)p;
    }
    case kSoundFileUser:
      return file->procs.seek ? file->procs.seek(file->user_handle, offset, origin) : -1;
  }
  return -1;
}

uint32_t SoundFileTell(SoundFile* file) {
  if (!file) return 0;
  switch (file->kind) {
    case kSoundFileDisk:
    case kSoundFileStdio: {
      long p = std::ftell(file->stream);
      return p < 0 ? 0 : (uint32_t)p;
    }
    case kSoundFileMemory:
      return (uint32_t)file->position;
    case kSoundFileUser:
      return file->procs.tell ? (uint32_t)file->procs.tell(file->user_handle) : 0;
  }
  return 0;
}

int64_t SoundFileSize(SoundFile* file) {
  if (!file) return -1;
  if (file->kind == kSoundFileMemory) return file->length;
  const uint32_t here = SoundFileTell(file);
  if (SoundFileSeek(file, 0, 2) < 0) return -1;
  int64_t end = SoundFileTell(file);
  if (file->kind == kSoundFileStdio) end -= file->position;
  if (file->kind == kSoundFileStdio) std::fseek(file->stream, here, SEEK_SET);
  else SoundFileSeek(file, (int32_t)here, 0);
  return end;
}
