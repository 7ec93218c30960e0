#include "runtime/run_loop.h"

#include <algorithm>

#include "core/errors.h"
#include "core/interp.h"
#include "core/run_state.h"
#include "display/animations.h"
#include "display/display.h"
#include "platform/clock.h"
#include "platform/events.h"
#include "platform/window.h"
#include "runtime/subsystems.h"
#include "scene3d/scene.h"
#include "sound/commands/sound_services.h"
#include "system/input.h"
#include "system/system_services.h"

std::vector<std::string>* g_frameTrace = nullptr;
RunWindow g_runWindow;

namespace {
inline void Trace(const char* step) {
  if (g_frameTrace) g_frameTrace->push_back(step);
}
}  // namespace

// Runs one frame step, recording its name when a trace is set.
#define FRAME_STEP(step) (Trace(#step), step())

void HandleWindowMessage(const Message& m) {
  g_runtime.lastCharacter = 0;
  const bool plainWindowMouse = g_display.windowMode && !PointerSpritesPresent();
  switch (m.kind) {
    case MsgKind::Close:
      PostQuit();
      break;
    case MsgKind::Move:
      g_runWindow.originX = int16_t(m.a);
      g_runWindow.originY = int16_t(m.b);
      PresentFrame();
      break;
    case MsgKind::Size:
      g_runWindow.width = uint32_t(m.a) & 0xFFFF;
      g_runWindow.height = uint32_t(m.b) & 0xFFFF;
      PresentFrame();
      break;
    case MsgKind::Activate:
      if (m.a) {
        ResumeAllAudio();
        RunAnimationsAgain();
        g_runWindow.active = 1;
        g_display.active = 1;
      } else if (!g_display.windowMode) {
        PauseAllAudio();
        HoldAnimationsWhileInactive();
        g_runWindow.active = 0;
        g_display.active = 0;
      }
      break;
    case MsgKind::Paint:
      if (g_display.cardChooserShown) PaintCardChooser();
      break;
    case MsgKind::KeyDown:
      if (m.a == kVkEscape && g_timing.escapeEndsProgram) PostQuit();
      break;
    case MsgKind::Char:
      g_runtime.lastCharacter = uint8_t(m.a);
      break;
    case MsgKind::MouseMove:
      // Client coordinates less where the picture sits in the client area: picture
      // coordinates, wherever the window is on the screen.
      if (plainWindowMouse) {
        g_input.mouseX = int16_t(m.a & 0xFFFF) - g_display.pictureOffsetX;
        g_input.mouseY = int16_t(m.b & 0xFFFF) - g_display.pictureOffsetY;
      }
      break;
    case MsgKind::LButtonDown:
      if (plainWindowMouse) g_input.messageMouseButtons = 1;
      break;
    case MsgKind::RButtonDown:
      if (plainWindowMouse) g_input.messageMouseButtons = 2;
      break;
    case MsgKind::LButtonUp:
    case MsgKind::RButtonUp:
      if (plainWindowMouse) g_input.messageMouseButtons = 0;
      break;
    default:
      break;
  }
}

namespace {

// Takes and handles waiting messages until none is left or the quit message is met (it stays
// posted, so the run loop still sees it).
void DispatchWaitingMessages() {
  Message m;
  while (PeekWindowMessage(m)) {
    if (m.kind == MsgKind::Quit) return;
    HandleWindowMessage(m);
  }
}

// Program-controlled mode, every 200 commands: the stop keys and the draw queue may end the
// slice.
void ProbeEveryTwoHundredCommands() {
  // The stop keys are seen only through events: take them in, or a loop could never stop.
  if (!g_runtime.standalone) PumpPlatformEvents();
  if (!g_runtime.standalone &&
      (IsVirtualKeyDown(kVkEscape) || IsVirtualKeyDown(kVkF11) || IsVirtualKeyDown(kVkF12)))
    LeaveSlice = 1;
  if (DrawQueueSize() > 32000) LeaveSlice = 1;
  // A stop signal ends the slice at once, also in a built game, whose stop keys are off.
  if (StopSignalReceived()) LeaveSlice = 1;
}

// The interpreter runs only while the display is active.
void InterpretSliceWhileActive() {
  if (g_display.active) InterpretSlice();
}

// The opening frame runs no command (the interpreter starts with its slice ended): a run of
// N frames is the opening frame and N frames of the program.
void CountFrame() {
  ++g_runtime.framesRun;
  if (g_runtime.options.frames >= 0 && g_runtime.framesRun > g_runtime.options.frames && !QuitPosted())
    PostWindowMessage(Message{MsgKind::Close, 0, 0});
}

// Under the virtual clock a frame of no set period (frame rate 0: as fast as it goes) takes
// this long, as at frame rate 60, so timed movement still moves.
constexpr uint32_t kVirtualUnpacedFrameMs = 16;

}  // namespace

