#include "platform/events.h"

#include "platform/libs/sdl_api.h"
#include <signal.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <deque>
#include <iterator>
#include <string>

#include "platform/codepage.h"
#include "platform/fs.h"
#include "platform/stop_signals.h"
#include "platform/unsaved_copies.h"

namespace {
std::deque<Message> g_queue;
bool g_quit = false;
bool g_sdlEvents = false;
bool g_keys[256] = {};
RawEventHook g_hook = nullptr;

volatile sig_atomic_t g_stopSignal = 0;
// A stop signal became a Close message (its b the signal): it survives a reset.
int g_stopReceived = 0;
bool g_catching = false;
bool g_outputGone = false;  // an output of a run can no longer be written
// The stop signals caught, by number: each one taken only where it would end the process (one
// ignored from the start, as under nohup, stays ignored).
struct sigaction g_previous[NSIG];
bool g_caught[NSIG] = {};

volatile sig_atomic_t g_stopSeen = 0;   // a stop signal came since the catching began
volatile sig_atomic_t g_endStatus = -1;  // >= 0: a stop signal ends the process with it
volatile sig_atomic_t g_stopAtMs = 0;  // when, in monotonic milliseconds (30 bits)

// Signals that end the process, held for their owner (see EventsHoldEndingSignals).
volatile sig_atomic_t g_holding = 0;
volatile sig_atomic_t g_endingSignal = 0;
struct sigaction g_previousHangup, g_previousAlarm;
bool g_hangupCaught = false;
volatile sig_atomic_t g_graceRunning = 0;  // the alarm is the grace of a held signal
// Seconds the owner has to finish once an ending signal is held.
constexpr unsigned kEndingGraceSeconds = 10;

// Ends the process with the signal's standard action, the temporary of a file being written
// removed first.
void EndWith(int signal) {
  FsRemoveWritingTempInSignal();
  // The ending is asked for, not a fault: the signal's default core file would hold nothing.
  if (signal == SIGQUIT || signal == SIGXCPU || signal == SIGXFSZ) {
    const struct rlimit none {};
    setrlimit(RLIMIT_CORE, &none);
  }
  struct sigaction standard {};
  standard.sa_handler = SIG_DFL;
  sigemptyset(&standard.sa_mask);
  sigaction(signal, &standard, nullptr);
  raise(signal);
}

// The signals whose handlers may end the process: one never interrupts another on its thread,
// so a handler keeping the copies always finishes.
void EndingSignalsMask(sigset_t& set) {
  sigemptyset(&set);
  AddStopSignals(set);
}

// True when the signal is not ignored: one ignored from the start stays so.
bool Taken(int signal) {
  struct sigaction now {};
  return sigaction(signal, nullptr, &now) == 0 && now.sa_handler != SIG_IGN;
}

int64_t MonotonicMs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);  // safe in a signal handler
  return int64_t(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

// Keeps an ending signal for the owner and asks the run to stop as a first stop signal does
// (long work gives up on it); an owner that never takes it is ended by the grace alarm.
void HoldEnding(int signal, int64_t now) {
  g_endingSignal = signal;
  g_stopSignal = signal;
  g_stopSeen = 1;
  SetStopAsked(true);
  g_stopAtMs = sig_atomic_t(now & 0x3FFFFFFF);
  g_graceRunning = 1;
  alarm(kEndingGraceSeconds);
}

// Closing a terminal sends more than one hang-up (the shell's and the kernel's): they are one
// request, so a repeat never ends the process before the owner has finished.
void OnHangupHeld(int) {
  if (!g_endingSignal) HoldEnding(SIGHUP, MonotonicMs());
}
void OnStopSignal(int signal);

// Ends the process with the signal once the unsaved copies are linked; while the main thread
// holds them (writing text) it returns, and the holder ends the process when the text is whole.
void EndKeepingCopies(int signal) {
  const UnsavedKeep kept = UnsavedCopiesKeep();
  if (kept == UnsavedKeep::kBusy) return;
  // All the text is in recovery files: the run folder's work files would only repeat it.
  if (kept == UnsavedKeep::kKept) FsRemoveTempFolderInSignal();
  EndWith(signal);
}

// A command that runs no program ends on the signal at once, leaving no temporary behind.
void OnEndingSignal(int signal) {
  FsRemoveTempFolderInSignal();
  EndWith(signal);
}

// The grace alarm, or an alarm signal sent from outside, which is a stop signal as any other.
void OnGraceOver(int) {
  if (g_endingSignal && g_graceRunning) EndKeepingCopies(g_endingSignal);
  else if (g_caught[SIGALRM]) OnStopSignal(SIGALRM);
}

// Notes the signal for the next pump. A second one ends the process at once, so a program
// that never takes its messages can still be stopped; but one that follows within half a
// second is taken as the same request (a terminal and a wrapper such as timeout both pass a
// Ctrl+C on).
void OnStopSignal(int signal) {
  if (g_endStatus >= 0) {
    FsRemoveWritingTempInSignal();
    FsRemoveTempFolderInSignal();
    _exit(g_endStatus);
  }
  const int64_t now = MonotonicMs();
  if (!g_stopSeen) {
    g_stopSeen = 1;
    SetStopAsked(true);
    g_stopSignal = signal;
    g_stopAtMs = sig_atomic_t(now & 0x3FFFFFFF);
    return;
  }
  if (((now & 0x3FFFFFFF) - g_stopAtMs + 0x40000000) % 0x40000000 < 500) return;
  // Closing a terminal sends more than one hang-up, and a reader gone breaks every later write:
  // they are the one request already taken.
  if (signal == SIGHUP || signal == SIGPIPE) return;
  // Held, the first repeat is kept for the owner; one more ends the process at once.
  if (g_holding && !g_endingSignal) {
    HoldEnding(signal, now);
    return;
  }
  EndKeepingCopies(g_holding ? g_endingSignal : signal);
}

// True for a signal the kernel raised for this process's own write (SIGPIPE for a pipe whose
// reader went away, SIGXFSZ past the file-size limit): the writer handles the failed write
// (EPIPE, EFBIG); a transcript's stops the run, a stderr gone does not.
bool RaisedByOwnWrite(const siginfo_t* info) {
  return info && (info->si_code == SI_KERNEL || (info->si_code == SI_USER && info->si_pid == getpid()));
}

// SIGPIPE and SIGXFSZ: one sent by another process is a stop signal as any other.
void OnWriteSignal(int signal, siginfo_t* info, void*) {
  if (!RaisedByOwnWrite(info)) OnStopSignal(signal);
}

void OnWriteSignalEnding(int signal, siginfo_t* info, void*) {
  if (!RaisedByOwnWrite(info)) OnEndingSignal(signal);
}

void OnWriteSignalOutside(int signal, siginfo_t* info, void*) {
  if (!RaisedByOwnWrite(info)) EndWith(signal);
}

bool IsWriteSignal(int signal) { return signal == SIGPIPE || signal == SIGXFSZ; }

// Key state follows the keys as they arrive (like a physical key state), not as they are taken.
void Track(const Message& m) {
  if (m.kind == MsgKind::KeyDown || m.kind == MsgKind::KeyUp) g_keys[m.a & 255] = m.kind == MsgKind::KeyDown;
}

void Push(MsgKind kind, int32_t a = 0, int32_t b = 0, int32_t clicks = 0) {
  Message m{kind, a, b, clicks};
  Track(m);
  g_queue.push_back(m);
}

void Translate(const SDL_Event& e) {
  switch (e.type) {
    case SDL_QUIT:
      Push(MsgKind::Close);
      break;
    case SDL_WINDOWEVENT:
      switch (e.window.event) {
        case SDL_WINDOWEVENT_CLOSE: Push(MsgKind::Close); break;
        case SDL_WINDOWEVENT_FOCUS_GAINED: Push(MsgKind::Activate, 1); break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
          // Keys released while the window cannot see them must not stay down.
          for (bool& k : g_keys) k = false;
          Push(MsgKind::Activate, 0);
          break;
        case SDL_WINDOWEVENT_MOVED: Push(MsgKind::Move, e.window.data1, e.window.data2); break;
        case SDL_WINDOWEVENT_SIZE_CHANGED: Push(MsgKind::Size, e.window.data1, e.window.data2); break;
        case SDL_WINDOWEVENT_EXPOSED: Push(MsgKind::Paint); break;
        default: break;
      }
      break;
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
      int vk = VirtualKeyOfSdlKey(e.key.keysym.sym);
      if (vk) Push(e.type == SDL_KEYDOWN ? MsgKind::KeyDown : MsgKind::KeyUp, vk);
      // Control characters that arrive as keys rather than text input.
      if (e.type == SDL_KEYDOWN && (vk == 8 || vk == 9 || vk == 13 || vk == 27)) Push(MsgKind::Char, vk);
      break;
    }
    case SDL_TEXTINPUT:
      for (unsigned char c : Utf8ToCodePage(TextCodePage(), e.text.text)) Push(MsgKind::Char, c);
      break;
    case SDL_MOUSEMOTION:
      Push(MsgKind::MouseMove, e.motion.x, e.motion.y);
      break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
      bool down = e.type == SDL_MOUSEBUTTONDOWN;
      if (e.button.button == SDL_BUTTON_LEFT)
        Push(down ? MsgKind::LButtonDown : MsgKind::LButtonUp, e.button.x, e.button.y, e.button.clicks);
      if (e.button.button == SDL_BUTTON_RIGHT) Push(down ? MsgKind::RButtonDown : MsgKind::RButtonUp, e.button.x, e.button.y);
      if (e.button.button == SDL_BUTTON_MIDDLE) Push(down ? MsgKind::MButtonDown : MsgKind::MButtonUp, e.button.x, e.button.y);
      break;
    }
    case SDL_MOUSEWHEEL:
      Push(MsgKind::MouseWheel, e.wheel.y * 120);
      break;
    default:
      break;
  }
}
}  // namespace

