#pragma once
#include <cstdint>
#include <string>

#include "platform/binary_file.h"

// The 32 numbered file streams: each is closed, open for reading, or open for writing a new
// file. Values are little-endian; a typed read that meets the end of the file gets the bytes
// that were there and zeros for the rest, and sets the stream's end-of-file flag.
inline constexpr int32_t kStreamCount = 32;

struct StreamSlot {
  BinaryFile file;
  uint8_t endOfFile = 0;
  std::string name;  // as the program gave it, for messages
};
struct StreamTable {
  StreamSlot slots[kStreamCount + 1];  // 1..32
  // The file and the cause of the latest failed operation ("name: cause"), for its message.
  std::string failure;
  // The failure's files as they are on disk (UTF-8), where the code page cannot spell them.
  std::string failureOnDisk;
  // Set by ResetStreams when a file left open for writing could not be written whole.
  bool lostAtClose = false;
};
extern StreamTable g_fileStreams;
// Closes every stream (run start and end). A file the program left open for writing whose
// buffered bytes cannot be written (or whose writing failed before) is said on stderr, naming
// the file and the cause, and lostAtClose is set; it is cleared when none is.
void ResetStreams();
// Closes the streams open for writing, their buffered bytes written, as ResetStreams does (a
// file that cannot be written whole is said on stderr); true when one could not be. The other
// streams and the names are left for ResetStreams.
bool CloseStreamsLeftOpen();

// The operations return 0 or the error code to report: 8213 number outside 1..32, 8203 already
// open, 8204 not open, 105 missing, 106 exists, 8201/8202 open or create failed, 8211 read
// failure, 8212 write failure.
int32_t CheckStreamNumber(int32_t n);
// The open stream n, or nullptr with the code in error.
StreamSlot* OpenStream(int32_t n, int32_t* error);
bool StreamIsOpen(int32_t n);
bool StreamAtEnd(int32_t n);

int32_t StreamOpenRead(int32_t n, const std::string& name);
int32_t StreamOpenWrite(int32_t n, const std::string& name);
int32_t StreamClose(int32_t n);

// Reads size bytes (zeros past the end) from an open stream.
int32_t StreamRead(StreamSlot& s, void* dst, size_t size);
// Reads a text line: bytes up to the first control byte, at most 255 kept; a CR ending the
// line takes its LF with it.
int32_t StreamReadLine(StreamSlot& s, std::string& text);
int32_t StreamSkip(StreamSlot& s, uint32_t count);
int32_t StreamWrite(StreamSlot& s, const void* src, size_t size);

// Appends the named file as a block (32-bit size, then the bytes) or, raw, the bytes alone.
// A file that does not open, or is 4 GB or more, appends nothing.
int32_t StreamAppendFile(StreamSlot& s, const std::string& name, bool raw);
// Reads one block into a new file of that name (its folders made first); an existing file is
// left untouched and the block read past.
int32_t StreamExtractBlock(StreamSlot& s, const std::string& name);
// Packs every file below the folder ("" the current one) into a folder block, names as
// program text (FsToProgramName); 105 when the folder cannot be read. Files whose names the
// text code page cannot spell are left out and reported (8212), after the block is written.
int32_t StreamPackFolder(StreamSlot& s, const std::string& folder);
// Unpacks a folder block under the folder ("" the current one), made when missing (8202 when it
// cannot be: every entry is then read past). Entries whose names are absolute, have a drive
// letter or a ".." part, or are longer than 4096 bytes are read past and reported (8211);
// existing files are left as they are. Names are program text, made as the disk spells them.
int32_t StreamUnpackFolder(StreamSlot& s, const std::string& folder);

// Little-endian values.
inline uint32_t LoadU32(const uint8_t* b) {
  return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}
inline void StoreU32(uint8_t* b, uint32_t v) {
  b[0] = uint8_t(v);
  b[1] = uint8_t(v >> 8);
  b[2] = uint8_t(v >> 16);
  b[3] = uint8_t(v >> 24);
}
