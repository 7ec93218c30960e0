#include "core/errors.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <exception>
#include <utility>

#include "core/interp.h"
#include "core/run_state.h"
#include "platform/clipboard.h"
#include "platform/events.h"
#include "platform/fs.h"
#include "platform/host_files.h"
#include "platform/ini.h"
#include "platform/message_name.h"

int32_t g_errorCode = 0;
uint8_t g_errorKind = 0;
int64_t g_errorWord = -1;
int64_t g_queuedOpWord = -1;
std::string g_lastEngineError;
std::pair<std::string, std::string> g_lastEngineErrorOnDisk;

namespace {

std::string g_slots[kErrorSlots];
bool g_slotsReady = false;

struct SlotRange {
  int32_t firstCode, lastCode, firstSlot;
};

const SlotRange kSlotMap[] = {
    {0, 3, 1},          {21, 21, 5},        {101, 115, 6},      {300, 304, 21},     {310, 312, 26},
    {500, 505, 29},     {1000, 1013, 35},   {1014, 1014, 173},  {1500, 1504, 49},   {2000, 2010, 54},
    {3000, 3007, 65},   {3008, 3008, 177},  {3021, 3023, 73},   {3201, 3201, 76},   {3500, 3507, 77},
    {4001, 4002, 85},   {4101, 4104, 87},   {7000, 7008, 91},   {7009, 7009, 108},  {7010, 7010, 107},
    {7011, 7017, 109},  {7018, 7018, 119},  {7019, 7019, 122},  {7020, 7020, 129},  {7021, 7027, 100},
    {7028, 7028, 133},  {7031, 7031, 130},  {7101, 7102, 120},  {7301, 7305, 168},  {7601, 7606, 123},
    {7901, 7901, 116},  {7911, 7912, 117},  {7931, 7932, 131},  {8001, 8003, 134},  {8021, 8025, 137},
    {8101, 8103, 142},  {8201, 8204, 145},  {8211, 8213, 149},  {8301, 8305, 184},  {9001, 9005, 156},
    {9011, 9014, 152},  {10001, 10007, 161},
};

const int32_t kWarningCodes[] = {1503, 2007, 2008, 2009, 2010, 3002, 3004, 3201, 3502,
                                 3504, 3507, 4001, 4002, 4101, 7901, 8002, 9011};

void StoreAndQuit(int32_t code, uint8_t kind) {
  LeaveSlice = 1;
  // A run asked to stop ends as a closed window does: what failed because the stop cut it
  // short (a load given up, an open interrupted) is no error of the program.
  if (StopSignalReceived()) {
    PostQuit();
    return;
  }
  g_errorCode = code;
  g_errorKind = kind;
  g_errorWord = g_queuedOpWord >= 0 ? g_queuedOpWord : CurrentCommandWord();
  PostQuit();
}

std::string Format(const char* fmt, long long v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, fmt, v);
  return buf;
}

std::string LogPath() { return ProgramSideFile("VK.LOG"); }

}  // namespace

int64_t CurrentCommandWord() {
  // The command word is the one in front of its operands.
  const int64_t at = ProgramCounter && CommandStream ? CodeIndexOf(ProgramCounter) - 1 : -1;
  return at >= 0 && at < g_codeWordCount ? at : -1;
}

void RunError(int32_t code) {
  if (g_runtime.runtimeTest && ProgramCounter) DumpProgramStateToClipboard(ProgramCounter - 1);
  for (int32_t w : kWarningCodes) {
    if (w == code) {
      RunWarning(uint32_t(code));
      return;
    }
  }
  StoreAndQuit(code, 0);
}

void RunWarning(uint32_t code) {
  if (WarningsReported()) StoreAndQuit(int32_t(code), 1);
}

bool WarningsReported() { return g_runtime.standalone == 0; }

namespace {

// The file and the cause go with the error only when it was stored: an ignored warning leaves
// no text behind for a later error.
void StoreFileDetail(int32_t code, const std::string& file, const std::string& why) {
  if (g_errorCode == code) g_lastEngineError = (file + ": " + why).substr(0, 255);
}

}  // namespace

void RunFileError(int32_t code, const std::string& file, const std::string& why) {
  RunError(code);
  StoreFileDetail(code, file, why);
}

void RunFileWarning(uint32_t code, const std::string& file, const std::string& why) {
  RunWarning(code);
  StoreFileDetail(int32_t(code), file, why);
}