void EventsInit(bool headless) { g_sdlEvents = !headless && SdlOpened() && g_sdl.SDL_WasInit(SDL_INIT_VIDEO); }

void EventsReset() {
  g_queue.clear();
  g_quit = false;
  for (bool& k : g_keys) k = false;
  if (g_stopReceived) Push(MsgKind::Close, 1, g_stopReceived);
}

void EventsCatchStopSignals() {
  if (g_catching) return;
  // SDL would otherwise put its own handlers in, whose quit event a headless run never reads.
  SdlHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  g_stopSignal = 0;
  g_stopSeen = 0;
  SetStopAsked(false);
  g_stopReceived = 0;
  struct sigaction on {};
  on.sa_handler = OnStopSignal;
  EndingSignalsMask(on.sa_mask);
  struct sigaction pipe = on;
  pipe.sa_flags = SA_SIGINFO;
  pipe.sa_sigaction = OnWriteSignal;
  for (int s = 1; s < NSIG; ++s) {
    g_caught[s] = IsStopSignal(s) && Taken(s);
    if (g_caught[s]) sigaction(s, IsWriteSignal(s) ? &pipe : &on, &g_previous[s]);
  }
  g_catching = true;
}

void EventsEndProcessOnStop(int status) { g_endStatus = status; }

