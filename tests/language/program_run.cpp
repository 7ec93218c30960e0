#include "tests/language/program_run.h"

#include "core/arrays.h"
#include "core/call_stack.h"
#include "core/command_table.h"
#include "core/errors.h"
#include "core/interp.h"
#include "core/language.h"
#include "core/loader.h"
#include "core/run_state.h"
#include "display/display.h"
#include "platform/clock.h"
#include "platform/events.h"
#include "runtime/command_families.h"
#include "runtime/run_loop.h"

ProgramRun::~ProgramRun() {
  FreeProgramStrings();
  ProgramCounter = nullptr;
  ClockUseVirtual(false);
  g_runtime.standalone = 0;
}

bool ProgramRun::Load(const ImageBuilder& image) {
  InitCommandTable();
  InstallInterpreterHooks();
  std::vector<uint8_t> bytes = image.Build();
  if (!LoadProgramFromBytes(bytes.data(), bytes.size(), &loadError)) return false;
  g_dataReadPosition = 0;
  g_randomState = 1;
  ClearArrayTable();
  g_timing = RunTiming{};
  ClockUseVirtual(!realClock);
  g_timing.sliceStart = TimeMs();
  LeaveSlice = 1;
  ProgramCounter = CommandStream;
  ResetCallStack();
  g_errorCode = 0;
  g_errorKind = 0;
  EventsReset();
  g_display.active = 1;
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