namespace {

// The load that an exception ended, noted as its scope is left while the exception unwinds.
// Nothing in it needs freeing: a thread's first use then registers no destructor, which would
// take memory just when it has run out (the C library ends the process when it cannot).
struct FailedLoad {
  bool set = false;
  int32_t code = 0;
  char file[256] = {};  // as much of the name as its message holds
};
thread_local FailedLoad g_failedLoad;

}  // namespace

FileLoadScope::FileLoadScope(int32_t code, std::string file)
    : code_(code), file_(std::move(file)), exceptions_(std::uncaught_exceptions()) {}

FileLoadScope::~FileLoadScope() {
  // The innermost scope is left first: it names the load.
  if (std::uncaught_exceptions() > exceptions_ && !g_failedLoad.set) {
    g_failedLoad.set = true;
    g_failedLoad.code = code_;
    std::snprintf(g_failedLoad.file, sizeof g_failedLoad.file, "%s", file_.c_str());
  }
}

bool ReportFailedLoad(bool outOfMemory) {
  const FailedLoad failed = g_failedLoad;
  g_failedLoad = FailedLoad{};
  if (!failed.set || !outOfMemory) return false;
  RunFileError(failed.code, failed.file, kNoMemoryToLoad);
  return true;
}

void InitErrorTexts() {
  for (int k = 0; k < kErrorSlots; ++k) g_slots[k] = Format("ERROR %d", k);
  g_slotsReady = true;
}

void FreeErrorTexts() {
  for (std::string& s : g_slots) std::string().swap(s);
  g_slotsReady = false;
}

void SetErrorSlotText(int slot, const std::string& text) {
  if (slot >= 0 && slot < kErrorSlots) g_slots[slot] = text;
}

int ErrorSlotOf(int32_t code) {
  for (const SlotRange& r : kSlotMap)
    if (code >= r.firstCode && code <= r.lastCode) return r.firstSlot + (code - r.firstCode);
  return -1;
}

std::string GetErrorText(int32_t code) {
  if (code == kErrLanguageNotFound) return "Language not found";
  if (code == 10010) return "Severe Exception! Report to the Vellumark developers";
  int slot = ErrorSlotOf(code);
  if (slot < 0 || !g_slotsReady) return "";
  return g_slots[slot];
}

std::string FormatErrorMessage() {
  const char* word = g_errorKind == 1 ? "Warning" : "Error";
  std::string out = g_errorCode < 10000 ? "Runtime " : "System ";
  out += word;
  out += " : ";
  out += GetErrorText(g_errorCode);
  out += ". ";
  out += g_lastEngineError;
  return out;
}

std::string ErrorSourcePrefix() {
  const SourceMap& source = g_runtime.options.source;
  std::string file;
  int32_t line = 0;
  if (g_errorCode <= 0 || !source.Locate(source.LineOfWord(g_errorWord), &file, &line)) return "";
  return file + ":" + std::to_string(line) + ": ";
}

void AppendErrorLog(const std::string& message) {
  if (!g_runtime.debugMode) return;
  std::time_t t = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&t, &utc);
  char key[96];
  std::snprintf(key, sizeof key, "RUNTIMEERROR ON %d/%d/%d AT %d:%d", utc.tm_mday, utc.tm_mon + 1,
                utc.tm_year + 1900, utc.tm_hour, utc.tm_min);
  WriteDebugLog(LogPath(), "ERRORLOG", key, message);
}

namespace {

std::string g_debugLogSaid;  // the debug log the command line said is not written

// Says once a run that the debug log at the path is not written, unless the command line did.
void SayDebugLogLost(const std::string& path, const std::string& cause) {
  if (std::exchange(g_runtime.debugLogLost, true) || (!g_debugLogSaid.empty() && FsSameHostFile(path, g_debugLogSaid)))
    return;
  std::fprintf(stderr, "%s: cannot write the debug log %s: %s; the run goes on without it\n", MessageName(),
               path.c_str(), cause.c_str());
}

}  // namespace

void WriteDebugLog(const std::string& path, const std::string& section, const std::string& key,
                   const std::string& value) {
  if (IniWriteHostString(path, section, key, value)) return;
  const std::string cause = FileErrorCause(errno), refused = FsReplaceHostFileRefusal(path);
  SayDebugLogLost(path, refused.empty() ? cause : refused);
}