void EventsEndTidilyOnSignals(bool on) {
  static struct sigaction previous[NSIG];
  static bool taken[NSIG] = {};
  struct sigaction tidy {};
  tidy.sa_handler = OnEndingSignal;
  EndingSignalsMask(tidy.sa_mask);
  struct sigaction write = tidy;
  write.sa_flags = SA_SIGINFO;
  write.sa_sigaction = OnWriteSignalEnding;
  for (int s = 1; s < NSIG; ++s) {
    if (!on) {
      if (taken[s]) sigaction(s, &previous[s], nullptr);
      taken[s] = false;
    } else if (!taken[s] && IsStopSignal(s) && Taken(s)) {
      taken[s] = sigaction(s, IsWriteSignal(s) ? &write : &tidy, &previous[s]) == 0;
    }
  }
}

void EventsLeaveOwnWriteSignal(int signal, struct sigaction* previous) {
  struct sigaction now {};
  if (sigaction(signal, nullptr, &now) != 0) return;
  if (previous) *previous = now;
  // Caught as a stop signal already: the catching tells its own from a sent one.
  if (now.sa_handler == SIG_IGN || (g_catching && g_caught[signal])) return;
  struct sigaction leave {};
  EndingSignalsMask(leave.sa_mask);
  leave.sa_flags = SA_SIGINFO;
  leave.sa_sigaction = OnWriteSignalOutside;
  sigaction(signal, &leave, nullptr);
}

