#pragma once

// The subsystems of a run, in start order. This table is the one list a subsystem joins:
//   - reset: its state back to what a new process has (every global of the subsystem, file-local
//     ones included). Runs for every entry, in reverse order as the stops do (what builds on a
//     subsystem lets go of its records first), at the start of every run; a run then starts from
//     the same state whether it is the first of the process or of a session or not. It is the
//     only reset: tests call ResetSubsystems() too.
//   - start: what the subsystem makes for a run (record pools, defaults), in table order, once
//     the program is loaded and the display is up. false stops the start-up: store the system
//     error first.
//   - stop: releases what the run made, in reverse order, before the display is released. It
//     runs even when start did not (a failed start-up), so it must tolerate that.
//   - restore: after a display change inside a run (the device was made anew), makes again
//     what the subsystem keeps on the device, in table order. The display asks for it
//     (TakeDisplayRestore) and the run loop calls RestoreSubsystems at the end of that frame.
// nullptr for a step the subsystem does not need. A new subsystem adds one line to kSubsystems
// in runtime/subsystems.cpp, below what it builds on; it includes its own headers only there.
// (The window, the engines that must be up before the program loads, the input devices and the
// sound engine, and the display device itself are started by runtime/session.cpp, through the
// steps of runtime/startup.cpp, in their fixed order.)
struct Subsystem {
  const char* name;
  void (*reset)();
  bool (*start)();
  void (*stop)();
  void (*restore)() = nullptr;
};

void ResetSubsystems();
// Starts every subsystem in order; false when one refused (the rest are not started).
bool StartSubsystems();
void StopSubsystems();
void RestoreSubsystems();
