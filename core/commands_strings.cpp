// String functions. Results go into operand 0; texts are at most 255 characters.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "core/commands.h"
#include "core/handler.h"
#include "core/language.h"
#include "core/run_state.h"
#include "platform/fs.h"

namespace {

inline void SetText(const char* text, size_t length) { SetCellString(OpCell(0), text, length); }

void CmdAsc() {
  OpCell(0)->i = uint8_t(OpString(1)[0]);
  ProgramCounter += 2;
}

void CmdBinString() {
  char work[34];
  const uint32_t v = uint32_t(OpInt(1));
  work[0] = '%';
  for (int b = 0; b < 32; ++b) work[1 + b] = (v >> (31 - b)) & 1 ? '1' : '0';
  SetText(work, 33);
  ProgramCounter += 2;
}

void CmdChrString() {
  const char c = char(uint32_t(OpInt(1)) & 0xff);
  SetText(&c, c ? 1 : 0);
  ProgramCounter += 2;
}

// The arguments come from the host as UTF-8: given in the program's code page.
void CmdCommandLineString() {
  StoreText(OpCell(0), FsToProgramName(g_runtime.commandLine).c_str());
  ProgramCounter += 1;
}

void CmdHexString() {
  char work[16];
  const int n = std::snprintf(work, sizeof work, "%X", uint32_t(OpInt(1)));
  SetText(work, size_t(n));
  ProgramCounter += 2;
}

void CmdLeftString() {
  const char* text = OpString(1);
  const int64_t len = int64_t(strnlen(text, kMaxText)), n = OpInt(2);
  SetText(text, size_t(n < 1 ? 0 : n > len ? len : n));
  ProgramCounter += 3;
}

void CmdLen() {
  OpCell(0)->i = int32_t(std::strlen(OpString(1)));
  ProgramCounter += 2;
}

void CmdLowerString() {
  char work[256];
  const char* text = OpString(1);
  const size_t len = strnlen(text, kMaxText);
  for (size_t k = 0; k < len; ++k) {
    const unsigned char c = uint8_t(text[k]);
    work[k] = c >= 'A' && c <= 'Z' ? char(c + 32) : char(c);
  }
  SetText(work, len);
  ProgramCounter += 2;
}

void CmdUpperString() {
  char work[256];
  const char* text = OpString(1);
  const size_t len = strnlen(text, kMaxText);
  for (size_t k = 0; k < len; ++k) {
    const unsigned char c = uint8_t(text[k]);
    work[k] = c >= 'a' && c <= 'z' ? char(c - 32) : char(c);
  }
  SetText(work, len);
  ProgramCounter += 2;
}

// The n-th character, counted from 1; n is taken as unsigned, so negative n gives nothing.
void CmdMidString() {
  const char* text = OpString(1);
  const uint32_t n = uint32_t(OpInt(2));
  const size_t len = strnlen(text, kMaxText);
  if (n != 0 && n <= len) SetText(text + n - 1, 1);
  else SetText("", 0);
  ProgramCounter += 3;
}

void CmdRightString() {
  const char* text = OpString(1);
  const int64_t len = int64_t(strnlen(text, kMaxText));
  const int64_t start = len - int64_t(OpInt(2));
  if (start > len) SetText("", 0);
  else if (start < 0) SetText(text, size_t(len));
  else SetText(text + start, size_t(len - start));
  ProgramCounter += 3;
}

void CmdSpaceString() {
  const int32_t n = OpInt(1);
  if (n >= 256) {
    RunError(kErrTextTooLong);
  } else {
    char work[256];
    const size_t count = n > 0 ? size_t(n) : 0;
    std::memset(work, ' ', count);
    SetText(work, count);
  }
  ProgramCounter += 2;
}

void CmdStrFloat() {
  char work[32];
  const size_t n = FormatG(double(OpFloat(1)), work);
  SetText(work, n);
  ProgramCounter += 2;
}

void CmdStrInt() {
  char work[16];
  const int n = std::snprintf(work, sizeof work, "%d", OpInt(1));
  SetText(work, size_t(n));
  ProgramCounter += 2;
}

void CmdValFloat() {
  OpCell(0)->f = float(TextToDouble(OpString(1)));
  ProgramCounter += 2;
}

void CmdValInt() {
  OpCell(0)->i = TextToInt(OpString(1));
  ProgramCounter += 2;
}

// The running file as a full path with its drive ("." and ".." taken out), cut to 255
// characters.
void CmdAppNameString() {
  const std::string path = std::filesystem::path(g_runtime.programFile).lexically_normal().string();
  StoreText(OpCell(0), FsToProgramPath(path).c_str());
  ProgramCounter += 1;
}

// The folder that stands for the Windows folder: where the per-user settings file lives.
void CmdWinDirString() {
  StoreText(OpCell(0), FsToProgramPath(FsConfigFolder()).c_str());
  ProgramCounter += 1;
}

const CommandDef kStrings[] = {
    {203, CmdAsc, "ls", AsFast<CmdAsc>},
    {206, CmdBinString, "sl", AsFast<CmdBinString>},
    {209, CmdChrString, "sl", AsFast<CmdChrString>},
    {211, CmdCommandLineString, "s", AsFast<CmdCommandLineString>},
    {223, CmdHexString, "sl", AsFast<CmdHexString>},
    {233, CmdLeftString, "ssl", AsFast<CmdLeftString>},
    {234, CmdLen, "ls", AsFast<CmdLen>},
    {236, CmdLowerString, "ss", AsFast<CmdLowerString>},
    {237, CmdMidString, "ssl", AsFast<CmdMidString>},
    {248, CmdRightString, "ssl", AsFast<CmdRightString>},
    {256, CmdSpaceString, "sl", AsFast<CmdSpaceString>},
    {261, CmdUpperString, "ss", AsFast<CmdUpperString>},
    {311, CmdStrFloat, "sf", AsFast<CmdStrFloat>},
    {312, CmdStrInt, "sl", AsFast<CmdStrInt>},
    {321, CmdValFloat, "fs", AsFast<CmdValFloat>},
    {322, CmdValInt, "ls", AsFast<CmdValInt>},
    {426, CmdAppNameString, "s", AsFast<CmdAppNameString>},
    {427, CmdWinDirString, "s", AsFast<CmdWinDirString>},
};

}  // namespace

std::span<const CommandDef> StringCommands() { return kStrings; }
