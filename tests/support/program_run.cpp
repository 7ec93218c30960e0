#include "tests/support/program_run.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/cli.h"
#include "core/errors.h"
#include "core/loader.h"
#include "core/run_state.h"
#include "core/run_timing.h"
#include "core/strings.h"
#include "display/bitmaps.h"
#include "platform/clock.h"
#include "platform/events.h"
#include "platform/fs.h"
#include "runtime/command_families.h"
#include "runtime/run_loop.h"
#include "runtime/startup.h"
#include "runtime/subsystems.h"
#include "tests/support/temp_dir.h"

namespace {

void CopyCells(RunOutcome& out) {
  out.frames = g_runtime.framesRun;
  out.ended = g_timing.ended;
  if (!g_cells) return;
  out.ints.resize(kCellCount);
  for (int c = 0; c < kCellCount; ++c) out.ints[size_t(c)] = g_cells[c].i;
  for (int c : {kCellStringTemp, kCellStringVar})
    for (int k = c; k < c + 1000; ++k)
      if (g_cells[k].s) out.texts[k] = g_cells[k].s;
}

// Runs f with stderr going to a file, and returns what was written.
template <class F>
std::string CaptureStderr(const std::string& file, F&& f) {
  std::fflush(stderr);
  const int saved = dup(2);
  const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd >= 0) dup2(fd, 2);
  f();
  std::fflush(stderr);
  if (saved >= 0) dup2(saved, 2);
  if (saved >= 0) close(saved);
  if (fd >= 0) close(fd);
  std::string text;
  FsReadFile(file, text);
  return text;
}

}  // namespace

RunOutcome RunImage(const ImageBuilder& image, const TestRun& run) {
  TempDir dir;
  const std::string path = dir.File("test.img");
  EXPECT_TRUE(image.WriteFile(path));
  RunOptions o;
  o.headless = !run.windowed;
  o.windowMode = run.windowed;
  o.virtualClock = run.virtualClock;
  o.frames = run.frames;
  o.standalone = run.standalone;
  o.debug = run.debug;
  if (!run.input.empty()) {
    o.inputFile = dir.File("input.txt");
    dir.Write("input.txt", run.input);
  }
  RunOutcome out;
  g_testTableHook = run.install;
  g_afterRunHook = [&] {
    CopyCells(out);
    if (run.afterRun) run.afterRun();
  };
  out.status = RunImageFile(path, o);
  g_testTableHook = nullptr;
  g_afterRunHook = nullptr;
  out.errorCode = g_errorCode;
  out.errorKind = g_errorKind;
  return out;
}

RunOutcome RunVka(const std::string& program, const VkaOptions& options) {
  const std::string path =
      program.find('/') == std::string::npos ? std::string(VK_SOURCE_DIR) + "/tests/e2e/" + program : program;
  TempDir dir;
  dir.Write("input.txt", options.input);
  RunOutcome r;
  std::vector<std::string> args = {"run", path};
  const std::string keep = FsCurrentFolder();
  FsChangeFolder(dir.path());
  if (options.builtGame) {
    r.err = CaptureStderr(dir.File("compile.txt"), [&] {
      r.status = ToolMain({"compile", path, "-o", dir.File("program.img")});
    });
    args = {"exec", dir.File("program.img"), "--standalone"};
  }
  if (r.status <= 0) {
    const std::vector<std::string> more = {options.windowed ? "--window" : "--headless",
                                           "--clock",      "virtual",
                                           "--frames",     std::to_string(options.frames),
                                           "--input",      dir.File("input.txt"),
                                           "--transcript", dir.File("transcript.txt")};
    args.insert(args.end(), more.begin(), more.end());
    if (options.grab) args.insert(args.end(), {"--grab", dir.File("grab.png")});
    r.err = CaptureStderr(dir.File("stderr.txt"), [&] {
      g_afterRunHook = [&] {
        CopyCells(r);
        if (options.afterRun) options.afterRun();
      };
      r.status = ToolMain(args);
      g_afterRunHook = nullptr;
    });
    r.errorCode = g_errorCode;
    r.errorKind = g_errorKind;
    r.transcript = dir.Read("transcript.txt");
    if (options.grab) r.grab = LoadImageByExtension(dir.File("grab.png"), 32);
  }
  FsChangeFolder(keep);
  return r;
}