void EventsOutputReaderGone() {
  g_outputGone = true;
  if (g_catching) OnStopSignal(SIGPIPE);
}

bool EventsOutputGone() { return g_outputGone; }

void EventsReleaseStopSignals() {
  g_endStatus = -1;
  if (!g_catching) return;
  for (int s = 1; s < NSIG; ++s)
    if (g_caught[s]) sigaction(s, &g_previous[s], nullptr);
  for (bool& caught : g_caught) caught = false;
  g_catching = false;
  g_stopSignal = 0;
  g_stopSeen = 0;
  SetStopAsked(false);
  g_stopReceived = 0;
}

void EventsHoldEndingSignals(bool hold) {
  if (hold == bool(g_holding)) return;
  struct sigaction on {};
  EndingSignalsMask(on.sa_mask);
  if (hold) {
    g_endingSignal = 0;
    on.sa_handler = OnGraceOver;
    sigaction(SIGALRM, &on, &g_previousAlarm);
    // A hang-up is taken only where it would end the process (not under nohup).
    g_hangupCaught = Taken(SIGHUP);
    on.sa_handler = OnHangupHeld;
    if (g_hangupCaught) sigaction(SIGHUP, &on, &g_previousHangup);
    g_holding = 1;
    return;
  }
  g_holding = 0;
  g_graceRunning = 0;
  alarm(0);
  if (g_hangupCaught) sigaction(SIGHUP, &g_previousHangup, nullptr);
  sigaction(SIGALRM, &g_previousAlarm, nullptr);
  g_hangupCaught = false;
}

int EventsEndingSignal() {
  if (g_endingSignal) {  // the owner is at work on it now
    g_graceRunning = 0;
    alarm(0);
  }
  return g_endingSignal;
}

void EventsEndBySignal(int signal, bool removeTempFolder) {
  if (removeTempFolder) FsRemoveTempFolder();
  EndWith(signal);
  _exit(128 + signal);  // a signal the process was told to ignore
}

void PumpPlatformEvents() {
  if (g_stopSignal) {
    g_stopReceived = g_stopSignal;
    g_stopSignal = 0;
    Push(MsgKind::Close, 1, g_stopReceived);
  }
  if (!g_sdlEvents) return;
  SDL_Event e;
  while (g_sdl.SDL_PollEvent(&e)) {
    if (g_hook) g_hook(e);
    Translate(e);
  }
}

bool StopRequested() {
  PumpPlatformEvents();
  if (g_quit) return true;
  for (const Message& m : g_queue)
    if (m.kind == MsgKind::Close) return true;
  return false;
}

bool PeekWindowMessage(Message& m) {
  PumpPlatformEvents();
  if (!g_queue.empty()) {
    m = g_queue.front();
    g_queue.pop_front();
    return true;
  }
  if (g_quit) {
    m = Message{MsgKind::Quit, 0, 0};
    return true;
  }
  return false;
}

void PostWindowMessage(const Message& m) {
  Track(m);
  g_queue.push_back(m);
}
void PostQuit() { g_quit = true; }
bool QuitPosted() { return g_quit; }
void EventsClearQuit() { g_quit = false; }
bool IsVirtualKeyDown(int vk) { return vk >= 0 && vk < 256 && g_keys[vk]; }
void EventsSetRawHook(RawEventHook hook) { g_hook = hook; }