void DebugLogLostSaid(const std::string& path) { g_debugLogSaid = path; }

void StartDebugLog(const std::string& path) {
  const std::string refused = FsReplaceHostFileRefusal(path);
  if (refused.empty()) FsDeleteHostFile(path);
  else SayDebugLogLost(path, refused);
}

namespace {

// A run from source: the line, the command's keyword and the operands by its parameter letters.
std::string FormatSourceState(const intptr_t* p, int64_t index, const SourceMap& source) {
  const int64_t command = ImageWordOf(p[0]);
  const SourceMap::Keyword* keyword = source.KeywordOf(command);
  char buf[512];
  std::snprintf(buf, sizeof buf, "Line Number:%d\nCommand Number:%lld\nName:%.255s\n", source.LineOfWord(index),
                (long long)command, keyword ? keyword->name.c_str() : "");
  std::string out = buf;
  for (int k = 1; k <= 9 && index + k < g_codeWordCount; ++k) {
    if (p[k] == 0) continue;
    const VarCell* cell = reinterpret_cast<const VarCell*>(p[k]);
    if (!IsCellAddress(cell) || CellIndexOf(cell) >= 15000) continue;
    const char letter = keyword && size_t(k - 1) < keyword->params.size() ? keyword->params[size_t(k - 1)] : 0;
    if (letter == 'f') std::snprintf(buf, sizeof buf, "P%d:%g\n", k, double(cell->f));
    else if (letter == 'l') std::snprintf(buf, sizeof buf, "P%d:%d\n", k, cell->i);
    else if (letter == 's') std::snprintf(buf, sizeof buf, "P%d:%.255s\n", k, cell->s ? cell->s : "");
    else continue;
    out += buf;
  }
  return out;
}

}  // namespace

std::string FormatProgramState(const intptr_t* p) {
  if (!CommandStream || !p || p < CommandStream || p >= CommandStream + g_codeWordCount || p[0] <= 0) return "";
  int64_t index = p - CommandStream;
  if (!g_runtime.options.source.empty()) return FormatSourceState(p, index, g_runtime.options.source);
  char buf[512];
  std::string out;
  std::snprintf(buf, sizeof buf, "Program Pointer: %lld of %lld\nCommand Number:%lld\n", (long long)index,
                (long long)g_codeWordCount, (long long)ImageWordOf(p[0]));
  out += buf;
  for (int k = 1; k <= 9 && index + k < g_codeWordCount; ++k) {
    if (p[k] == 0) continue;
    const VarCell* cell = reinterpret_cast<const VarCell*>(p[k]);
    if (!IsCellAddress(cell)) continue;
    int n = CellIndexOf(cell) + 10000;
    if ((n >= 10000 && n < 11000) || (n >= 13000 && n < 15000) || (n >= 19000 && n < 21000)) {
      std::snprintf(buf, sizeof buf, "P%d:%d\n", k, cell->i);
    } else if ((n >= 11000 && n < 12000) || (n >= 15000 && n < 17000) || (n >= 21000 && n < 23000)) {
      std::snprintf(buf, sizeof buf, "P%d:%g\n", k, double(cell->f));
    } else if ((n >= 12000 && n < 13000) || (n >= 17000 && n < 19000) || (n >= 23000 && n < 25000)) {
      std::snprintf(buf, sizeof buf, "P%d:%.255s\n", k, cell->s ? cell->s : "");
    } else {
      continue;
    }
    out += buf;
  }
  return out;
}

void DumpProgramStateToClipboard(const intptr_t* p) {
  std::string text = FormatProgramState(p);
  if (!text.empty()) ClipboardSetText(text);
}

void WriteDebugListing(const char* source, uint32_t length) {
  std::string out = "Debug Output Script\n\n";
  uint32_t pos = 0;
  int line = 1;
  while (pos < length) {
    uint32_t start = pos;
    while (pos < length && source[pos] != '\r' && source[pos] != '\n' && source[pos] != 0) ++pos;
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "%6d : ", line++);
    out += prefix;
    out.append(source + start, pos - start);
    out += '\n';
    if (pos < length && source[pos] == '\r') ++pos;
    if (pos < length && source[pos] == '\n') ++pos;
    if (pos < length && source[pos] == 0) ++pos;
  }
  FsWriteHostFileAtomic(ProgramSideFile("VK.VKA"), out);  // never a user's file of another case
}
