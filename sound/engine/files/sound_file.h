#pragma once
// One small file layer for every sound source: a named disk file, a memory block, an open
// standard-I/O stream or the user's file procedures all read alike.
#include <cstdint>
#include <cstdio>
#include <string>

// The user's file procedures (all five set, or none used).
struct SoundUserFileProcs {
  void* (*open)(const char* name) = nullptr;  // a handle, or null on failure
  void (*close)(void* handle) = nullptr;
  uint32_t (*read)(void* buffer, uint32_t size, void* handle) = nullptr;
  int32_t (*seek)(void* handle, int32_t offset, int32_t origin) = nullptr;
  int32_t (*tell)(void* handle) = nullptr;
};

// Largest sample data the engine keeps, in bytes: a source that would decode to more is refused
// (error 12) before anything is allocated for it.
constexpr uint64_t kMaxSampleBytes = uint64_t(1) << 30;

enum SoundFileKind : uint8_t { kSoundFileDisk = 0, kSoundFileMemory = 1, kSoundFileStdio = 2, kSoundFileUser = 3 };

struct SoundFile {
  uint8_t kind;
  FILE* stream;           // kinds 0 and 2
  const uint8_t* memory;  // kind 1
  int64_t position;       // kind 1: read position; kind 2: the stream's position when handed over
  void* user_handle;      // kind 3
  uint32_t length;        // the length given at open
  SoundUserFileProcs procs;
};

// State of the file layer: the user's procedures and the last error code it set.
struct SoundFilesState {
  SoundUserFileProcs procs;
  int last_error = 0;
  // What a reader found that it does not support, for the message of a refused load ("" when
  // it gave no detail); a load clears it first.
  std::string unsupported;
  // What a reader found damaged in a source of its own format, for the message of a refused load
  // ("" when it found none); a load clears it first.
  std::string damage;
  void (*error_sink)(int code) = nullptr;  // the engine's own error code, when set
};
SoundFilesState& SoundFiles();
void SoundFilesReset();
void SoundFileSetUserProcs(const SoundUserFileProcs& procs);
// Reports an error code (the engine's numbering: 10 unreadable data, 12 out of memory).
void SoundFilesSetError(int code);
// Reports error 10 for a well-formed source the reader does not support, with what that is.
void SoundFilesSetUnsupported(const std::string& what);
// Reports error 11 for a source of a reader's format that is damaged, with what is wrong; the
// first damage a load finds is the one kept.
void SoundFilesSetDamaged(const std::string& what);
// Names the kind of a source no reader took ("an AIFF file", "MIDI music") when its first bytes
// mark a kind of sound file the readers do not read; says nothing otherwise.
void SoundFilesNameOtherKind(SoundFile* file);
// Clears the error, the unsupported part and the damage as a load starts.
void SoundFilesBeginLoad();
// The error of a load every reader refused: damage when one was found, else the last error or
// 10 (not a supported format).
int SoundFilesRefusal();

// source: a file name (kind 0/3), a memory address (kind 1) or a FILE* (kind 2).
SoundFile* SoundFileOpen(const void* source, uint8_t kind, uint32_t length);
void SoundFileClose(SoundFile* file);
uint32_t SoundFileRead(void* buffer, uint32_t size, SoundFile* file);
uint8_t SoundFileReadByte(SoundFile* file);
int32_t SoundFileSeek(SoundFile* file, int32_t offset, int origin);
uint32_t SoundFileTell(SoundFile* file);
// Bytes from the start of the source to its end (-1 when unknown).
int64_t SoundFileSize(SoundFile* file);