void InstallInterpreterHooks() {
  g_interpreterHooks.periodicProbe = ProbeEveryTwoHundredCommands;
  g_interpreterHooks.dispatchMessages = DispatchWaitingMessages;
}

void RunProgram() {
  ResetInterpreter();
  ResetMouseState();
  PumpMessagesOccasionally();
  WaitForStopKeysReleased();
  g_runtime.lastCharacter = 0;
  g_runtime.framesRun = 0;
  // The opening frame is due at once on the real clock: counted from the clock's start, the
  // first run of a process would otherwise wait out one frame period before its first command,
  // and the runs after it would not. The virtual clock keeps its fixed, repeatable steps.
  if (!ClockIsVirtual()) g_timing.lastFrameTime = TimeMs() - uint32_t(std::max(g_timing.framePeriod, 1));
  if (g_runtime.options.frames == 0) PostWindowMessage(Message{MsgKind::Close, 0, 0});
  for (;;) {
    PollInputDevices();
    Message m;
    if (PeekWindowMessage(m)) {
      if (m.kind == MsgKind::Quit) break;
      HandleWindowMessage(m);
      continue;
    }
    BeginFrame();
    Trace("InterpretSlice");
    InterpretSliceWhileActive();
    EndFrame();
    CountFrame();
  }
  // A run ended by its frame count: what the program drew in its last frame is carried out
  // and shown too (drawing is queued and done at the start of the next frame).
  if (g_runtime.options.frames > 0 && g_runtime.framesRun > g_runtime.options.frames && g_errorCode <= 0 &&
      !g_timing.ended) {
    BeginFrame();
    EndFrame();
  }
  // A save waits for the next refresh, which a run that has ended does not reach: it is done
  // now, unless the run stopped on an error.
  if (g_errorCode <= 0) RunQueuedSaves();
  WaitForStopKeysReleased();
}

uint32_t ResetInterpreter() {
  LeaveSlice = 1;
  ProgramCounter = CommandStream;
  g_timing.sliceStart = TimeMs();
  return g_timing.sliceStart;
}

void BeginFrame() {
  if (!g_display.active) {
    g_display.surfacesLost = 1;
    // A deactivated full-screen display belongs to another program until the window is
    // activated again: restoring it fails until then.
    if (!g_runWindow.active || !TryRestoreDisplay()) return;
  }
  SetPointerSpritePosition(g_input.mouseX, g_input.mouseY);
  FRAME_STEP(UpdatePointerSprites);
  FRAME_STEP(ClearZBuffer);
  FRAME_STEP(RestoreSpriteBackgrounds);
  FRAME_STEP(DrawBackdrop);
  if (g_timing.scene3DAfter2D == 0) FRAME_STEP(RunScene3DStep);
  FRAME_STEP(RunDrawQueue);
}

void EndFrame() {
  if (!g_display.active) return;
  FRAME_STEP(TickRecordLifetimes);
  if (TakeDisplayRestore()) FRAME_STEP(RestoreSubsystems);
  if (g_timing.ended) {
    // The program has ended: its last frame is shown at once, with nothing left to pace.
  } else if (g_timing.framePeriod < 1) {
    // At least until the millisecond counter has moved on once.
    ClockWaitElapsed(g_timing.lastFrameTime, ClockIsVirtual() ? kVirtualUnpacedFrameMs : 1);
  } else {
    ClockWaitElapsed(g_timing.lastFrameTime, uint32_t(g_timing.framePeriod));
  }
  g_timing.lastFrameTime = TimeMs();
  Trace("FrameWait");
  FRAME_STEP(UpdateAnimations);
  FRAME_STEP(SaveSpriteBackgrounds);
  if (g_timing.scene3DAfter2D == 1) FRAME_STEP(RunScene3DStep);
  FRAME_STEP(DrawAllSprites);
  FRAME_STEP(SoundFrameHook);
  FRAME_STEP(UpdateSound3D);
  FRAME_STEP(PollMusicStatus);
  FRAME_STEP(UpdateObjectAnimations);
  FRAME_STEP(PresentFrame);
  if (g_captureRequested) {
    FRAME_STEP(CaptureScreenToFile);
    g_captureRequested = 0;
  }
  FRAME_STEP(ClearMouseMovement);
}

void WaitForStopKeysReleased() {
  // Keys are seen only through events; the spin pumps them and gives up after a few seconds,
  // so a key whose release the window never sees cannot hold the program.
  if (!PlatformIsHeadless()) {
    uint32_t start = TimeMs();
    for (int vk : {int(kVkEscape), int(kVkF11), int(kVkF12)}) {
      while (IsVirtualKeyDown(vk) && TimeMs() - start < 5000 && !ClockIsVirtual()) {
        PumpPlatformEvents();
        SleepMs(1);
      }
    }
  }
  DispatchWaitingMessages();
}
