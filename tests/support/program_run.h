#pragma once
// The one harness that runs programs in this process.
//   RunImage    a hand-built image through the tool's exec path: start-up, the run loop and
//               shutdown (headless or in a window of the offscreen driver, virtual clock by
//               default); the cells are copied when the run loop ends.
//   RunVka      a .vka source through the tool's own run (or compile, then exec as a built
//               game), with an --input file, the transcript and the grabbed frame.
//   ProgramRun  the interpreter alone: slices of a loaded image, no display, no run loop.
//   CommandCall one handler on operand cells.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "core/cells.h"
#include "core/command_table.h"
#include "core/interp.h"
#include "platform/surfaces.h"
#include "tests/support/image_builder.h"

struct TestRun {
  int64_t frames = -1;       // end after this many frames (-1: when the program ends)
  bool standalone = false;   // as a built game: warnings ignored
  bool virtualClock = true;
  bool debug = false;
  bool windowed = false;     // a window on the video driver the test runs with, not headless
  std::string input;         // text of the --input file ("" none)
  std::function<void()> install;   // once the command table is set up (test commands)
  std::function<void()> afterRun;  // when the run loop has ended, before anything is released
};

struct RunOutcome {
  int status = -1;
  int32_t errorCode = 0;
  uint8_t errorKind = 0;
  int64_t frames = 0;
  uint8_t ended = 0;
  std::vector<int32_t> ints;             // every cell's integer value at the end
  std::map<int32_t, std::string> texts;  // string cells that hold a text
  std::string err;                       // what the run wrote to stderr (RunVka)
  std::string transcript;                // text of every text drawing operation (RunVka)
  SurfacePtr grab;                       // the last presented frame, X8R8G8B8 (RunVka)
  int32_t Int(int32_t operand) const { return ints.at(size_t(operand - 10000)); }
  std::string Text(int32_t operand) const {
    auto it = texts.find(operand - 10000);
    return it == texts.end() ? std::string() : it->second;
  }
  uint32_t Pixel(int32_t x, int32_t y) const { return grab ? grab->GetPixel(x, y) & 0xFFFFFF : 0xDEADBEEF; }
};

// A run that ends after the given number of frames.
inline TestRun RunFor(int64_t frames) {
  TestRun run;
  run.frames = frames;
  return run;
}

RunOutcome RunImage(const ImageBuilder& image, const TestRun& run);
// Only the exit status of RunImage.
inline int RunTestImage(const ImageBuilder& image, const TestRun& run) { return RunImage(image, run).status; }

// program: a file name in tests/e2e/ or a path. builtGame: compiled, then run by
// `exec --standalone` as a built game runs (warnings ignored).
struct VkaOptions {
  int64_t frames = 20;
  std::string input;
  bool builtGame = false;
  bool windowed = false;
  std::function<void()> afterRun;  // when the run loop has ended, before anything is released
  bool grab = true;                // the last frame into RunOutcome::grab
};
RunOutcome RunVka(const std::string& program, const VkaOptions& options);
inline RunOutcome RunVka(const std::string& program, int64_t frames, const std::string& input = "",
                         bool builtGame = false) {
  return RunVka(program, VkaOptions{frames, input, builtGame, false, nullptr});
}
// The same for a source text written to a temporary file.
RunOutcome RunVkaSource(const std::string& source, const VkaOptions& options);
inline RunOutcome RunVkaSource(const std::string& source, int64_t frames, const std::string& input = "",
                               bool builtGame = false) {
  return RunVkaSource(source, VkaOptions{frames, input, builtGame, false, nullptr});
}

// Puts a test command into the command table (operand kinds as the loader checks them).
inline void InstallTestCommand(int number, CommandHandler handler, const char* operands) {
  g_commandTable[number] = handler;
  g_commandOperands[number] = operands;
}

// Runs hand-assembled images in the interpreter alone, on the virtual clock unless realClock,
// and reads the variables back from the cells afterwards.
class ProgramRun {
 public:
  ~ProgramRun();
  // Loads the image (false when the loader refuses it, error text in loadError).
  bool Load(const ImageBuilder& image);
  // Runs slices until the program stops or the slice limit is reached; true when it stopped.
  bool Run(int maxSlices = 2000);
  // Loads and runs; fails the test when the image is refused.
  bool LoadAndRun(const ImageBuilder& image, int maxSlices = 2000);

  static VarCell& Cell(int32_t operand) { return g_cells[operand - 10000]; }
  static int32_t Int(int32_t operand) { return Cell(operand).i; }
  static float Float(int32_t operand) { return Cell(operand).f; }
  static std::string Text(int32_t operand) { return Cell(operand).s ? Cell(operand).s : "<null>"; }

  std::string loadError;
  // Runs on the real clock, where the interpreter takes its fast path (fused follow-ups).
  bool realClock = false;
};
// The stored run-time error code and kind (0 error, 1 warning) of the last run.
int32_t LastErrorCode();
int LastErrorKind();
// Runs as a built game (warnings ignored) while set.
void SetBuiltGame(bool on);

// A listed command that has no handler yet (the full table put in place first); 0 when every
// command is built.
int UnbuiltCommand();

// Calls handler `number` on the given operand cells as the interpreter does (operand k is
// operands[k]); returns how many operand words it moved the counter past (-1: back to the
// command word, as a command that waits does). The errors it raised stay in place.
long CallHandler(int number, VarCell* const* operands, int count);
inline long CallHandler(int number, std::initializer_list<VarCell*> operands) {
  return CallHandler(number, operands.begin(), int(operands.size()));
}

// One operand of a CommandCall: an integer, a float, a text (copied into a string cell), or
// the result cell holding `preset` before the command runs.
struct CallOperand {
  char kind;  // 'l' integer, 'f' float, 's' text, 'r' result
  int32_t i = 0;
  float f = 0;
  const char* s = nullptr;
  CallOperand(int v) : kind('l'), i(v) {}
  CallOperand(float v) : kind('f'), f(v) {}
  CallOperand(const char* v) : kind('s'), s(v) {}
  CallOperand(const std::string& v) : kind('s'), s(v.c_str()) {}
  static CallOperand Result(int32_t preset = 0) {
    CallOperand a(preset);
    a.kind = 'r';
    return a;
  }
};

// Calls one command's handler directly on operand cells (operand k = cells[k]). Run returns the
// error code it raised (0 none) and checks that it moved past all its operands.
// String cells are marked as such (SetText, or MarkText for a result) and freed at the end.
struct CommandCall {
  static constexpr int kCells = 32;
  VarCell cells[kCells];
  bool isText[kCells] = {};
  int operandCount = 0;  // the operands given to the list constructor
  CommandCall() {
    for (VarCell& c : cells) c.raw = 0;  // all eight bytes: a string cell reads them all
  }
  // Cells 0.. from the operands, in order.
  CommandCall(std::initializer_list<CallOperand> operands);
  int32_t Run(int number, int count);
  // Runs on the operands given to the list constructor.
  int32_t Run(int number) { return Run(number, operandCount); }
  void SetText(int k, const char* text);
  void MarkText(int k) { isText[k] = true; }
  std::string TextOf(int k) const { return cells[k].s ? cells[k].s : ""; }
  VarCell Result() const { return cells[0]; }
  ~CommandCall();
  CommandCall(const CommandCall&) = delete;
  CommandCall& operator=(const CommandCall&) = delete;
};
// Clears the pending error and posted quit a handler left behind.
void ClearRunErrors();
