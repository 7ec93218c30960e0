// The file-stream commands: open and close, typed reads into variables and array elements,
// typed writes, text lines, blocks and folder blocks. Every failure is a warning.
#include <cstring>
#include <string>

#include "core/arrays.h"
#include "core/error_codes.h"
#include "core/errors.h"
#include "core/handler.h"
#include "core/language.h"
#include "system/commands.h"
#include "system/files.h"
#include "system/streams.h"

namespace {

// Reports the error of a stream operation, naming the file and the cause it noted. A file
// that could not be made or written is a write lost (so is any failure to open one for
// writing: writes).
void Report(int32_t error, bool writes = false) {
  std::string detail, onDisk;
  detail.swap(g_fileStreams.failure);
  onDisk.swap(g_fileStreams.failureOnDisk);
  if (!error) return;
  // The cause follows the name's last ": " (a name may hold one, a cause does not).
  const size_t split = detail.rfind(": ");
  const bool lost = writes || error == kErrStreamWriteFailed || error == kErrStreamNotCreated;
  if (detail.empty()) RunWarning(uint32_t(error));
  else if (lost && split != std::string::npos)
    WriteLostWarning(uint32_t(error), detail.substr(0, split), detail.substr(split + 2),
                     onDisk.empty() ? "" : "write " + onDisk.substr(0, onDisk.rfind(": ")));
  else FileWarning(uint32_t(error), detail);
  // Names the code page cannot spell are said on stderr as they are on disk.
  if (!onDisk.empty()) g_lastEngineErrorOnDisk = {detail.substr(0, 255), onDisk};
}

// The open stream of the first operand, or nullptr after the warning.
StreamSlot* Stream() {
  int32_t error = 0;
  StreamSlot* s = OpenStream(OpInt(0), &error);
  Report(error);
  return s;
}

inline bool IsIntTemp(const VarCell* c) { return CellInRange(c, kCellIntTemp, kCellFloatTemp); }
inline bool IsFloatTemp(const VarCell* c) { return CellInRange(c, kCellFloatTemp, kCellStringTemp); }
inline bool IsStringTemp(const VarCell* c) { return CellInRange(c, kCellStringTemp, kCellIntVar); }

// A read value goes to a variable, or through a temporary to the array element it stands
// for; a temporary of another origin gets 0 or "". Literals are never changed.
void StoreReadInt(VarCell* target, int32_t v) {
  if (IsIntVariableCell(target)) target->i = v;
  else if (int32_t* element = ElementRefInt(target)) *element = v;
  else if (IsIntTemp(target)) target->i = 0;
}

void StoreReadFloat(VarCell* target, float v) {
  if (IsFloatVariableCell(target)) target->f = v;
  else if (float* element = ElementRefFloat(target)) *element = v;
  else if (IsFloatTemp(target)) target->f = 0.0f;
}

void StoreReadString(VarCell* target, const std::string& text) {
  if (IsStringVariableCell(target)) StoreText(target, text.c_str());
  else if (char** element = ElementRefString(target)) StoreElementText(element, text.c_str());
  else if (IsStringTemp(target)) StoreText(target, "");
}

void CmdOpenToRead() {
  const FileLoadScope load(kErrStreamNotOpened, OpString(1));
  Report(StreamOpenRead(OpInt(0), OpString(1)));
  SkipOperands(2);
}

void CmdOpenToWrite() {
  Report(StreamOpenWrite(OpInt(0), OpString(1)), true);
  SkipOperands(2);
}

void CmdCloseFile() {
  Report(StreamClose(OpInt(0)));
  SkipOperands(1);
}

template <size_t Size>
void CmdReadInteger() {
  if (StreamSlot* s = Stream()) {
    uint8_t b[4] = {};
    if (int32_t e = StreamRead(*s, b, Size)) Report(e);
    else StoreReadInt(OpCell(1), int32_t(LoadU32(b)));
  }
  SkipOperands(2);
}

void CmdReadFloat() {
  if (StreamSlot* s = Stream()) {
    uint8_t b[4] = {};
    if (int32_t e = StreamRead(*s, b, 4)) {
      Report(e);
    } else {
      const uint32_t bits = LoadU32(b);
      float f;
      std::memcpy(&f, &bits, 4);
      StoreReadFloat(OpCell(1), f);
    }
  }
  SkipOperands(2);
}

void CmdReadString() {
  if (StreamSlot* s = Stream()) {
    std::string text;
    if (int32_t e = StreamReadLine(*s, text)) Report(e);
    else StoreReadString(OpCell(1), text);
  }
  SkipOperands(2);
}

void CmdReadFileBlock() {
  if (StreamSlot* s = Stream()) Report(StreamExtractBlock(*s, OpString(1)));
  SkipOperands(2);
}

void CmdSkipBytes() {
  if (StreamSlot* s = Stream()) Report(StreamSkip(*s, OpInt(1) > 0 ? uint32_t(OpInt(1)) : 0));
  SkipOperands(2);
}

void CmdReadDirBlock() {
  if (StreamSlot* s = Stream()) Report(StreamUnpackFolder(*s, OpString(1)));
  SkipOperands(2);
}

template <size_t Size>
void CmdWriteInteger() {
  if (StreamSlot* s = Stream()) {
    uint8_t b[4];
    StoreU32(b, uint32_t(OpInt(1)));
    Report(StreamWrite(*s, b, Size));
  }
  SkipOperands(2);
}

void CmdWriteFloat() {
  if (StreamSlot* s = Stream()) {
    uint32_t bits;
    const float f = OpFloat(1);
    std::memcpy(&bits, &f, 4);
    uint8_t b[4];
    StoreU32(b, bits);
    Report(StreamWrite(*s, b, 4));
  }
  SkipOperands(2);
}

void CmdWriteString() {
  if (StreamSlot* s = Stream()) {
    const char* text = OpString(1);
    Report(StreamWrite(*s, text, std::strlen(text)));
    Report(StreamWrite(*s, "\r\n", 2));
  }
  SkipOperands(2);
}

template <bool Raw>
void CmdWriteFileBlock() {
  if (StreamSlot* s = Stream()) Report(StreamAppendFile(*s, OpString(1), Raw));
  SkipOperands(Raw ? 3 : 2);
}

void CmdWriteDirBlock() {
  if (StreamSlot* s = Stream()) Report(StreamPackFolder(*s, OpString(1)));
  SkipOperands(2);
}

const CommandDef kStreamCommands[] = {
    {8041, CmdOpenToRead, "ls"},
    {8042, CmdOpenToWrite, "ls"},
    {8043, CmdCloseFile, "l"},
    {8051, CmdReadInteger<1>, "ll"},
    {8052, CmdReadInteger<2>, "ll"},
    {8053, CmdReadInteger<4>, "ll"},
    {8054, CmdReadInteger<4>, "ll"},
    {8055, CmdReadFloat, "lf"},
    {8056, CmdReadString, "ls"},
    {8057, CmdReadFileBlock, "ls"},
    {8058, CmdSkipBytes, "ll"},
    {8059, CmdReadDirBlock, "ls"},
    {8061, CmdWriteInteger<1>, "ll"},
    {8062, CmdWriteInteger<2>, "ll"},
    {8063, CmdWriteInteger<4>, "ll"},
    {8064, CmdWriteInteger<4>, "ll"},
    {8065, CmdWriteFloat, "lf"},
    {8066, CmdWriteString, "ls"},
    {8067, CmdWriteFileBlock<false>, "ls"},
    {8068, CmdWriteFileBlock<true>, "lsl"},
    {8069, CmdWriteDirBlock, "ls"},
};

}  // namespace

std::span<const CommandDef> StreamCommands() { return kStreamCommands; }
