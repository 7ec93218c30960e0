#pragma once
#include <signal.h>

#include <cstdint>

#include "platform/stop_request.h"

union SDL_Event;

// The window message queue: platform events (SDL) become messages of a small set of kinds
// modelled on the classic window messages. Tests and --input inject messages directly.
enum class MsgKind : uint8_t {
  Quit, Close, Activate, Move, Size, Paint,
  KeyDown, KeyUp, Char,          // a = virtual-key code / character byte
  MouseMove,                     // a, b = client x, y
  LButtonDown, LButtonUp, RButtonDown, RButtonUp, MButtonDown, MButtonUp,
  MouseWheel,                    // a = delta, 120 a notch
};

struct Message {
  MsgKind kind = MsgKind::Paint;
  int32_t a = 0;
  int32_t b = 0;
  int32_t clicks = 0;  // a button going down: 2 and more for the later clicks of a double click
};

// Starts the event source; headless means no SDL events at all.
void EventsInit(bool headless);
// Empties the queue, withdraws a posted quit and releases every key (start of a run).
void EventsReset();
// While caught, the stop signals (platform/stop_signals.h; each where it is not ignored) become a
// Close message, as if the window were closed (the next pump delivers it; its a is 1, where a
// window's close has 0, and its b the signal); a second one ends the process as usual, a further
// hang-up or SIGPIPE is the same request.
// Release puts back the handlers that were there before.
void EventsCatchStopSignals();
void EventsReleaseStopSignals();
// While held, a signal that would end the process at once (a hang-up, or a second SIGINT or
// SIGTERM) is kept for the holder to finish its work first: the run is asked to stop as by
// the first stop signal. One more SIGINT or SIGTERM (half a second or more later), or 10
// seconds without EventsEndingSignal taking it, ends the process as the kept signal would
// have; a further hang-up is the same request. Release puts back the handlers.
void EventsHoldEndingSignals(bool hold);
// The ending signal kept (0 when none); asking stops the 10-second limit.
int EventsEndingSignal();
// Ends the process as the signal does by default, the temporary folder removed first (kept
// where it holds text that could not be kept elsewhere, for the next start).
[[noreturn]] void EventsEndBySignal(int signal, bool removeTempFolder = true);
// From now on a stop signal ends the process at once with the status (its temporary folder
// removed): set while a process that has written what its run leaves shuts down. -1 turns it
// off, as the release does.
void EventsEndProcessOnStop(int status);
// For a command that runs no program (compile, build): the stop signals (where not ignored) end
// the process as they would, its temporary folder and the temporary of a file
// being written removed first. Off puts back the handlers that were there before.
void EventsEndTidilyOnSignals(bool on);
// SIGPIPE or SIGXFSZ (signal) raised by the kernel for this process's own write is left to the
// writer, whose write fails (EPIPE, EFBIG); one sent by another process ends the process as it
// would. One ignored from the start stays so. previous (if given) gets the action before.
void EventsLeaveOwnWriteSignal(int signal, struct sigaction* previous = nullptr);
// An output of the run that can no longer be written (a transcript into a closed pipe or onto a
// full disk) stops the run as a SIGPIPE does, also where that signal is ignored; the environment
// ends after it (EventsOutputGone).
void EventsOutputReaderGone();
bool EventsOutputGone();
// Takes the next message, pumping platform events first. Queued messages come first; once
// the queue is empty a posted quit is returned, and it stays posted so it is never lost.
bool PeekWindowMessage(Message& m);
void PostWindowMessage(const Message& m);
void PostQuit();
bool QuitPosted();
// Takes back a quit posted and not yet acted on: the loop that read it goes on.
void EventsClearQuit();
// Moves waiting platform events into the queue.
void PumpPlatformEvents();
// True when the run is asked to end (a stop signal, a window close or a posted quit), platform
// events pumped first: a long wait inside one command gives up on it.
bool StopRequested();
// Key state kept from the KeyDown and KeyUp messages (virtual-key codes 0-255).
bool IsVirtualKeyDown(int vk);
// Called for every SDL event before it becomes a message (the input layer keeps its own state).
using RawEventHook = void (*)(const SDL_Event&);
void EventsSetRawHook(RawEventHook hook);
// Virtual-key code of an SDL key code (0 when it has none).
int VirtualKeyOfSdlKey(int32_t sdlKey);

// Virtual-key codes used by the runtime.
enum : int { kVkEscape = 27, kVkF11 = 122, kVkF12 = 123 };