RunOutcome RunVkaSource(const std::string& source, const VkaOptions& options) {
  TempDir dir;
  dir.Write("program.vka", source);
  return RunVka(dir.File("program.vka"), options);
}

ProgramRun::~ProgramRun() {
  FreeProgramStrings();
  ProgramCounter = nullptr;
  ClockUseVirtual(false);
  g_runtime.standalone = 0;
}

bool ProgramRun::Load(const ImageBuilder& image) {
  ResetSubsystems();
  std::vector<uint8_t> bytes = image.Build();
  if (!LoadProgramFromBytes(bytes.data(), bytes.size(), &loadError)) return false;
  ClockUseVirtual(!realClock);
  g_timing.sliceStart = TimeMs();
  ProgramCounter = CommandStream;
  return true;
}

bool ProgramRun::Run(int maxSlices) {
  for (int k = 0; k < maxSlices; ++k) {
    if (QuitPosted()) return true;
    InterpretSlice();
    if (!realClock) ClockAdvanceMs(1);
  }
  return QuitPosted();
}

bool ProgramRun::LoadAndRun(const ImageBuilder& image, int maxSlices) {
  if (!Load(image)) {
    ADD_FAILURE() << "image refused: " << loadError;
    return false;
  }
  return Run(maxSlices);
}

int32_t LastErrorCode() { return g_errorCode; }
int LastErrorKind() { return g_errorKind; }
void SetBuiltGame(bool on) { g_runtime.standalone = on ? 1 : 0; }

long CallHandler(int number, VarCell* const* operands, int count) {
  std::vector<CodeWord> words(size_t(count) + 2, 0);
  words[0] = number;
  for (int k = 0; k < count; ++k) words[size_t(k) + 1] = reinterpret_cast<CodeWord>(operands[k]);
  if (!g_commandTable[number]) InitCommandTable();
  ProgramCounter = words.data() + 1;
  g_commandTable[number]();
  long moved = ProgramCounter - (words.data() + 1);
  ProgramCounter = nullptr;
  return moved;
}

CommandCall::CommandCall(std::initializer_list<CallOperand> operands) : CommandCall() {
  EXPECT_LE(operands.size(), size_t(kCells)) << "more operands than cells";
  for (const CallOperand& a : operands) {
    if (operandCount == kCells) break;
    VarCell& c = cells[operandCount];
    if (a.kind == 'l' || a.kind == 'r') c.i = a.i;
    if (a.kind == 'f') c.f = a.f;
    if (a.kind == 's') SetText(operandCount, a.s);
    ++operandCount;
  }
}

int32_t CommandCall::Run(int number, int count) {
  EXPECT_LE(count, kCells);
  count = std::min(count, kCells);
  VarCell* operands[kCells];
  for (int k = 0; k < count; ++k) operands[k] = &cells[k];
  ClearRunErrors();
  EXPECT_EQ(CallHandler(number, operands, count), count) << "command " << number << " left its counter elsewhere";
  return g_errorCode;
}

void CommandCall::SetText(int k, const char* text) {
  MarkText(k);
  SetCellString(&cells[k], text);
}

CommandCall::~CommandCall() {
  for (int k = 0; k < kCells; ++k)
    if (isText[k]) FreeString(cells[k].s);
}

void ClearRunErrors() {
  g_errorCode = 0;
  g_errorKind = 0;
  LeaveSlice = 0;
  EventsReset();
}

int UnbuiltCommand() {
  InitCommandTable();
  for (int n = kCommandSlots - 1; n > 0; --n)
    if (IsListedCommand(n) && !IsCommandBuilt(n)) return n;
  return 0;
}
